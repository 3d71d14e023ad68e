// One keystroke of the cardholder search over 100,000 holders beside a bare substring scan of
// the same names, and the bytes per holder of the in-memory table.
#include "cardholders/CardholderTable.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

using namespace k27;

namespace {
template <typename F>
double medianMs(F&& run)
{
    std::vector<double> times;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
}

int main()
{
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

    const QString typed = source[4242][1];
    int sink = 0;
    const double bare = medianMs([&] {
        for (const QStringList& row : source)
            sink += row[1].contains(typed.left(1));
    });
    const double key = medianMs([&] {
        table.filter(CardholderTable::CardholderPageView, {}, false);
        table.filter(CardholderTable::CardholderPageView, {typed.left(1)}, false);
    });
    const double name = medianMs([&] {
        for (int n = 0; n <= typed.size(); ++n)
            table.filter(CardholderTable::CardholderPageView, {typed.left(n)}, false);
    });
    const double empty = medianMs([&] { table.filter(CardholderTable::CardholderPageView, {}, false); });
    std::printf("holders                    %d\n", holders);
    std::printf("bare substring scan        %8.2f ms\n", bare);
    std::printf("one keystroke (first)      %8.2f ms  ratio %.2f  (goal <= 2, <= 16 ms)\n", key, key / bare);
    std::printf("typing a name (%lld keys)    %8.2f ms  all keys\n", qlonglong(typed.size() + 1), name);
    std::printf("empty fields               %8.2f ms  ratio %.3f\n", empty, empty / bare);
    std::printf("bytes per holder           %8.1f     (goal < 250; summed %.1f)\n", perHolder,
                double(table.memoryBytes()) / holders);
    return sink == -1;
}
