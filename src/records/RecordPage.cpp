#include "RecordPage.h"

#include "RecordDeletion.h"
#include "RecordImport.h"
#include "RecordPictures.h"
#include "RecordChart.h"
#include "RecordQuery.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/RegisterLock.h"
#include "pagehost/PageHost.h"
#include "platform/FormControls.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/ImportProgress.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <utility>

namespace k27 {

using namespace form;

// A long piece of work on the page: no second one starts while it lets window events through.
class RecordPage::Busy
{
public:
    explicit Busy(RecordPage& page) : m_page(page)
    {
        m_page.m_busy = true;
        m_page.setOperationButtonsEnabled(false);
    }
    ~Busy()
    {
        m_page.setOperationButtonsEnabled(true);
        m_page.m_busy = false;
        // A restore while the work let events through: its result goes now.
        if (std::exchange(m_page.m_replaced, false))
            m_page.databaseReplaced();
    }

private:
    RecordPage& m_page;
};

// One run of a record operation (an import or a deletion). It works on the runs' connection:
// its open transaction must not take in what the window writes meanwhile.
class RecordPage::Operation : public Busy
{
public:
    explicit Operation(RecordPage& page) : Busy(page), m_db(page.m_host.context().databases().runs()) {}
    Database* db() const { return m_db; }

private:
    Database* m_db = nullptr;
};

const QString& RecordPage::importFilter()
{
    static const QString filter = QStringLiteral("Data (*.txt *.csv)");
    return filter;
}

RecordPage::RecordPage(PageHost& host, RecordRows& rows, QWidget* parent) : QWidget(parent), m_host(host), m_rows(rows)
{
    setObjectName(QStringLiteral("RecordPage"));
    buildOptionsFrame();

    GridIO = named(new Grid(this), QStringLiteral("GridIO"));
    // The entry time is the one cell the operator may retype (the list only, never the file).
    GridIO->setColumnEditable(RecordRows::Time, true);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(8);
    page->addWidget(FrmIO);
    page->addWidget(GridIO, 1);
    page->addWidget(m_pictures->ChartIO);
    // The fields row by row (the later date stands left), then the buttons beside them.
    tabChain({TxtCode, T_Name, T_Dpt, T_No, CKD, DT[1], DT[0], CKNum, CmbNum, BtnFind, btnInputD, BtnDelD, btnOutD,
              m_pictures->btnChart, m_pictures->btnLast, GridIO});

    // Neither the time span nor the recent mode at first.
    onTimeSpanToggled(false);
    onRecentToggled(false);
    connectHandlers();
    m_list.setReader([this] { return reader(); });
    m_list.showTable(&m_rows);
    m_pictures->attach({this, &m_host.context(), [this] { return reader(); },
                        [this](const RecordFilter& filter) {
                            setFilterFields(filter);
                            find();
                        },
                        GridIO,
                        [this](const std::function<bool(Database&)>& work) {
                            if (m_busy || m_host.runs().active())
                                return false;
                            const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::RecordSummary);
                            if (!run)
                                return false;
                            Operation operation(*this);
                            return operation.db() && work(*operation.db());
                        },
                        [this] { return m_host.runs().stopRequested(); }});
}

