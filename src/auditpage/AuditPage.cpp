#include "AuditPage.h"

#include "audit/AuditLog.h"
#include "audit/AuditQuery.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "pagehost/PageHost.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/GridPageSetup.h"
#include "startup/AppContext.h"
#include "startup/Captions.h"
#include "startup/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <utility>
#include <QVBoxLayout>

namespace k27 {

namespace {
enum Column { Sequence = 1, Time, Computer, Operator, Action, Subject, Details, ColumnCount };

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The stored UTC time shown in local time.
QString localTime(const QString& utc)
{
    const QDateTime t = QDateTime::fromString(utc, Qt::ISODateWithMs);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : utc;
}
} // namespace

AuditPage::AuditPage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    CKSpan = named(new QCheckBox(this), "CKSpan");
    DTFrom = named(new QDateTimeEdit(QDateTime(QDate::currentDate().addDays(-30), QTime(0, 0)), this), "DTFrom");
    DTTo = named(new QDateTimeEdit(QDateTime(QDate::currentDate(), QTime(23, 59, 59)), this), "DTTo");
    for (QDateTimeEdit* edit : {DTFrom, DTTo}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
    }
    CmbOperator = named(new QComboBox(this), "CmbOperator");
    CmbAction = named(new QComboBox(this), "CmbAction");
    TxtSubject = named(new QLineEdit(this), "TxtSubject");
    btnSearch = named(new QPushButton(this), "btnSearch");
    btnEx = named(new QPushButton(this), "btnEx");
    btnPrint = named(new QPushButton(this), "btnPrint");
    btnVerify = named(new QPushButton(this), "btnVerify");
    GridLog = named(new Grid(this), "GridLog");
    GridLog->setCols(ColumnCount);
    // The whole local time and room for the details, which say the most.
    for (const auto& [column, width] : {std::pair{Sequence, 60},
                                        {Time, 150},
                                        {Computer, 100},
                                        {Operator, 100},
                                        {Action, 130},
                                        {Subject, 170},
                                        {Details, 420}})
        GridLog->setColumnWidth(column, width);
    GridLog->setRows(1);
    GridLog->setReadOnly(true);
    PBVerify = named(new QProgressBar(this), "PBVerify");
    PBVerify->hide();
    LblVerdict = named(new QLabel(this), "LblVerdict");
    LblVerdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblOperator = new QLabel(this);
    m_lblAction = new QLabel(this);
    m_lblSubject = new QLabel(this);

    auto* filters = new QGridLayout;
    filters->addWidget(CKSpan, 0, 0);
    filters->addWidget(DTFrom, 0, 1);
    filters->addWidget(DTTo, 0, 2);
    filters->addWidget(m_lblOperator, 1, 0);
    filters->addWidget(CmbOperator, 1, 1);
    filters->addWidget(m_lblAction, 1, 2);
    filters->addWidget(CmbAction, 1, 3);
    filters->addWidget(m_lblSubject, 2, 0);
    filters->addWidget(TxtSubject, 2, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnSearch, btnEx, btnPrint, btnVerify})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addLayout(buttons);
    layout->addWidget(GridLog, 1);
    layout->addWidget(PBVerify);
    layout->addWidget(LblVerdict);

    connect(btnSearch, &QPushButton::clicked, this, &AuditPage::search);
    connect(btnVerify, &QPushButton::clicked, this, &AuditPage::verify);
    connect(btnEx, &QPushButton::clicked, this, [this] {
        const GridExportResult result = GridLog->exportToFile(m_host.context().dialogs(), {}, true, false,
                                                              m_host.context().message(Msg::AuditLogTab));
        if (result.ok())
            m_host.context().dialogs().message(this, m_host.context().message(Msg::ExportFinished),
                                               Dialogs::Icon::Information);
        else if (result.status == GridExportResult::Status::Failed)
            m_host.context().dialogs().message(
                this, m_host.context().message(Msg::ExportFailed) + u'\n' + result.reason, Dialogs::Icon::Error);
    });
    connect(btnPrint, &QPushButton::clicked, this, [this] {
        preparePrint();
        GridLog->print(this);
    });
    applyLanguage();
}

