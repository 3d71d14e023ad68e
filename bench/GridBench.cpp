// Prints how long a virtual grid of 1,000,000 rows takes to get its row count,
// to show, and to scroll. Runs offscreen unless a platform is given.
#include "platform/Grid.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString peakMemory()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QStringLiteral("?");
}

struct NoDialogs final : k27::Dialogs
{
    void message(QWidget*, const QString&, Icon, const QString&) override {}
    bool question(QWidget*, const QString&, const QString&, DefaultAnswer) override { return false; }
    QString input(QWidget*, const QString&, const QString&, bool) override { return {}; }
    QString openFile(QWidget*, const QString&, const QString&, FileKind) override { return {}; }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&, FileKind) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool withExport = app.arguments().contains(QStringLiteral("--export"));
    constexpr int kRows = 1000000;
    constexpr int kSteps = 200;

    qint64 calls = 0;
    k27::Grid grid;
    grid.setCols(10);
    for (int c = 0; c < 10; ++c)
        grid.setHeaderText(c, QStringLiteral("列%1").arg(c));
    // The texts are made on demand, as a page answers from its own table.
    grid.setCellSource([&calls](int r, int c) {
        ++calls;
        return QStringLiteral("%1-%2").arg(r).arg(c);
    });
    grid.resize(1000, 700);
    grid.show();
    QApplication::processEvents();

    QElapsedTimer t;
    t.start();
    grid.setRedraw(false);
    grid.setRows(kRows + 1);
    grid.setRedraw(true);
    const double setRowsMs = t.nsecsElapsed() / 1e6;
    t.restart();
    grid.view()->viewport()->repaint();
    QApplication::processEvents();
    const double firstPaintMs = t.nsecsElapsed() / 1e6;
    std::printf("rows: %d data rows, cell source calls for first screen: %lld\n", grid.rows() - 1, calls);
    std::printf("setRows(%d) with redraw off/on: %.2f ms\n", kRows + 1, setRowsMs);
    std::printf("first paint: %.2f ms\n", firstPaintMs);

    QTableView* view = grid.view();
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    calls = 0;
    t.restart();
    for (int i = 0; i < kSteps; ++i) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(view, &down);
        view->viewport()->repaint();
        QApplication::processEvents();
    }
    const double pageMs = t.nsecsElapsed() / 1e6;
    std::printf("%d page-down steps: %.1f ms total, %.2f ms per step, now at row %d, %lld cell calls\n", kSteps, pageMs,
                pageMs / kSteps, grid.currentRow(), calls);

    t.restart();
    QScrollBar* bar = view->verticalScrollBar();
    for (int i = 0; i <= kSteps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / kSteps));
        view->viewport()->repaint();
        QApplication::processEvents();
    }
    const double dragMs = t.nsecsElapsed() / 1e6;
    std::printf("scroll bar dragged top to bottom in %d steps: %.1f ms total, %.2f ms per step\n", kSteps, dragMs,
                dragMs / kSteps);

    t.restart();
    grid.setRows(1);
    grid.setRows(kRows + 1);
    std::printf("shrink to 0 rows and back to %d: %.2f ms\n", kRows, t.nsecsElapsed() / 1e6);

    if (withExport) {
        QTemporaryDir dir;
        NoDialogs dialogs;
        t.restart();
        const auto r = grid.exportToFile(dialogs, dir.filePath(QStringLiteral("million.csv")));
        std::printf("csv export of %d rows: %s, %.0f ms\n", kRows, r.ok() ? "ok" : qPrintable(r.reason),
                    t.nsecsElapsed() / 1e6);
        grid.setRows(1000000); // a worksheet holds 1,048,576 rows
        t.restart();
        const auto x = grid.exportToFile(dialogs, dir.filePath(QStringLiteral("million.xlsx")));
        std::printf("xlsx export of %d rows: %s, %.0f ms\n", grid.rows() - 1, x.ok() ? "ok" : qPrintable(x.reason),
                    t.nsecsElapsed() / 1e6);
    }
    std::printf("peak memory: %s\n", qPrintable(peakMemory()));
    return 0;
}