// FrmIO: the filters, the time span, the recent records and the four buttons.
void RecordPage::buildOptionsFrame()
{
    FrmIO = frame(this, QStringLiteral("FrmIO"), QStringLiteral("查询选项"));
    TxtCode = lineEdit(FrmIO, QStringLiteral("TxtCode"), 20);
    T_Name = lineEdit(FrmIO, QStringLiteral("T_Name"), 20);
    T_Dpt = lineEdit(FrmIO, QStringLiteral("T_Dpt"), 20);
    T_No = lineEdit(FrmIO, QStringLiteral("T_No"), 3);

    CKD = check(FrmIO, QStringLiteral("CKD"), QStringLiteral("   进出时间:"));
    const QDate firstDate(2009, 12, 30), lastDate(2099, 12, 30);
    for (int i = 0; i < 2; ++i) {
        DT[i] = named(new QDateTimeEdit(FrmIO), QStringLiteral("DT"), i);
        DT[i]->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        DT[i]->setDateRange(firstDate, lastDate);
        DT[i]->setCalendarPopup(true);
        DT[i]->setMinimumHeight(FieldHeight);
        // The whole time and the calendar button, not a fixed guess that cuts the seconds.
        DT[i]->setMinimumWidth(DT[i]->fontMetrics().horizontalAdvance(QStringLiteral("2099-12-30 00:00:00")) + 34);
    }
    DT[1]->setDateTime(QDateTime(QDate(2011, 3, 15), QTime(0, 0)));
    DT[0]->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    CKNum = check(FrmIO, QStringLiteral("CKNum"), QStringLiteral("查询最近记录:最近(条)"));
    CmbNum = combo(FrmIO, QStringLiteral("CmbNum"));
    CmbNum->addItems({QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("500"),
                      QStringLiteral("1000"), QStringLiteral("2000"), QStringLiteral("5000")});
    CmbNum->setEditText(QStringLiteral("200"));
    CmbNum->setMinimumWidth(70);

    BtnFind = button(FrmIO, QStringLiteral("BtnFind"), QStringLiteral("查询"));
    btnInputD = button(FrmIO, QStringLiteral("btnInputD"), QStringLiteral("导入"));
    BtnDelD = button(FrmIO, QStringLiteral("BtnDelD"), QStringLiteral("删除"));
    btnOutD = button(FrmIO, QStringLiteral("btnOutD"), QStringLiteral("导出"));

    auto* options = new QGridLayout(FrmIO);
    options->setHorizontalSpacing(8);
    options->setVerticalSpacing(8);
    L_Code = label(FrmIO, QStringLiteral("L_Code"), QStringLiteral("卡号："));
    L_Name = label(FrmIO, QStringLiteral("L_Name"), QStringLiteral("姓名："));
    L_Dpt = label(FrmIO, QStringLiteral("L_Dpt"), QStringLiteral("部门："));
    L_No = label(FrmIO, QStringLiteral("L_No"), QStringLiteral("终端机号："));
    const struct
    {
        QLabel* caption;
        QWidget* field;
    } filters[] = {{L_Code, TxtCode}, {L_Name, T_Name}, {L_Dpt, T_Dpt}, {L_No, T_No}};
    for (int i = 0; i < 4; ++i) {
        options->addWidget(filters[i].caption, 0, i * 2);
        options->addWidget(filters[i].field, 0, i * 2 + 1);
        options->setColumnStretch(i * 2 + 1, 1);
    }
    auto* span = new QHBoxLayout;
    span->setSpacing(8);
    span->addWidget(CKD);
    span->addWidget(DT[1]);
    span->addWidget(label(FrmIO, QStringLiteral("Label58"), QStringLiteral("—")));
    span->addWidget(DT[0]);
    span->addSpacing(8);
    span->addWidget(CKNum);
    span->addWidget(CmbNum);
    span->addStretch();
    options->addLayout(span, 1, 0, 1, 8);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    auto* row1 = new QHBoxLayout;
    row1->addWidget(BtnFind);
    row1->addWidget(btnInputD);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(BtnDelD);
    row2->addWidget(btnOutD);
    buttons->addLayout(row1);
    buttons->addLayout(row2);
    m_pictures = new RecordPictures(this);
    buttons->addLayout(m_pictures->buttons());
    options->addLayout(buttons, 0, 8, 2, 1);
    options->setColumnMinimumWidth(8, 2 * ButtonWidth + 8);
}

void RecordPage::connectHandlers()
{
    connect(CKD, &QCheckBox::toggled, this, &RecordPage::onTimeSpanToggled);
    connect(CKNum, &QCheckBox::toggled, this, &RecordPage::onRecentToggled);
    connect(BtnFind, &QPushButton::clicked, this, &RecordPage::find);
    // Enter in a filter field searches, as the search button does.
    for (QLineEdit* field : {TxtCode, T_Name, T_Dpt, T_No})
        connect(field, &QLineEdit::returnPressed, this, &RecordPage::find);
    m_loader.setSingleShot(true);
    m_loader.setInterval(0);
    connect(&m_loader, &QTimer::timeout, this, &RecordPage::loadPortion);
    connect(btnInputD, &QPushButton::clicked, this, &RecordPage::importFile);
    connect(BtnDelD, &QPushButton::clicked, this, &RecordPage::deleteRows);
    connect(btnOutD, &QPushButton::clicked, this, &RecordPage::exportGrid);
}

QString RecordPage::message(int number) const
{
    return m_host.context().message(number);
}