void AuditPage::applyLanguage()
{
    ApplyCaptions(this, m_host.context().language);
    CKSpan->setText(m_host.context().message(Msg::AuditTimeSpan));
    m_lblOperator->setText(m_host.context().message(Msg::AuditOperator));
    m_lblAction->setText(m_host.context().message(Msg::AuditAction));
    m_lblSubject->setText(m_host.context().message(Msg::AuditSubject));
    btnSearch->setText(m_host.context().message(Msg::AuditSearch));
    btnVerify->setText(m_host.context().message(Msg::AuditVerify));
    for (int c = Sequence; c < ColumnCount; ++c)
        GridLog->setHeaderText(c, m_host.context().message(Msg::AuditColumnNumber + c - Sequence));
}

void AuditPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    search();
}

void AuditPage::search()
{
    Database* db = m_host.context().databases().window();
    if (!db)
        return;
    for (auto [combo, column] :
         {std::pair{CmbOperator, QStringLiteral("操作员")}, std::pair{CmbAction, QStringLiteral("动作")}}) {
        const QString chosen = combo->currentText();
        combo->clear();
        combo->addItem(QString());
        combo->addItems(audit::distinctValues(*db, column));
        combo->setCurrentIndex(qMax(0, combo->findText(chosen)));
    }
    audit::LogFilter filter;
    if (CKSpan->isChecked()) {
        filter.fromUtc = DTFrom->dateTime().toUTC().toString(Qt::ISODateWithMs);
        filter.toUtc = DTTo->dateTime().toUTC().toString(Qt::ISODateWithMs);
    }
    filter.operatorName = CmbOperator->currentText();
    filter.action = CmbAction->currentText();
    filter.subject = TxtSubject->text().trimmed();
    const QList<audit::LogRow> rows = audit::findRows(*db, filter);
    GridLog->setRedraw(false);
    GridLog->setRows(int(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r) {
        const audit::LogRow& row = rows[r];
        const QStringList cells{QString::number(row.sequence),
                                localTime(row.time),
                                row.computer,
                                row.operatorName,
                                row.action,
                                row.subject,
                                row.details};
        for (int c = Sequence; c < ColumnCount; ++c)
            GridLog->setCellText(r + 1, c, cells[c - Sequence]);
    }
    GridLog->setRedraw(true);
    // The chain's head as it stands, to be written down; "verify" proves the rows behind it.
    LblVerdict->setText(headCodeText(*db));
    LblVerdict->setStyleSheet(QString());
}

void AuditPage::verify()
{
    Database* db = m_host.context().databases().window();
    if (!db)
        return;
    const qint64 total = db->scalar(QStringLiteral("SELECT count(*) FROM 操作日志")).toLongLong();
    PBVerify->setRange(0, int(qMin<qint64>(total, INT_MAX)));
    PBVerify->setValue(0);
    PBVerify->show();
    btnVerify->setEnabled(false);
    const audit::Verdict v = audit::verify(*db, [this](qint64 done) {
        PBVerify->setValue(int(qMin<qint64>(done, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    });
    PBVerify->hide();
    btnVerify->setEnabled(true);
    LblVerdict->setText(v.intact() ? m_host.context().message(Msg::AuditIntactRows) + QString::number(v.count)
                                         + QStringLiteral("    ") + m_host.context().message(Msg::AuditHeadCode)
                                         + audit::headCode(v.count, v.head)
                                   : m_host.context().message(Msg::AuditChanged) + v.text);
    LblVerdict->setStyleSheet(v.intact() ? QString() : QStringLiteral("color: #c00000"));
}

QString AuditPage::headCodeText(Database& db) const
{
    qint64 count = 0;
    QByteArray hash;
    return audit::head(db, &count, &hash) ? m_host.context().message(Msg::AuditHeadCode) + audit::headCode(count, hash)
                                          : QString();
}

void AuditPage::preparePrint()
{
    QString title = m_host.context().message(Msg::AuditLogTab);
    if (Database* db = m_host.context().databases().window())
        title += QStringLiteral("    ") + headCodeText(*db);
    SetPrin(0, *GridLog, title);
}

} // namespace k27
