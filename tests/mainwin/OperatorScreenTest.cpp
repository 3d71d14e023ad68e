// The main window on an ordinary screen and keyboard: where it opens and how it is resized,
// pages by keyboard, row numbers, header captions, the issuing list's card column and the
// titles and folders of the file dialogs.

#include "DemoData.h"
#include "MainWindowFixture.h"

#include "audit/AuditLog.h"
#include "auditpage/AuditPage.h"
#include "cardholders/CardholderPage.h"
#include "issuing/IssuingPage.h"
#include "mainwin/Frmmain.h"
#include "mainwin/WindowFrame.h"
#include "platform/FileFolders.h"
#include "platform/Grid.h"
#include "ribbon/VelRibbon.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPrinter>
#include <cmath>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTest>

using namespace k27;
using namespace k27::test;
using Kind = ScriptedDialogs::Kind;
using FileKind = Dialogs::FileKind;

Q_DECLARE_METATYPE(Qt::Edges)
Q_DECLARE_METATYPE(FileKind)
Q_DECLARE_METATYPE(Kind)

namespace {

void seed(const MainWindowFixture& fx)
{
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QVERIFY(seedDemoData(db, 12, 50, 0));
}

// Drags a widget by `by` with the left button, as the window system would deliver it.
void drag(QWidget* widget, QPoint by)
{
    const QPoint from = widget->rect().center();
    const QPoint global = widget->mapToGlobal(from);
    QMouseEvent press(QEvent::MouseButtonPress, from, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent move(QEvent::MouseMove, from + by, global + by, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, from + by, global + by, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// What the style needs to draw a header caption whole, measured here on its own.
int captionWidth(const QHeaderView* header, const QString& text)
{
    QStyleOptionHeader opt;
    opt.initFrom(header);
    opt.text = text;
    return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), header).width();
}

// WCAG contrast ratio of two colours (1 to 21).
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class OperatorScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void openingGeometry_data();
    void openingGeometry();
    void resizedGeometry_data();
    void resizedGeometry();
    void windowFitsTheScreenAndRemembersItsPlace();
    void everyControlIsReachableAtTheMinimumSize();
    void edgesResizeTheWindow();
    void shortcutsSwitchPages_data();
    void shortcutsSwitchPages();
    void rowNumberDoubleClickChoosesTheRow_data();
    void rowNumberDoubleClickChoosesTheRow();
    void headerCaptionsFitInEveryLanguage();
    void issuingListShowsTheCardNumber();
    void fileDialogsAreTitled_data();
    void fileDialogsAreTitled();
    void fileFoldersAreRememberedPerKind();
    void everyPageFitsA1024Screen();
    void fixedValuesFitTheirColumns();
    void colouredTextsAreReadable();
};

void OperatorScreenTest::openingGeometry_data()
{
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("remembered");
    QTest::addColumn<QRect>("expected");
    const QRect laptop(0, 0, 1366, 728);
    const QRect small(0, 0, 1024, 738);
    const QRect wide(0, 0, 1920, 1040);
    const QRect second(1920, 0, 1280, 984);
    QTest::newRow("laptop: full height, centred") << QList<QRect>{laptop} << QRect() << QRect(43, 0, 1280, 728);
    QTest::newRow("1024x768: the whole area") << QList<QRect>{small} << QRect() << QRect(0, 0, 1024, 738);
    QTest::newRow("large screen: preferred size, centred")
        << QList<QRect>{wide} << QRect() << QRect(320, 120, 1280, 800);
    QTest::newRow("remembered place kept")
        << QList<QRect>{wide} << QRect(100, 50, 900, 700) << QRect(100, 50, 900, 700);
    QTest::newRow("remembered on the second screen")
        << QList<QRect>{wide, second} << QRect(2000, 100, 900, 700) << QRect(2000, 100, 900, 700);
    QTest::newRow("second screen gone: centred on the first")
        << QList<QRect>{wide} << QRect(2000, 100, 900, 700) << QRect(320, 120, 1280, 800);
    QTest::newRow("too large: shrunk into the screen")
        << QList<QRect>{laptop} << QRect(-50, 300, 1600, 900) << QRect(0, 0, 1366, 728);
    QTest::newRow("too small: the minimum") << QList<QRect>{wide} << QRect(10, 10, 300, 200) << QRect(10, 10, 800, 560);
    QTest::newRow("half off the edge: moved in")
        << QList<QRect>{laptop} << QRect(1000, 500, 900, 600) << QRect(466, 128, 900, 600);
}

void OperatorScreenTest::openingGeometry()
{
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, remembered);
    QFETCH(QRect, expected);
    QCOMPARE(k27::openingGeometry(screens, remembered, Frmmain::PreferredSize, Frmmain::MinimumSize), expected);
}