// The two boxes exclude each other; a box set in code acts only when its value changes.
void RecordPage::onTimeSpanToggled(bool on)
{
    DT[0]->setEnabled(on);
    DT[1]->setEnabled(on);
    if (on)
        CKNum->setChecked(false);
}

void RecordPage::onRecentToggled(bool on)
{
    CmbNum->setEnabled(on);
    for (QWidget* w : std::initializer_list<QWidget*>{L_Code, L_Name, L_Dpt, L_No, TxtCode, T_Name, T_Dpt, T_No})
        w->setEnabled(!on);
    if (on)
        CKD->setChecked(false);
}

void RecordPage::setOperationButtonsEnabled(bool on)
{
    BtnFind->setEnabled(on);
    btnInputD->setEnabled(on);
    btnOutD->setEnabled(on);
    m_pictures->btnLast->setEnabled(on);
    // An ordinary operator never deletes records.
    BtnDelD->setEnabled(on && m_host.context().signedIn.isAdministrator);
}

void RecordPage::showRowCount(bool pump)
{
    GridIO->setRedraw(false);
    GridIO->setRows(m_list.expectedRows() + 1);
    if (pump)
        QCoreApplication::processEvents();
    GridIO->setRedraw(true);
}

void RecordPage::find()
{
    if (m_busy)
        return;
    const RecordFilter filter = filterFields();
    // No number of records: nothing happens.
    if (filter.recent && RecordQuery::recentCount(filter.recentText) == 0)
        return;

    m_loader.stop();
    Database* db = reader();
    RecordQuery::Result result;
    if (db) {
        result = m_list.start(*db, filter, m_rows);
    } else {
        m_rows.clear();
        m_list.showTable(&m_rows);
        result.outcome = RecordQuery::Outcome::Failed;
    }
    showRowCount(true);
    // A database that cannot be read leaves the list empty; "no records found" would be untrue.
    if (result.outcome == RecordQuery::Outcome::Done && result.rows == 0)
        m_host.context().dialogs().message(this, message(Msg::NoRecordsFound), Dialogs::Icon::Warning);
    scheduleLoad();
    m_shownQuery = filter;
    m_pictures->queried(filter);
}

void RecordPage::showOthersChanges()
{
    Database* db = reader();
    if (m_busy || !m_shownQuery || !db || m_list.hasEdits())
        return;
    const int row = GridIO->currentRow();
    const auto chosen = row > 0 ? m_list.keyOf(row) : std::pair<QString, QString>();
    QScrollBar* scroll = GridIO->view()->verticalScrollBar();
    const int scrolled = scroll->value();
    m_loader.stop();
    m_list.start(*db, *m_shownQuery, m_rows);
    showRowCount(false);
    // Records of other desks are mostly the newest, above the chosen one: it is looked for a
    // little further down, and the list scrolls with it.
    int found = 0;
    for (int r = row, last = qMin(m_list.rowCount(), row + 2 * RecordList::BlockRows); row > 0 && r <= last; ++r) {
        if (m_list.keyOf(r) == chosen) {
            found = r;
            break;
        }
    }
    if (found > 0) {
        GridIO->setCurrentCell(found, GridIO->currentCol());
        const int step = GridIO->view()->verticalScrollMode() == QAbstractItemView::ScrollPerItem
                             ? 1
                             : GridIO->view()->rowHeight(0);
        scroll->setValue(scrolled + (found - row) * step);
    } else {
        scroll->setValue(scrolled);
    }
    scheduleLoad();
    m_pictures->recordsChanged();
}

void RecordPage::databaseReplaced()
{
    if (m_busy) {
        m_replaced = true; // the export still reading the list empties it when done
        return;
    }
    m_loader.stop();
    m_rows.clear();
    m_list.showTable(&m_rows);
    m_shownQuery.reset();
    showRowCount(false);
    m_pictures->clear();
}

Database* RecordPage::reader()
{
    return m_host.context().databases().window();
}

void RecordPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Once the page is on the screen, while the operator types the first filter.
    if (!std::exchange(m_warmed, true))
        QTimer::singleShot(0, this, [this] {
            if (Database* db = reader())
                RecordQuery::warmCardList(*db);
        });
}

Database* RecordPage::counter()
{
    return m_host.context().databases().background();
}

