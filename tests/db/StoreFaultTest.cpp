// The store under a full disk and under kill -9, at chosen writes of each operation: afterwards
// the files pass their integrity check, nothing committed is lost, and nothing is reported done
// that was not stored.
#include "FaultyDisk.h"
#include "StoreFiles.h"
#include "db/Backup.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "signin/OperatorAccounts.h"
#include "startup/LanguageTable.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>

using namespace k27;
using test::cardholders;
using test::FaultyDisk;
using test::fileHash;

namespace {

enum class Operation { AutomaticBackup, ManualBackup, Restore };

const QStringList LiveNames{QStringLiteral("张三"), QStringLiteral("李四")};
const QStringList BackupNames{QStringLiteral("王五"), QStringLiteral("赵六"), QStringLiteral("O'Brien")};
const QStringList OldCopyNames{QStringLiteral("旧")};

void makeDatabase(const QString& path, const QStringList& names, bool wal)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Database db;
    QVERIFY2(db.create(path), qPrintable(db.lastError()));
    QVERIFY(createProgramTables(db));
    QVERIFY(EnsureRecordTable(db));
    for (const QString& name : names)
        QVERIFY(
            db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"), {name, QStringLiteral("1")}));
    if (wal)
        QVERIFY(db.scalar(QStringLiteral("PRAGMA journal_mode=WAL")).toString() == QStringLiteral("wal"));
}

// A program folder with the live database and its oldest rotating copy Bak01 (the others newer),
// and a user data folder with a manual backup.
struct Folders
{
    QString live, user, slot, manual;

    explicit Folders(const QString& root)
        : live(root + QStringLiteral("/program/Data/Data.kvd")), user(root + QStringLiteral("/user")),
          slot(root + QStringLiteral("/program/Data/Bak01.kvd")), manual(manualBackupPath(user))
    {
    }

    void fill(const QString& templates, bool wal) const
    {
        QDir().mkpath(QFileInfo(live).absolutePath());
        QDir().mkpath(QFileInfo(manual).absolutePath());
        QFile::copy(templates + (wal ? QStringLiteral("/live-wal.kvd") : QStringLiteral("/live.kvd")), live);
        QFile::copy(templates + QStringLiteral("/backup.kvd"), manual);
        const QDateTime now = QDateTime::currentDateTime();
        for (int n = 1; n <= BackupSlotCount; ++n) {
            const QString path = QFileInfo(live).absolutePath() + u'/' + backupSlotName(n);
            QFile::copy(templates + QStringLiteral("/old.kvd"), path);
            QFile file(path);
            file.open(QIODevice::ReadWrite);
            file.setFileTime(now.addSecs(n - BackupSlotCount - 1), QFileDevice::FileModificationTime);
        }
    }
};

// Runs one operation; true when it reported success.
bool perform(Operation operation, const Folders& f)
{
    switch (operation) {
    case Operation::AutomaticBackup: return !automaticBackup(f.live).isEmpty();
    case Operation::ManualBackup: return manualBackup(f.live, f.user);
    case Operation::Restore: return restoreBackup(f.live, f.user) == RestoreResult::Restored;
    }
    return false;
}

// What must hold after the operation, whether it finished, failed or was killed.
void checkAfter(Operation operation, const Folders& f, bool reported, const QByteArray& targetBefore)
{
    QString problem;
    QVERIFY2(isSoundProgramDatabase(f.live, &problem), qPrintable(problem));
    const QString target = operation == Operation::AutomaticBackup ? f.slot : f.manual;
    switch (operation) {
    case Operation::AutomaticBackup:
    case Operation::ManualBackup:
        QCOMPARE(cardholders(f.live), LiveNames);
        if (reported) {
            QVERIFY2(isSoundProgramDatabase(target, &problem), qPrintable(problem));
            QCOMPARE(cardholders(target), LiveNames);
        } else if (fileHash(target) != targetBefore) {
            // Killed after the new copy was put in place, before it could be reported.
            QCOMPARE(cardholders(target), LiveNames);
        }
        break;
    case Operation::Restore: {
        QCOMPARE(fileHash(f.manual), targetBefore);
        const QStringList now = cardholders(f.live);
        if (reported)
            QCOMPARE(now, BackupNames);
        else
            QVERIFY2(now == LiveNames || now == BackupNames, qPrintable(now.join(u',')));
        break;
    }
    }
}

// The writes to fault: the first two, the last two and two between.
QList<int> faultPoints(int writes)
{
    QList<int> points;
    for (int at : {0, 1, writes / 3, 2 * writes / 3, writes - 2, writes - 1})
        if (at >= 0 && at < writes && !points.contains(at))
            points << at;
    return points;
}

int childMain(int argc, char** argv);

} // namespace

class StoreFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_templates.isValid());
        makeDatabase(m_templates.filePath(QStringLiteral("live.kvd")), LiveNames, false);
        makeDatabase(m_templates.filePath(QStringLiteral("live-wal.kvd")), LiveNames, true);
        makeDatabase(m_templates.filePath(QStringLiteral("backup.kvd")), BackupNames, false);
        makeDatabase(m_templates.filePath(QStringLiteral("old.kvd")), OldCopyNames, false);
        FaultyDisk::install();
    }

    void copies_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("wal");
        const std::pair<const char*, Operation> operations[] = {{"automatic backup", Operation::AutomaticBackup},
                                                                {"manual backup", Operation::ManualBackup},
                                                                {"restore", Operation::Restore}};
        for (const auto& operation : operations) {
            QTest::addRow("%s, rollback journal", operation.first) << int(operation.second) << false;
            QTest::addRow("%s, WAL", operation.first) << int(operation.second) << true;
        }
    }

    void copies()
    {
        QFETCH(int, operation);
        QFETCH(bool, wal);
        const Operation op = Operation(operation);
        int writes = 0;
        {
            QTemporaryDir dir;
            const Folders f(dir.path());
            f.fill(m_templates.path(), wal);
            FaultyDisk::arm(FaultyDisk::Fault::None, 0);
            QVERIFY(perform(op, f));
            writes = FaultyDisk::writes();
        }
        QVERIFY(writes > 0);
        for (const int at : faultPoints(writes)) {
            // The disk fills up at this write.
            {
                QTemporaryDir dir;
                const Folders f(dir.path());
                f.fill(m_templates.path(), wal);
                const QByteArray before = fileHash(op == Operation::AutomaticBackup ? f.slot : f.manual);
                FaultyDisk::arm(FaultyDisk::Fault::Full, at);
                const bool reported = perform(op, f);
                FaultyDisk::disarm();
                QVERIFY(at > 0 || !reported); // the seam works: no write, no copy
                checkAfter(op, f, reported, before);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(QStringLiteral("disk full at write %1 of %2").arg(at).arg(writes)));
            }
            // The process is killed at this write.
            {
                QTemporaryDir dir;
                const Folders f(dir.path());
                f.fill(m_templates.path(), wal);
                const QByteArray before = fileHash(op == Operation::AutomaticBackup ? f.slot : f.manual);
                QProcess child;
                child.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--child"), QString::number(operation), dir.path(), QString::number(at)});
                QVERIFY(child.waitForFinished(60000));
                const bool killed = child.exitStatus() == QProcess::CrashExit;
                const bool reported = child.readAllStandardOutput().trimmed() == "done";
                QVERIFY2(killed || reported, child.readAllStandardError().constData());
                QVERIFY(at > 0 || killed);
                checkAfter(op, f, reported, before);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(QStringLiteral("killed at write %1 of %2").arg(at).arg(writes)));
            }
        }
    }

    void operatorChangesOnAFullDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addRow("add") << QStringLiteral("add");
        QTest::addRow("change") << QStringLiteral("change");
        QTest::addRow("delete") << QStringLiteral("delete");
    }

    void operatorChangesOnAFullDisk()
    {
        QFETCH(QString, change);
        const LanguageTable language;
        for (int at = 0;; ++at) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("Data.kvd"));
            QFile::copy(m_templates.filePath(QStringLiteral("live.kvd")), path);
            DatabaseSession databases(path);
            const OperatorAccounts accounts(databases, language);
            QCOMPARE(accounts.add({QStringLiteral("甲"), {}, {}, true, QStringLiteral("a")}),
                     int(OperatorAccounts::Done));
            QCOMPARE(accounts.add({QStringLiteral("乙"), {}, {}, false, QStringLiteral("b")}),
                     int(OperatorAccounts::Done));
            const QList<OperatorListRow> before = accounts.list();

            FaultyDisk::arm(FaultyDisk::Fault::Full, at);
            QList<OperatorListRow> expected = before;
            bool done = false;
            if (change == u"add") {
                OperatorListRow row;
                done = accounts.add({QStringLiteral("丙"), QStringLiteral("p"), QStringLiteral("p"), false, {}}, &row)
                       == OperatorAccounts::Done;
                expected << row;
            } else if (change == u"change") {
                OperatorListRow row;
                done = accounts.change(QStringLiteral("乙"), true, QStringLiteral("c"), &row) == OperatorAccounts::Done;
                expected[1] = row;
            } else {
                const OperatorAccounts::DeleteResult result = accounts.remove({QStringLiteral("乙")},
                                                                              QStringLiteral("甲"));
                done = result.deletedNames == QStringList{QStringLiteral("乙")};
                expected.removeAt(1);
            }
            const bool struck = FaultyDisk::struck();
            FaultyDisk::disarm();

            QString problem;
            QVERIFY2(isSoundProgramDatabase(path, &problem), qPrintable(problem));
            // Reported done: stored. Not reported: nothing changed.
            QCOMPARE(accounts.list(), done ? expected : before);
            if (!struck) {
                QVERIFY(done);
                break; // every write of the change has been refused once
            }
        }
    }

private:
    QTemporaryDir m_templates;
};

namespace {

// The child of the kill tests: runs one operation and is killed at the given write.
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Operation operation = Operation(std::atoi(argv[2]));
    const Folders f(QString::fromLocal8Bit(argv[3])); // the parent prepared the files
    FaultyDisk::arm(FaultyDisk::Fault::Kill, std::atoi(argv[4]));
    const bool done = perform(operation, f);
    std::printf("%s\n", done ? "done" : "failed");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    StoreFaultTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StoreFaultTest.moc"
