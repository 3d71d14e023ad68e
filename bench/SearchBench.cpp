// One keystroke of the cardholder search over 100,000 holders beside the plain way to find the
// same rows: one std::u16string_view::find scan over the names as the table stores them, end to
// end in one buffer, each hit mapped to its row. Then the whole keystroke as the operator sees
// it: the search, the list's new row count and its repaint. And the bytes per holder of the
// in-memory table.
#include "cardholders/CardholderTable.h"
#include "platform/Grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <string_view>
#include <vector>

using namespace k27;

namespace {
template <typename F, typename S = void (*)()>
double medianMs(
    F&& run, S&& before = [] {})
{
    std::vector<double> times;
    for (int i = 0; i < 9; ++i) {
        before();
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The rows whose text contains `needle`: find over the whole buffer, a hit mapped to its row
// by walking the row starts forward; a hit across the end of a row goes on at the next row.
std::vector<uint32_t> scanRows(const ColumnTexts& column, std::u16string_view needle)
{
    std::vector<uint32_t> rows;
    const std::u16string_view all = column.all();
    const std::vector<uint32_t>& start = column.starts();
    size_t row = 0;
    for (size_t at = all.find(needle); at != std::u16string_view::npos; at = all.find(needle, at)) {
        while (start[row + 1] <= at)
            ++row;
        if (at + needle.size() <= start[row + 1])
            rows.push_back(uint32_t(row));
        at = start[row + 1];
    }
    return rows;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int holders = 100000;
    const QString family = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
    const QString given = QStringLiteral("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰");
    QRandomGenerator random{27};
    std::vector<QStringList> source;
    source.reserve(holders);
    for (int i = 0; i < holders; ++i) {
        QString name = family[int(random.bounded(family.size()))];
        for (int n = 1 + int(random.bounded(2)); n > 0; --n)
            name += given[int(random.bounded(given.size()))];
        source.push_back({QString::number(i + 1), name, QStringLiteral("男"), QStringLiteral("技术部"),
                          QStringLiteral("工程师"), QStringLiteral("广州市天河区体育西路%1号").arg(i % 500),
                          QString::number(13800000000LL + i), i % 3 ? QString::number(1000000 + i) : QString(),
                          QStringLiteral("1"), QStringLiteral("2030-12-31")});
    }
    const size_t before = mallinfo2().uordblks;
    CardholderTable table;
    for (const QStringList& row : source)
        table.appendRow(row);
    table.squeeze();
    table.filter(CardholderTable::CardholderPageView, {}, false);
    const double perHolder = double(mallinfo2().uordblks - before) / holders;
    const auto view = CardholderTable::CardholderPageView;

    // The first key of a name (a common family name) and a key that matches no name.
    const QString typed = source[4242][1];
    const QString first = typed.left(1);
    const QString none = QStringLiteral("鑫");
    const auto u16 = [](const QString& s) {
        return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
    };
    size_t sink = 0;
    const double scanFirst = medianMs([&] { sink += scanRows(table.column(1), u16(first)).size(); });
    const double scanNone = medianMs([&] { sink += scanRows(table.column(1), u16(none)).size(); });
    if (scanRows(table.column(1), u16(first)).size() != size_t([&] {
            table.filter(view, {first}, false);
            return table.viewCount(view);
        }())) {
        std::fprintf(stderr, "the scan and the search disagree\n");
        return 1;
    }
    // Each keystroke timed alone, after the empty fields' list (the list before the first key).
    const auto emptyFields = [&] { table.filter(view, {}, false); };
    const double key = medianMs([&] { table.filter(view, {first}, false); }, emptyFields);
    const double keyNone = medianMs([&] { table.filter(view, {none}, false); }, emptyFields);
    const double name = medianMs([&] {
        for (int n = 0; n <= typed.size(); ++n)
            table.filter(view, {typed.left(n)}, false);
    });
    const double empty = medianMs([&] { table.filter(view, {}, false); });

    // The whole keystroke: the search, the list's row count, its repaint (the cardholder list's
    // columns and size as the page shows it).
    Grid grid;
    grid.setCols(10);
    const int widths[10] = {50, 80, 35, 180, 100, 200, 90, 70, 70, 100};
    for (int c = 0; c < 10; ++c)
        grid.setColumnWidth(c, widths[c]);
    grid.setColumnKind(8, Grid::ColumnKind::DropDown);
    grid.setColumnKind(9, Grid::ColumnKind::DropDown);
    grid.setCellSource([&](int row, int col) { return table.viewText(view, row, col); });
    grid.resize(1000, 560);
    grid.show();
    QApplication::processEvents();
    const auto show = [&] {
        grid.setRedraw(false);
        grid.setRows(table.viewCount(view) + 1);
        grid.setRedraw(true);
        grid.refresh();
        grid.view()->viewport()->repaint();
    };
    const double repaint = medianMs([&] { show(); });
    const double stroke = medianMs(
        [&] {
            table.filter(view, {first}, false);
            show();
        },
        [&] {
            emptyFields();
            show();
        });

    std::printf("holders                                   %d\n", holders);
    std::printf("plain scan, names end to end, first key   %8.2f ms\n", scanFirst);
    std::printf("plain scan, a key no name holds           %8.2f ms\n", scanNone);
    std::printf("search, first key                         %8.2f ms  ratio %.2f  (goal <= 1.5)\n", key,
                key / scanFirst);
    std::printf("search, a key no name holds               %8.2f ms  ratio %.2f  (goal <= 1.5)\n", keyNone,
                keyNone / scanNone);
    std::printf("typing a name (%lld keys)                   %8.2f ms  all keys\n", qlonglong(typed.size() + 1), name);
    std::printf("empty fields                              %8.2f ms\n", empty);
    std::printf("list repaint alone                        %8.2f ms\n", repaint);
    std::printf("whole keystroke: search + list + repaint  %8.2f ms  (goal <= 16 ms)\n", stroke);
    std::printf("bytes per holder                          %8.1f     (goal < 250; summed %.1f)\n", perHolder,
                double(table.memoryBytes()) / holders);
    return sink == size_t(-1);
}