void OperatorScreenTest::resizedGeometry_data()
{
    QTest::addColumn<Qt::Edges>("edges");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QRect>("expected");
    // From (100, 100, 1000, 700), minimum 800 x 560.
    QTest::newRow("right bottom grows") << (Qt::RightEdge | Qt::BottomEdge) << QPoint(50, 40)
                                        << QRect(100, 100, 1050, 740);
    QTest::newRow("left moves the left edge only")
        << Qt::Edges(Qt::LeftEdge) << QPoint(-30, 99) << QRect(70, 100, 1030, 700);
    QTest::newRow("top stops at the minimum") << Qt::Edges(Qt::TopEdge) << QPoint(0, 500) << QRect(100, 240, 1000, 560);
    QTest::newRow("left top stops at the minimum")
        << (Qt::LeftEdge | Qt::TopEdge) << QPoint(900, 900) << QRect(300, 240, 800, 560);
}

void OperatorScreenTest::resizedGeometry()
{
    QFETCH(Qt::Edges, edges);
    QFETCH(QPoint, delta);
    QFETCH(QRect, expected);
    QCOMPARE(k27::resizedGeometry(QRect(100, 100, 1000, 700), edges, delta, Frmmain::MinimumSize), expected);
}

void OperatorScreenTest::windowFitsTheScreenAndRemembersItsPlace()
{
    MainWindowFixture fx;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect moved;
    {
        Frmmain w(*fx.context);
        QVERIFY2(screen.contains(w.geometry()),
                 qPrintable(QStringLiteral("%1x%2+%3+%4").arg(w.width()).arg(w.height()).arg(w.x()).arg(w.y())));
        w.show();
        moved = QRect(screen.topLeft() + QPoint(0, 4), w.minimumSize());
        w.setGeometry(moved);
        QCOMPARE(w.geometry(), moved);
        w.close(); // the close question is answered No: the place is kept all the same
        QVERIFY(w.isVisible());
    }
    {
        Frmmain w(*fx.context);
        QCOMPARE(w.geometry(), moved);
        QVERIFY(!w.windowState().testFlag(Qt::WindowMaximized));
        w.show();
        w.showMaximized();
        QVERIFY(w.isMaximized());
        w.close();
    }
    Frmmain w(*fx.context);
    QVERIFY(w.windowState().testFlag(Qt::WindowMaximized));
    QCOMPARE(w.normalGeometry().isValid() ? w.normalGeometry() : w.geometry(), moved);
}

void OperatorScreenTest::everyControlIsReachableAtTheMinimumSize()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    w.show();
    w.resize(w.minimumSize());
    QCOMPARE(w.size(), Frmmain::MinimumSize.boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size()));
    for (int page = 0; page < Frmmain::PageCount; ++page) {
        w.TabClick(QString::number(page + 1));
        QCoreApplication::processEvents();
        auto* scroll = qobject_cast<QScrollArea*>(w.page(page)->parentWidget()->parentWidget());
        QVERIFY(scroll);
        for (QWidget* control : w.page(page)->findChildren<QWidget*>()) {
            const bool operated = qobject_cast<QPushButton*>(control) || qobject_cast<QLineEdit*>(control)
                                  || qobject_cast<QComboBox*>(control) || qobject_cast<Grid*>(control)
                                  || control->objectName() == QLatin1String("Lbltip");
            if (!operated || !control->isVisibleTo(w.page(page)) || control->parentWidget()->inherits("QComboBox")
                || control->parentWidget()->inherits("QAbstractSpinBox"))
                continue;
            scroll->ensureWidgetVisible(control, 0, 0);
            QVERIFY2(!control->visibleRegion().isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(control->height() >= qMin(control->minimumSizeHint().height(), 20),
                     qPrintable(control->objectName()));
        }
    }
}

