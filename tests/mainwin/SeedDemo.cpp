// k27-demo-seed PATH: fills an existing program database with demo rows (for screenshots).
#include "DemoData.h"
#include "db/Schema.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: k27-demo-seed PATH\n");
        return 1;
    }
    k27::Database db;
    if (!db.open(QString::fromLocal8Bit(argv[1])) || !k27::EnsureRecordTable(db) || !k27::test::seedDemoData(db)) {
        std::fprintf(stderr, "k27-demo-seed: %s\n", qPrintable(db.lastError()));
        return 1;
    }
    std::printf("seeded %s\n", argv[1]);
    return 0;
}
