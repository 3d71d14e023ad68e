// A click that looks up a holder's permissions among 100,000, on the run's kept connection
// beside the same click opening a connection of its own (as every click once did).
#include "cardholders/CardholderStore.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "MedianTime.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace k27;

namespace {

constexpr int Holders = 100000;

using bench::medianMs;

CardholderStore::Key keyOf(int i)
{
    return {QStringLiteral("持卡人%1").arg(i), QString::number(13800000000LL + i)};
}

// Made once and kept in /tmp: the holders take a few seconds to write.
QString holderDatabase()
{
    const QString path = QDir::temp().filePath(QStringLiteral("k27-holders-%1.kvd").arg(Holders));
    if (Database::isProgramDatabase(path))
        return path;
    QFile::remove(path);
    const QString partial = path + QStringLiteral(".new");
    QFile::remove(partial);
    Database db;
    if (!createProgramDatabase(partial) || !db.open(partial) || !db.beginTransaction())
        qFatal("cannot create %s", qPrintable(partial));
    Statement insert(
        db, QStringLiteral("INSERT INTO 用户信息 (姓名, 电话, 卡号, 权限终端机, 时间期限) VALUES (?, ?, ?, ?, ?)"));
    for (int i = 0; i < Holders; ++i) {
        const CardholderStore::Key key = keyOf(i);
        if (!insert.bind(1, key.first + QLatin1Char(' '))
                 .bind(2, key.second)
                 .bind(3, QString::number(1000000 + i))
                 .bind(4, QStringLiteral("5、17、%1、").arg(i % 368 + 1))
                 .bind(5, QStringLiteral("2030-12-31、"))
                 .exec())
            qFatal("insert failed: %s", qPrintable(db.lastError()));
    }
    if (!db.commit() || !ensureLookupIndexes(db))
        qFatal("cannot finish %s", qPrintable(partial));
    db.close();
    if (!QFile::rename(partial, path))
        qFatal("cannot rename %s", qPrintable(partial));
    return path;
}

} // namespace

int main()
{
    const QString path = holderDatabase();
    DatabaseSession session(path);
    const CardholderStore kept(session, QDir::tempPath());
    int found = 0;
    const auto click = [&](const CardholderStore& store, int i) {
        found += store.permissions(keyOf(int((i * 7919LL) % Holders))).has_value();
    };
    kept.permissions(keyOf(0)); // the first use opens the connection
    const double onKept = medianMs(201, [&](int i) { click(kept, i); });
    const double perClickOpen = medianMs(21, [&](int i) {
        DatabaseSession own(path);
        click(CardholderStore(own, QDir::tempPath()), i);
    });
    const double open = medianMs(21, [&](int) {
        Database db;
        db.open(path);
    });
    std::printf("holders                          %d\n", Holders);
    std::printf("one key derivation (open)        %8.3f ms\n", open);
    std::printf("permissions click, kept conn.    %8.3f ms  (goal < 1 ms)\n", onKept);
    std::printf("permissions click, own open      %8.3f ms  ratio kept/own %.4f\n", perClickOpen,
                onKept / perClickOpen);
    return found == 0;
}
