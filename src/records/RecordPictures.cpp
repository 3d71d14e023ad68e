#include "RecordPictures.h"

#include "RecordChart.h"
#include "RecordCounts.h"
#include "RecordLastSeen.h"
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "platform/Dialogs.h"
#include "platform/FormControls.h"
#include "platform/Grid.h"
#include "platform/GridPageSetup.h"
#include "platform/UserSettings.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

namespace k27 {

namespace {

// A count that has not ended after this long shows its progress and Cancel.
constexpr int QuietMilliseconds = 300;

} // namespace

RecordPictures::RecordPictures(QWidget* page) : QObject(page)
{
    btnChart = form::button(page, QStringLiteral("btnChart"), QStringLiteral("图表"));
    btnChart->setCheckable(true);
    btnLast = form::button(page, QStringLiteral("btnLast"), QStringLiteral("最后出现"));
    m_buttons = new QHBoxLayout;
    m_buttons->addWidget(btnChart);
    m_buttons->addWidget(btnLast);
    ChartIO = new RecordChart(page);
    ChartIO->hide();
    connect(btnChart, &QPushButton::toggled, this, &RecordPictures::setChartShown);
    connect(btnLast, &QPushButton::clicked, this, &RecordPictures::showLastSeen);
    connect(ChartIO->btnChartSave, &QPushButton::clicked, this, &RecordPictures::saveChart);
    connect(ChartIO->btnChartPrint, &QPushButton::clicked, this, &RecordPictures::printChart);
    connect(ChartIO, &RecordChart::cancelRequested, this, [this] { m_cancel = m_stopBuild = true; });
    connect(ChartIO, &RecordChart::timeChosen, this, [this](const QDateTime& start, const QDateTime& end) {
        narrow(RecordCounts::narrowedToTime(m_filter, start, end));
    });
    connect(ChartIO, &RecordChart::terminalChosen, this,
            [this](qint64 number) { narrow(RecordCounts::narrowedToTerminal(m_filter, number)); });
    connect(ChartIO, &RecordChart::hourChosen, this, [this](int hour) {
        const RecordFilter narrowed = ChartIO->counts().narrowedToHourOfDay(m_filter, hour);
        if (narrowed.timeSpan != m_filter.timeSpan || narrowed.start != m_filter.start || narrowed.end != m_filter.end)
            narrow(narrowed);
    });

    FrmLast = new QDialog(page, Qt::Window);
    FrmLast->setObjectName(QStringLiteral("FrmLast"));
    FrmLast->setWindowTitle(QStringLiteral("最后出现"));
    GridLast = form::named(new Grid(FrmLast), QStringLiteral("GridLast"));
    GridLast->setReadOnly(true);
    auto* out = form::button(FrmLast, QStringLiteral("btnLastOut"), QStringLiteral("导出"));
    auto* print = form::button(FrmLast, QStringLiteral("btnLastPrint"), QStringLiteral("打印"));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(out);
    row->addWidget(print);
    auto* layout = new QVBoxLayout(FrmLast);
    layout->addWidget(GridLast, 1);
    layout->addLayout(row);
    connect(out, &QPushButton::clicked, this, [this] {
        if (!m_page.context)
            return;
        const GridExportResult result = GridLast->exportToFile(m_page.context->dialogs(), {}, true, false,
                                                               message(Msg::ExportRecordsTitle));
        if (result.ok())
            m_page.context->dialogs().message(FrmLast, message(Msg::ExportFinished), Dialogs::Icon::Information);
        else if (result.status == GridExportResult::Status::Failed)
            m_page.context->dialogs().message(FrmLast, message(Msg::ExportFailed), Dialogs::Icon::Error);
    });
    connect(print, &QPushButton::clicked, this, [this] { GridLast->print(FrmLast); });
}

void RecordPictures::attach(Page page)
{
    m_page = std::move(page);
    ChartIO->setTexts([this](int number) { return message(number); });
    const int language = m_page.context ? m_page.context->settings.language : 0;
    ChartIO->setLocale(language == 2   ? QLocale(QLocale::English, QLocale::UnitedStates)
                       : language == 1 ? QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan)
                                       : QLocale(QLocale::Chinese, QLocale::China));
    // As this operator left it.
    const bool shown = openUserSettings()->value(settingsKey(), false).toBool();
    btnChart->setChecked(shown);
    setChartShown(shown);
}

