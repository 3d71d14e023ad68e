// A change seen on the other desk: 200 saves through one connection to a shared register, and
// the time until another connection's watch reports each, beside the save itself.
// Usage: k27-bench-live URL (or K27_BENCH_REGISTER=URL). It works in a schema of its own,
// dropped at the end.
#include "db/Database.h"
#include "db/RegisterWatch.h"
#include "db/Schema.h"
#include "db/ServerConnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace k27;

namespace {

constexpr int Changes = 200;
constexpr int SpacingMs = 10;

double p99(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(values.size() * 0.99))];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("K27_BENCH_REGISTER");
    if (!Database::isServerUrl(base)) {
        std::fprintf(stderr, "usage: k27-bench-live postgresql://... (or K27_BENCH_REGISTER)\n");
        return 2;
    }
    const QString schema = QStringLiteral("k27_bench_live_%1").arg(QCoreApplication::applicationPid());
    const QString url = base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("options=-csearch_path%3D")
                        + schema;
    Database admin;
    QString error;
    if (!admin.open(base) || !admin.exec(QStringLiteral("CREATE SCHEMA %1").arg(schema))
        || !createProgramDatabase(url, &error)) {
        std::fprintf(stderr, "cannot prepare the register: %s %s\n", qPrintable(admin.lastError()), qPrintable(error));
        return 1;
    }
    Database desk;
    if (!desk.open(url))
        return 1;

    RegisterWatch watch;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sent;         // ns at the start of each save
    std::vector<double> seen, saveMs; // per change
    size_t reported = 0;
    QObject::connect(&watch, &RegisterWatch::changed, [&](unsigned) {
        const qint64 now = clock.nsecsElapsed();
        for (; reported < sent.size(); ++reported)
            seen.push_back(double(now - sent[reported]) / 1e6);
        if (seen.size() == Changes)
            app.quit();
    });
    QTimer saves;
    saves.setInterval(SpacingMs);
    int done = 0;
    QObject::connect(&saves, &QTimer::timeout, [&] {
        if (done == Changes) {
            saves.stop();
            return;
        }
        const qint64 start = clock.nsecsElapsed();
        desk.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"),
                  {QStringLiteral("live%1").arg(done), QString::number(done)});
        saveMs.push_back(double(clock.nsecsElapsed() - start) / 1e6);
        sent.push_back(start);
        ++done;
    });
    watch.start(url);
    QTimer::singleShot(0, [&] {
        // Saves begin once the watch listens.
        auto* wait = new QTimer(&app);
        QObject::connect(wait, &QTimer::timeout, [&, wait] {
            if (watch.isListening()) {
                wait->stop();
                saves.start();
            }
        });
        wait->start(10);
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();

    std::printf("a change seen on the other desk: p99 %.1f ms over %zu changes (goal < 1000 ms);"
                " the save itself p99 %.1f ms (reference)\n",
                p99(seen), seen.size(), p99(saveMs));
    admin.exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
    return seen.size() == Changes && p99(seen) < 1000 ? 0 : 1;
}