void OperatorScreenTest::edgesResizeTheWindow()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    w.show();
    w.setMinimumSize(400, 380);
    w.setGeometry(
        QRect(QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(20, 20), QSize(500, 400)));
    QCoreApplication::processEvents();
    const QRect before = w.geometry();
    QMap<int, WindowEdgeGrip*> grips;
    for (WindowEdgeGrip* grip : w.findChildren<WindowEdgeGrip*>()) {
        QVERIFY(grip->isVisible());
        grips.insert(int(grip->edges()), grip);
    }
    QCOMPARE(grips.size(), 8); // four edges, four corners
    WindowEdgeGrip* corner = grips.value(int(Qt::RightEdge | Qt::BottomEdge));
    QCOMPARE(corner->mapTo(&w, corner->rect().bottomRight()), w.rect().bottomRight());
    drag(corner, QPoint(-30, -40));
    QCoreApplication::processEvents();
    QCOMPARE(w.geometry(), QRect(before.topLeft(), QSize(470, 380))); // held at the minimum height
    drag(grips.value(int(Qt::LeftEdge)), QPoint(-10, 0));
    QCoreApplication::processEvents();
    QCOMPARE(w.geometry().left(), before.left() - 10);
    // Maximised, the window has no edges to drag.
    w.showMaximized();
    QCoreApplication::processEvents();
    QVERIFY(!corner->isVisible());
}

void OperatorScreenTest::shortcutsSwitchPages_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("page");
    const int ctrl = int(Qt::ControlModifier);
    // From the cardholder page (0).
    QTest::newRow("Ctrl+3") << int(Qt::Key_3) << ctrl << 2;
    QTest::newRow("Ctrl+5") << int(Qt::Key_5) << ctrl << 4;
    QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << ctrl << 1;
    // Backwards from the first page wraps to the last tab: an administrator's is the operator log.
    QTest::newRow("Ctrl+Shift+Tab wraps") << int(Qt::Key_Backtab) << (ctrl | int(Qt::ShiftModifier)) << 5;
    QTest::newRow("Ctrl+PgDown") << int(Qt::Key_PageDown) << ctrl << 1;
    QTest::newRow("Ctrl+PgUp wraps") << int(Qt::Key_PageUp) << ctrl << 5;
}

void OperatorScreenTest::shortcutsSwitchPages()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, page);
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.cardholderPage()->GridU->setFocus(); // wherever the focus is
    QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(w.currentPage(), page);
    QCOMPARE(w.ribbon()->selectedTab(), page);
    // The same path as a click: going to the cardholder page empties its search.
    w.cardholderPage()->CmbF[0]->setEditText(QStringLiteral("x"));
    QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(w.currentPage(), 0);
    QCOMPARE(w.cardholderPage()->CmbF[0]->currentText(), QString());
}

void OperatorScreenTest::rowNumberDoubleClickChoosesTheRow_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("field"); // shows column 1 of the chosen row
    QTest::newRow("cardholders") << "1"
                                 << "GridU"
                                 << "TxtName";
    QTest::newRow("terminals") << "2"
                               << "GridM"
                               << "TxtNo";
    QTest::newRow("issuing target") << "3"
                                    << "GridU2"
                                    << "txtUser";
}