QString RecordPictures::settingsKey() const
{
    const QString name = m_page.context ? m_page.context->signedIn.name : QString();
    return QStringLiteral("RecordChart/") + QString::fromLatin1(name.toUtf8().toHex());
}

QString RecordPictures::message(int number) const
{
    return m_page.context ? m_page.context->message(number) : QString();
}

void RecordPictures::setChartShown(bool shown)
{
    ChartIO->setVisible(shown);
    if (!m_page.context)
        return;
    openUserSettings()->setValue(settingsKey(), shown);
    if (shown)
        refresh();
}

void RecordPictures::queried(const RecordFilter& filter)
{
    m_filter = filter;
    refresh();
}

void RecordPictures::recordsChanged()
{
    refresh();
}

void RecordPictures::clear()
{
    m_cancel = m_counting;
    ChartIO->show(RecordCounts());
    GridLast->setRows(1);
}

bool RecordPictures::refresh()
{
    if (ChartIO->isHidden() || !m_page.reader)
        return false;
    if (m_counting) {
        // The count running stops at its next slice and starts again with the new filter.
        m_again = m_cancel = true;
        return false;
    }
    if (!m_page.reader())
        return false;
    m_counting = true;
    if (!ensureKept(dayCounts::Table, [](Database& db, const auto& step) { return dayCounts::ensure(db, step); })) {
        m_counting = false;
        return false;
    }
    Database* db = m_page.reader();
    if (!db) {
        m_counting = false;
        return false;
    }
    RecordCounts counts;
    RecordCounts::Outcome outcome;
    do {
        m_again = m_cancel = false;
        QElapsedTimer clock;
        clock.start();
        outcome = RecordCounts::count(*db, m_filter, counts, [&](int permille) {
            if (clock.elapsed() >= QuietMilliseconds) {
                ChartIO->showProgress(permille);
                QCoreApplication::processEvents();
            }
            return !m_cancel;
        });
        ChartIO->hideProgress();
    } while (m_again);
    m_counting = false;
    if (outcome == RecordCounts::Outcome::Done)
        ChartIO->show(counts);
    return outcome == RecordCounts::Outcome::Done;
}

// An older register gets the table `table` the pictures read at their first use: a long run
// on the connection of the long runs (a save clicked meanwhile stays out of its transaction),
// its progress and Cancel on the chart panel. False when stopped: nothing of it stays, and
// the next use starts again. Without it (another run going on, a file that cannot be written)
// the pictures are made from the records.
bool RecordPictures::ensureKept(const char* table, const Build& build)
{
    Database* db = m_page.reader ? m_page.reader() : nullptr;
    if (!db || db->isServer() || db->hasTable(QString::fromUtf8(table)) || !m_page.longRun)
        return true;
    const bool hidden = ChartIO->isHidden();
    ChartIO->setVisible(true);
    m_stopBuild = false;
    QElapsedTimer clock;
    clock.start();
    m_page.longRun([&](Database& writer) {
        return build(writer, [&](int permille) {
            if (clock.elapsed() >= QuietMilliseconds) {
                ChartIO->showProgress(permille);
                QCoreApplication::processEvents();
            }
            if (m_page.closing && m_page.closing())
                m_stopBuild = true;
            return !m_stopBuild;
        });
    });
    ChartIO->hideProgress();
    if (hidden)
        ChartIO->setVisible(false);
    return !std::exchange(m_stopBuild, false);
}

void RecordPictures::narrow(const RecordFilter& filter)
{
    if (m_page.query)
        m_page.query(filter);
}