// The next portion is counted once the window's pending events have run.
void RecordPage::scheduleLoad()
{
    if (!m_list.isCounting() || m_loader.isActive())
        return;
    m_loader.start();
}

void RecordPage::loadPortion()
{
    if (!m_list.isCounting())
        return;
    // An operation in progress has the list; its end lets the count go on.
    if (m_busy) {
        m_loader.start(50);
        return;
    }
    Database* db = counter();
    const int counted = m_list.rowCount();
    if (db)
        m_list.countPortion(*db, PortionMilliseconds);
    else
        m_list.endCount();
    // The estimate follows the count: the current cell, the selection and the scroll position stay.
    GridIO->setRows(m_list.expectedRows() + 1);
    // Rows on the screen that showed empty until counted show their texts now (an exact
    // estimate changes no row count that would repaint them).
    const QTableView* view = GridIO->view();
    const int first = view->rowAt(0) + 1; // grid rows: the header is row 0
    const int lastShown = view->rowAt(view->viewport()->height() - 1);
    const int last = lastShown < 0 ? std::numeric_limits<int>::max() : lastShown + 1;
    if (first > 0 && counted < last && m_list.rowCount() >= first && m_list.rowCount() > counted)
        GridIO->refresh();
    m_loader.setInterval(0);
    scheduleLoad();
}

// Counts what is left of the result with the progress panel up, letting window events through;
// false when the database refused (the list then ends where the count stopped).
bool RecordPage::countAll()
{
    m_loader.stop();
    bool ok = true;
    if (m_list.isCounting()) {
        const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::ReadingRecords));
        progress->begin(1000);
        while (ok && m_list.isCounting() && !m_host.runs().stopRequested()) {
            Database* db = counter();
            ok = db && m_list.countPortion(*db, PortionMilliseconds);
            progress->advance(m_list.countPermille(), 1000);
        }
        progress->end(1000, 1000);
    }
    showRowCount(false);
    return ok;
}

void RecordPage::importFile()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::RecordImport);
    if (!run || m_busy)
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    const QString path = dialogs.openFile(this, message(Msg::ImportRecordsTitle), importFilter(),
                                          Dialogs::FileKind::RecordFile);
    if (path.isEmpty())
        return;

    // The import replaces the list with the rows it adds: the rest of the last query is not counted.
    m_loader.stop();
    RecordImport::Result result;
    {
        // A database that cannot be opened refuses every row, as one that cannot be written.
        Database closed;
        Operation operation(*this);
        const RegisterLock alone(operation.db() ? *operation.db() : closed, RegisterLock::Run::RecordImport);
        if (operation.db() && !alone) {
            refuseBeside(alone);
            scheduleLoad();
            return;
        }
        // The panel is shared with the deletion: the import sets its own caption.
        const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::Importing));
        // Read and stored on a thread of its own: the window never waits for a step or a commit.
        result = RecordImport::runInBackground(operation.db() ? *operation.db() : closed, path, m_rows, progress.get());
    }
    if (!result.readable) {
        // Nothing changed: the last query's list stays, and its count goes on.
        scheduleLoad();
        dialogs.message(this, message(Msg::RecordFileUnreadable), Dialogs::Icon::Warning);
        return;
    }
    m_list.showTable(&m_rows);
    m_shownQuery.reset();
    showRowCount(false);
    m_pictures->recordsChanged();
    dialogs.message(this, RecordImport::summary(m_host.context().language, result),
                    result.writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
    GridIO->setFocus();
}

void RecordPage::refuseBeside(const RegisterLock& lock)
{
    m_host.context().dialogs().message(
        this, lock.holder().isEmpty() ? message(Msg::RegisterBusy) : message(Msg::RegisterBusyOn).arg(lock.holder()),
        Dialogs::Icon::Warning);
}