void OperatorScreenTest::rowNumberDoubleClickChoosesTheRow()
{
    QFETCH(QString, tab);
    QFETCH(QString, grid);
    QFETCH(QString, field);
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.show();
    w.TabClick(tab);
    QCoreApplication::processEvents();
    auto* g = w.findChild<Grid*>(grid);
    QVERIFY(g->rows() > 4);
    QHeaderView* numbers = g->view()->verticalHeader();
    QVERIFY(numbers->isVisible());
    const int row = 3;
    QTest::mouseDClick(numbers->viewport(), Qt::LeftButton, {},
                       QPoint(numbers->width() / 2, numbers->sectionViewportPosition(row - 1) + 5));
    QCOMPARE(g->currentRow(), row);
    QCOMPARE(w.findChild<QLineEdit*>(field)->text().trimmed(), g->cellText(row, 1).trimmed());
}

void OperatorScreenTest::headerCaptionsFitInEveryLanguage()
{
    for (int language = 0; language < 3; ++language) {
        MainWindowFixture fx(language);
        int checked = 0;
        Frmmain w(*fx.context);
        for (const Grid* grid : w.findChildren<Grid*>()) {
            for (int col = 0; col < grid->cols(); ++col) {
                const auto [first, last] = grid->headerMergeOf(col);
                if (col != first || grid->isColumnHidden(col))
                    continue;
                int width = 0;
                for (int c = first; c <= last; ++c)
                    width += grid->columnWidth(c);
                QString text;
                for (int c = first; c <= last && text.isEmpty(); ++c)
                    text = grid->headerText(c);
                if (text.isEmpty())
                    continue;
                const QHeaderView* header = col == 0 ? grid->view()->verticalHeader()
                                                     : grid->view()->horizontalHeader();
                ++checked;
                QVERIFY2(captionWidth(header, text) <= width,
                         qPrintable(QStringLiteral("%1 column %2 \"%3\" in language %4: %5 > %6")
                                        .arg(grid->objectName())
                                        .arg(col)
                                        .arg(text)
                                        .arg(language)
                                        .arg(captionWidth(header, text))
                                        .arg(width)));
            }
        }
        QVERIFY(checked >= 40); // every grid's captions, none left empty
    }
}

void OperatorScreenTest::issuingListShowsTheCardNumber()
{
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.setMinimumSize(0, 0);
    w.show();
    w.TabClick(QStringLiteral("3"));
    Grid* list = w.issuingPage()->GridU2;
    for (const QSize size : {Frmmain::PreferredSize, QSize(1024, 738)}) {
        w.resize(size);
        QCoreApplication::processEvents();
        const QHeaderView* header = list->view()->horizontalHeader();
        const int section = 7 - 1; // the card number
        QVERIFY(header->sectionViewportPosition(section) >= 0);
        QVERIFY2(header->sectionViewportPosition(section) + header->sectionSize(section)
                     <= list->view()->viewport()->width(),
                 qPrintable(QStringLiteral("%1 wide").arg(size.width())));
        QCOMPARE(list->cellText(1, 7), w.cardholders().viewText(CardholderTable::IssuingPageView, 1, 7));
    }
}

void OperatorScreenTest::fileDialogsAreTitled_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("title");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<FileKind>("fileKind");
    QTest::newRow("cardholder import") << "1"
                                       << "btnInput" << 161 << Kind::OpenFile << FileKind::Workbook;
    QTest::newRow("cardholder export") << "1"
                                       << "btnEx" << 164 << Kind::SaveFile << FileKind::Export;
    QTest::newRow("terminal import") << "2"
                                     << "cmdIn" << 162 << Kind::OpenFile << FileKind::Workbook;
    QTest::newRow("terminal export") << "2"
                                     << "cmdEx" << 165 << Kind::SaveFile << FileKind::Export;
    QTest::newRow("record import") << "4"
                                   << "btnInputD" << 163 << Kind::OpenFile << FileKind::RecordFile;
    QTest::newRow("record export") << "4"
                                   << "btnOutD" << 166 << Kind::SaveFile << FileKind::Export;
}