void RecordPictures::saveChart()
{
    if (!m_page.context)
        return;
    Dialogs& dialogs = m_page.context->dialogs();
    const QString path = dialogs.saveFile(ChartIO, ChartIO->btnChartSave->text(),
                                          message(Msg::Pictures) + QStringLiteral(" (*.png *.svg)"), {},
                                          Dialogs::FileKind::Export);
    if (path.isEmpty())
        return;
    // The name's ending chooses the kind; a name without one is a PNG picture.
    const bool named = path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)
                       || path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
    const QString file = named ? path : path + QStringLiteral(".png");
    if (!ChartIO->savePicture(file))
        dialogs.message(ChartIO, message(Msg::ExportFailed), Dialogs::Icon::Error);
}

void RecordPictures::printChart()
{
    // The grids' way: a preview that prints, or writes PDF where no printer is installed.
    QPrinter printer(QPrinter::HighResolution);
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFormat(QPrinter::PdfFormat);
    GridPageSetup setup = m_page.pageSetupFrom ? m_page.pageSetupFrom->pageSetup() : GridPageSetup();
    // A chart is wider than tall.
    setup.orientation = QPageLayout::Landscape;
    QPrintPreviewDialog preview(&printer, ChartIO);
    preview.setWindowTitle(btnChart->text());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this, &setup](QPrinter* p) { ChartIO->renderTo(p, setup); });
    if (QScreen* screen = ChartIO->screen())
        preview.setGeometry(Grid::previewGeometry(screen->availableGeometry()));
    preview.exec();
}

void RecordPictures::showLastSeen()
{
    if (!m_page.context || !m_page.reader)
        return;
    if (m_building)
        return;
    m_building = true;
    // Within a span or at a terminal the day counts plan the reading too.
    const bool within = !m_filter.recent && (m_filter.timeSpan || !TrimAtNul(m_filter.terminal).isEmpty());
    const bool made = ensureKept(newestRecords::Table,
                                 [](Database& db, const auto& step) { return newestRecords::ensure(db, step); })
                      && (!within || ensureKept(dayCounts::Table, [](Database& db, const auto& step) {
                             return dayCounts::ensure(db, step);
                         }));
    m_building = false;
    if (!made)
        return;
    Database* db = m_page.reader();
    auto rows = std::make_shared<QList<RecordLastSeen::Row>>();
    if (!db || !RecordLastSeen::run(*db, m_filter, *rows)) {
        m_page.context->dialogs().message(m_page.widget, message(Msg::DatabaseUnreadable), Dialogs::Icon::Error);
        return;
    }
    const QString noRecord = message(Msg::LastSeenNoRecord), unknown = message(Msg::LastSeenUnknownCard);
    GridLast->setRedraw(false);
    GridLast->setCols(7);
    GridLast->setColumnWidth(0, 50);
    const struct
    {
        int message;
        int width;
    } columns[] = {{Msg::HeaderName, 90},       {Msg::HeaderDepartment, 140},    {Msg::HeaderCard, 100},
                   {Msg::HeaderEntryTime, 150}, {Msg::HeaderTerminalNumber, 80}, {Msg::InstallationAddress, 200}};
    for (int c = 0; c < 6; ++c) {
        GridLast->setHeaderText(c + 1, message(columns[c].message));
        GridLast->setColumnWidth(c + 1, columns[c].width);
    }
    GridLast->setCellSource([rows, noRecord, unknown](int row, int col) -> QString {
        if (row < 1 || row > rows->size())
            return {};
        const RecordLastSeen::Row& r = rows->at(row - 1);
        switch (col) {
        case 1: return r.unknownCard ? unknown : r.name;
        case 2: return r.department;
        case 3: return r.card;
        case 4: return r.time.isEmpty() ? noRecord : r.time;
        case 5: return r.terminal;
        case 6: return r.address;
        }
        return {};
    });
    GridLast->setRows(int(rows->size()) + 1);
    SetPrin(0, *GridLast, btnLast->text());
    GridLast->setRedraw(true);
    FrmLast->setWindowTitle(btnLast->text());
    if (!FrmLast->isVisible() && m_page.widget)
        FrmLast->resize(m_page.widget->size().boundedTo(QSize(900, 600)));
    FrmLast->show();
    FrmLast->raise();
}

} // namespace k27