void RecordPage::deleteRows()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::RecordDeletion);
    if (!run || m_busy)
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    int first = GridIO->selectionFirstRow();
    int last = GridIO->selectionLastRow();
    // Rows are deleted by position: a selection past the rows counted so far waits for the count.
    if (qMax(first, last) > m_list.rowCount() && m_list.isCounting() && !countAll())
        return;
    switch (RecordDeletion::check(m_list.rowCount(), first, last)) {
    case RecordDeletion::Check::NoRows:
        dialogs.message(this, message(Msg::NothingToDelete), Dialogs::Icon::Warning);
        return;
    case RecordDeletion::Check::HeaderRow:
        dialogs.message(this, message(Msg::SelectRowsToDelete), Dialogs::Icon::Warning);
        return;
    case RecordDeletion::Check::Ok: break;
    }
    const int going = qMin(last, m_list.rowCount()) - first + 1;
    if (!dialogs.question(this,
                          deletionQuestion(m_host.context().language, Msg::DeleteSelectedRows, going,
                                           m_list.text(first, RecordRows::Name)),
                          {}, Dialogs::DefaultAnswer::No))
        return;

    int count = 0;
    bool writeFailed = false;
    bool stopped = false;
    {
        Operation operation(*this);
        // Nothing can be deleted without the database: the rows stay, and no count is reported.
        if (!operation.db())
            return;
        const RegisterLock alone(*operation.db(), RegisterLock::Run::RecordDeletion);
        if (!alone) {
            refuseBeside(alone);
            return;
        }
        const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::Deleting));
        count = RecordDeletion::run(*operation.db(), m_list, first, last, progress.get(), &writeFailed, &stopped);
    }
    showRowCount(false);
    m_pictures->recordsChanged();
    dialogs.message(this, RecordDeletion::summary(m_host.context().language, count, writeFailed, stopped),
                    writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
}

void RecordPage::exportGrid()
{
    if (m_busy)
        return;
    // A long export lets window events through: a close request waits for it (or stops it).
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::RecordExport);
    if (!run)
        return;
    const auto stopRequested = [this] { return m_host.runs().stopRequested(); };
    Dialogs& dialogs = m_host.context().dialogs();
    const QString file = dialogs.saveFile(GridIO, message(Msg::ExportRecordsTitle), Grid::exportFilter(), {},
                                          Dialogs::FileKind::Export);
    if (file.isEmpty())
        return;
    GridExportResult result;
    {
        // The file gets the whole result, not only the part counted so far; the list reads it
        // block by block, so memory stays what the cache holds.
        Busy busy(*this);
        // A close that stopped the count or the writing leaves nothing to report.
        const bool counted = !stopRequested() && countAll();
        if (stopRequested()) {
            result = GridExportResult::cancelled();
        } else if (!counted) {
            result = GridExportResult::failed(file, {});
        } else {
            const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::ExportingRecords));
            progress->begin(m_list.rowCount());
            m_list.resetReadFailure();
            // Stopped for a close, the export leaves no file behind.
            result = GridIO->exportToFile(dialogs, file, true, false, {}, [&](int done, int total) {
                progress->advance(done, total);
                return !stopRequested();
            });
        }
        // A restore while the file was written, or a block that could not be read, would leave
        // rows of another database or empty ones in it: not an export to report as made.
        if (result.ok() && (m_replaced || m_list.readFailed())) {
            QFile::remove(file);
            result = GridExportResult::failed(file, {});
        }
    }
    scheduleLoad();
    if (result.ok()) {
        dialogs.message(this, message(Msg::ExportFinished), Dialogs::Icon::Information);
    } else if (result.status == GridExportResult::Status::Failed) {
        QString text = message(Msg::ExportFailed);
        if (!result.reason.isEmpty())
            text += u'\n' + result.reason;
        dialogs.message(this, text, Dialogs::Icon::Error);
    }
}

// The query options, read and set (a chart's bar narrows the query through them).
RecordFilter RecordPage::filterFields() const
{
    RecordFilter filter;
    filter.card = TxtCode->text();
    filter.name = T_Name->text();
    filter.department = T_Dpt->text();
    filter.terminal = T_No->text();
    filter.timeSpan = CKD->isChecked();
    filter.start = DT[1]->dateTime();
    filter.end = DT[0]->dateTime();
    filter.recent = CKNum->isChecked();
    filter.recentText = CmbNum->currentText();
    return filter;
}

void RecordPage::setFilterFields(const RecordFilter& filter)
{
    TxtCode->setText(filter.card);
    T_Name->setText(filter.name);
    T_Dpt->setText(filter.department);
    T_No->setText(filter.terminal);
    CKNum->setChecked(filter.recent);
    CKD->setChecked(filter.timeSpan);
    if (filter.timeSpan) {
        DT[1]->setDateTime(filter.start);
        DT[0]->setDateTime(filter.end);
    }
}

} // namespace k27