void OperatorScreenTest::fileDialogsAreTitled()
{
    QFETCH(QString, tab);
    QFETCH(QString, button);
    QFETCH(int, title);
    QFETCH(Kind, kind);
    QFETCH(FileKind, fileKind);
    MainWindowFixture fx(2);
    Frmmain w(*fx.context);
    w.TabClick(tab);
    fx.dialogs.clear();
    w.page(tab.toInt() - 1)->findChild<QPushButton*>(button)->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, kind);
    QCOMPARE(fx.dialogs.calls[0].title, fx.context->message(title));
    QCOMPARE(fx.dialogs.calls[0].fileKind, fileKind);
}

void OperatorScreenTest::fileFoldersAreRememberedPerKind()
{
    MainWindowFixture fx; // the user's settings live in its folder
    const QString fallback = FileFolders::startFolder(FileKind::Photo);
    QVERIFY(QFileInfo(fallback).isDir());
    QVERIFY(fallback != fx.folder.path());
    QDir(fx.folder.path()).mkpath(QStringLiteral("pictures"));
    QDir(fx.folder.path()).mkpath(QStringLiteral("books"));
    const QString pictures = fx.folder.filePath(QStringLiteral("pictures"));
    const QString books = fx.folder.filePath(QStringLiteral("books"));
    FileFolders::remember(FileKind::Photo, pictures + QStringLiteral("/face.png"));
    FileFolders::remember(FileKind::Workbook, books + QStringLiteral("/staff.xls"));
    FileFolders::remember(FileKind::Workbook, QString()); // cancelled: nothing changes
    const struct
    {
        FileKind kind;
        QString folder;
    } expected[] = {{FileKind::Photo, pictures}, {FileKind::Workbook, books}, {FileKind::Export, fallback}};
    for (const auto& e : expected)
        QCOMPARE(FileFolders::startFolder(e.kind), e.folder);
    // A folder that has gone since is not offered.
    QVERIFY(QDir(books).removeRecursively());
    QCOMPARE(FileFolders::startFolder(FileKind::Workbook), fallback);
}

// At 1024 x 768 (less a panel) no page scrolls sideways in any language, and the target
// list shows name, department and phone beside the card, its scroll bar on the screen.
void OperatorScreenTest::everyPageFitsA1024Screen()
{
    for (int language = 0; language < 3; ++language) {
        MainWindowFixture fx(language);
        seed(fx);
        Frmmain w(*fx.context);
        w.setMinimumSize(0, 0);
        w.show();
        w.resize(1024, 738);
        for (int page = 0; page < Frmmain::PageCount; ++page) {
            w.TabClick(QString::number(page + 1));
            QCoreApplication::processEvents();
            auto* scroll = qobject_cast<QScrollArea*>(w.page(page)->parentWidget()->parentWidget());
            QVERIFY2(w.page(page)->minimumSizeHint().width() <= scroll->viewport()->width(),
                     qPrintable(QStringLiteral("page %1 in language %2: %3 > %4")
                                    .arg(page + 1)
                                    .arg(language)
                                    .arg(w.page(page)->minimumSizeHint().width())
                                    .arg(scroll->viewport()->width())));
        }
        w.TabClick(QStringLiteral("3"));
        QCoreApplication::processEvents();
        Grid* list = w.issuingPage()->GridU2;
        QVERIFY(list->mapTo(&w, QPoint(list->width(), 0)).x() <= w.width());
        const QHeaderView* header = list->view()->horizontalHeader();
        for (const int col : {1, 3, 6, 7}) { // name, department, phone, card
            const int left = header->sectionViewportPosition(col - 1);
            QVERIFY2(left >= 0 && left + header->sectionSize(col - 1) <= list->view()->viewport()->width(),
                     qPrintable(QStringLiteral("column %1 in language %2").arg(col).arg(language)));
        }
    }
}

