// The imports and the record deletion when the database cannot be written, and when the
// program is killed half-way: what is counted and shown is exactly what is stored, nothing
// committed is lost, and running again adds exactly what is missing.

#include "RecordFixture.h"
#include "cardholders/CardholderImport.h"
#include "cardholders/CardholderStore.h"
#include "db/DatabaseSession.h"
#include "records/RecordDeletion.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"
#include "startup/LanguageTable.h"
#include "terminals/TerminalImport.h"
#include "platform/WorkbookReader.h"

#include <QProcess>
#include <QtTest>
#include <cstdio>
#include <sqlcipher/sqlite3.h>

using namespace k27;
using test::RecordDatabase;
using test::RecordingProgress;

namespace {

enum Kind { Records, Cardholders, Terminals, Deletion };

QByteArray recordLines(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QStringLiteral("%1,C%2,2024-05-01,%3:%4:%5,星期三\r\n")
                   .arg(1 + i % 368)
                   .arg(i % 997)
                   .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                   .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    return out;
}

Workbook sheet(Kind kind, int count)
{
    Workbook book;
    book.columns = kind == Cardholders ? 9 : 2;
    for (int i = 0; i < count; ++i)
        book.rows << (kind == Cardholders
                          ? QStringList{QStringLiteral("姓名%1").arg(i), "男", "部门", "职位", "住址",
                                        QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')), "", "", ""}
                          : QStringList{QString::number(i + 1), QStringLiteral("门%1").arg(i)});
    return book;
}

QString table(Kind kind)
{
    return kind == Cardholders ? QStringLiteral("用户信息")
           : kind == Terminals ? QStringLiteral("终端机")
                               : QStringLiteral("进出记录");
}

qint64 stored(Database& db, Kind kind)
{
    return db.scalar(QStringLiteral("select count(*) from ") + table(kind)).toLongLong();
}

struct Outcome
{
    int counted = 0; // added, imported or deleted
    bool writeFailed = false;
};

// One run of the engine of `kind` over `count` lines or rows. A duplicate is skipped.
// The record file lies in `folder`.
Outcome runKind(Kind kind, Database& db, const QString& folder, int count, RecordRows& rows, ImportProgress* progress)
{
    LanguageTable language;
    switch (kind) {
    case Records: {
        QFile file(folder + QStringLiteral("/in%1.txt").arg(count));
        if (!file.exists() && (!file.open(QIODevice::WriteOnly) || file.write(recordLines(count)) < 0))
            return {};
        file.close();
        const auto r = RecordImport::run(db, file.fileName(), rows, progress);
        return {r.added, r.writeFailed};
    }
    case Cardholders: {
        CardholderImport import(db, language);
        import.setAsk([](const QString&) { return int(DuplicateAnswer::SkipAll);
    });
        import.setProgress(progress);
        const auto r = import.run(sheet(kind, count));
        return {r.imported(), r.writeFailed};
    }
case Terminals: {
    TerminalImport import(db, language);
        import.setAsk([](const QString&) { return int(DuplicateAnswer::SkipAll);
});
    import.setProgress(progress);
    const auto r = import.run(sheet(kind, count));
    return {r.imported(), r.writeFailed};
}
case Deletion: {
    bool failed = false;
    const int deleted = RecordDeletion::run(db, rows, 1, rows.rowCount(), progress, &failed);
    return {deleted, failed};
}
} // namespace
return {};
}

int refuseSecondCommit(void* calls)
{
    return ++*static_cast<int*>(calls) >= 2;
}

// Child mode: runs one import on the database given, printing each count shown.
struct PrintingProgress : ImportProgress
{
    void begin(int) override {}
    void advance(int done, int) override
    {
        std::printf("%d\n", done);
        std::fflush(stdout);
    }
    void end(int, int) override {}
};

} // namespace

class WriteFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void stopsAtTheFirstStepThatCannotBeStored_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("pageLimit"); // else the engine refuses a commit
        QTest::newRow("records, file full") << int(Records) << true;
        QTest::newRow("records, commit refused") << int(Records) << false;
        QTest::newRow("cardholders, file full") << int(Cardholders) << true;
        QTest::newRow("cardholders, commit refused") << int(Cardholders) << false;
        QTest::newRow("terminals, file full") << int(Terminals) << true;
        // A deletion needs no new pages: only a refused commit stops it.
        QTest::newRow("deletion, commit refused") << int(Deletion) << false;
    }
    void stopsAtTheFirstStepThatCannotBeStored()
    {
        QFETCH(int, kind);
        QFETCH(bool, pageLimit);
        const Kind k = Kind(kind);
        constexpr int N = 3000;
        RecordDatabase d;
        RecordRows rows;
        if (k == Deletion) {
            QCOMPARE(runKind(Records, d.db, d.folder.path(), N, rows, nullptr).counted, N);
            QCOMPARE(rows.rowCount(), N);
        }
        const qint64 before = stored(d.db, k);
        // Everything shown by the progress is stored already (seen from another connection).
        RecordingProgress progress;
        Database other;
        QVERIFY(other.open(d.folder.databasePath(), true));
        progress.onPump = [&] {
            const qint64 done = k == Deletion ? before - stored(other, k) : stored(other, k) - before;
            QVERIFY2(done >= progress.values.last(), qPrintable(QString::number(done)));
        };

        int commits = 0;
        d.db.useBulkWrites();
        if (pageLimit) {
            const qint64 pages = d.db.scalar(QStringLiteral("PRAGMA page_count")).toLongLong();
            QVERIFY(d.db.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + (k == Terminals ? 30 : 120))));
        } else {
            sqlite3_commit_hook(d.db.handle(), refuseSecondCommit, &commits);
        }
        const Outcome first = runKind(k, d.db, d.folder.path(), N, rows, &progress);
        QVERIFY(first.writeFailed);
        QVERIFY2(first.counted > 0 && first.counted < N, qPrintable(QString::number(first.counted)));
        QCOMPARE(k == Deletion ? before - stored(d.db, k) : stored(d.db, k), qint64(first.counted));
        QCOMPARE(rows.rowCount(), k == Deletion ? N - first.counted : k == Records ? first.counted : 0);
        QVERIFY(d.db.integrityCheck());

        // The summary says why the run stopped.
        LanguageTable language;
        QVERIFY(language.loadFile(d.folder.path(QStringLiteral("res/English.lag"))));
        QVERIFY(importSummary(language, 1, 0, true).endsWith(language.message(150)));

        // Again without the fault: exactly what is missing.
        sqlite3_commit_hook(d.db.handle(), nullptr, nullptr);
        QVERIFY(d.db.exec(QStringLiteral("PRAGMA max_page_count = 1073741823")));
        const Outcome second = runKind(k, d.db, d.folder.path(), N, rows, nullptr);
        QVERIFY(!second.writeFailed);
        QCOMPARE(second.counted, N - first.counted);
        QCOMPARE(stored(d.db, k), k == Deletion ? 0 : qint64(N));
    }

    // A cardholder deletion commits key by key: a refused commit ends it, and the count
    // reported is exactly what went.
    void cardholderDeletionStopsAtARefusedCommit()
    {
        RecordDatabase d;
        RecordRows rows;
        QCOMPARE(runKind(Cardholders, d.db, d.folder.path(), 10, rows, nullptr).counted, 10);
        DatabaseSession session(d.folder.databasePath());
        const CardholderStore store(session, d.folder.path(QStringLiteral("Data/img")));
        int commits = 0;
        QVERIFY(session.runs());
        sqlite3_commit_hook(session.runs()->handle(), refuseSecondCommit, &commits);
        QList<CardholderStore::Key> keys;
        for (const QStringList& row : sheet(Cardholders, 10).rows)
            keys << CardholderStore::Key{row[0], row[5]};
        bool failed = false;
        QCOMPARE(store.remove(keys, {}, &failed), 1);
        QVERIFY(failed);
        QCOMPARE(stored(d.db, Cardholders), 9);
    }

    void killedHalfWayLosesNothingShown_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("count");
        QTest::newRow("records") << int(Records) << 200000;
        QTest::newRow("cardholders") << int(Cardholders) << 60000;
        QTest::newRow("terminals") << int(Terminals) << 60000;
    }
    void killedHalfWayLosesNothingShown()
    {
        QFETCH(int, kind);
        QFETCH(int, count);
        const Kind k = Kind(kind);
        RecordDatabase d;
        if (k == Records)
            d.file(QStringLiteral("in%1.txt").arg(count), recordLines(count));
        d.db.close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("K27_WRITE_FAULT_CHILD"),
                   QStringLiteral("%1 %2 %3").arg(kind).arg(count).arg(d.folder.path()));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        int shown = 0;
        while (shown < 2000 && child.state() == QProcess::Running) {
            child.waitForReadyRead(10000);
            while (child.canReadLine())
                shown = qMax(shown, child.readLine().trimmed().toInt());
        }
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        while (child.canReadLine())
            shown = qMax(shown, child.readLine().trimmed().toInt());
        QVERIFY(shown >= 2000);

        QVERIFY(d.db.open(d.folder.databasePath()));
        QString problem;
        QVERIFY2(d.db.integrityCheck(&problem), qPrintable(problem));
        const qint64 kept = stored(d.db, k);
        QVERIFY2(kept >= shown && kept < count, qPrintable(QStringLiteral("%1 shown, %2 kept").arg(shown).arg(kept)));
        RecordRows rows;
        const Outcome again = runKind(k, d.db, d.folder.path(), count, rows, nullptr);
        QCOMPARE(qint64(again.counted), count - kept);
        QCOMPARE(stored(d.db, k), qint64(count));
    }
};

int main(int argc, char** argv)
{
    const QByteArray child = qgetenv("K27_WRITE_FAULT_CHILD");
    if (!child.isEmpty()) {
        QCoreApplication app(argc, argv);
        const QList<QByteArray> args = child.split(' ');
        const QString folder = QString::fromLocal8Bit(args.value(2));
        Database db;
        if (!db.open(folder + QStringLiteral("/Data/Data.kvd")))
            return 2;
        RecordRows rows;
        PrintingProgress progress;
        runKind(Kind(args.value(0).toInt()), db, folder, args.value(1).toInt(), rows, &progress);
        return 0;
    }
    QCoreApplication app(argc, argv);
    WriteFaultTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WriteFaultTest.moc"