// Sex, rights and weekday show whole in every language, on screen and on paper.
void OperatorScreenTest::fixedValuesFitTheirColumns()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const double px = printer.resolution() / 96.0;
    for (int language = 0; language < 3; ++language) {
        MainWindowFixture fx(language);
        Frmmain w(*fx.context);
        const QStringList sexes = {QStringLiteral("男"), QStringLiteral("女"), QStringLiteral("man"),
                                   QStringLiteral("woman")};
        const struct
        {
            Grid* grid;
            int col;
            QStringList values;
        } columns[] = {
            {w.cardholderPage()->GridU, 2, sexes},
            {w.issuingPage()->GridU2, 2, sexes},
            {w.findChild<Grid*>(QStringLiteral("GridP")), 2, {fx.context->message(62), fx.context->message(63)}},
            {w.findChild<Grid*>(QStringLiteral("GridIO")), 2, {QStringLiteral("星期三"), QStringLiteral("Wednesday")}},
        };
        for (const auto& c : columns) {
            const QFont font = c.grid->view()->font();
            const QFontMetricsF screen(font);
            const QFontMetricsF paper(font, &printer);
            for (const QString& value : c.values) {
                const QString where =
                    QStringLiteral("%1 \"%2\" in language %3").arg(c.grid->objectName(), value).arg(language);
                QVERIFY2(screen.horizontalAdvance(value) + 6 <= c.grid->columnWidth(c.col), qPrintable(where));
                QVERIFY2(paper.horizontalAdvance(value) + 6 * px <= c.grid->columnWidth(c.col) * px, qPrintable(where));
            }
        }
    }
}

// Every text of every page, the status line's success and failure included, reaches 4.5:1
// against what lies behind it, in each of the bar's themes.
void OperatorScreenTest::colouredTextsAreReadable()
{
    MainWindowFixture fx;
    // A changed operator log, so that its page shows the verdict in its warning colour.
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(audit::append(db, {QStringLiteral("admin"), QStringLiteral("desk")},
                              {QStringLiteral("holder.add"), QStringLiteral("x"), {}}));
        QVERIFY(db.exec(QStringLiteral("UPDATE 操作日志 SET 对象 = 'y'")));
    }
    Frmmain w(*fx.context);
    w.show();
    IssuingPage* issuing = w.issuingPage();
    for (int theme = 0; theme < 3; ++theme) {
        w.ribbon()->setTheme(theme);
        for (const QColor& status : {IssuingPage::SuccessColour, IssuingPage::FailureColour}) {
            issuing->showTip(QStringLiteral("0000012345"), status);
            int checked = 0;
            // Every tab: the five pages and the administrator's operator log.
            QCOMPARE(w.ribbon()->tabCount(), Frmmain::PageCount + 1);
            for (int page = 0; page < w.ribbon()->tabCount(); ++page) {
                w.ribbon()->selectTab(page);
                QCoreApplication::processEvents();
                QWidget* shown = w.page(page);
                if (!shown) {
                    auto* log = w.findChild<AuditPage*>();
                    log->verify();
                    QVERIFY(!log->LblVerdict->styleSheet().isEmpty());
                    shown = log;
                }
                for (QWidget* text : shown->findChildren<QWidget*>()) {
                    if (!(qobject_cast<QLabel*>(text) || qobject_cast<QAbstractButton*>(text)
                          || qobject_cast<QGroupBox*>(text))
                        || !text->isVisible() || !text->isEnabled())
                        continue;
                    const QPalette palette = text->palette();
                    const double ratio = contrast(palette.color(text->foregroundRole()),
                                                  palette.color(text->backgroundRole()));
                    QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 on page %2, theme %3: %4:1")
                                                          .arg(text->objectName())
                                                          .arg(page + 1)
                                                          .arg(theme)
                                                          .arg(ratio)));
                    ++checked;
                }
            }
            QVERIFY(checked > 60);
            QCOMPARE(issuing->Lbltip->palette().color(QPalette::WindowText), status);
        }
    }
}

QTEST_MAIN(OperatorScreenTest)
#include "OperatorScreenTest.moc"
