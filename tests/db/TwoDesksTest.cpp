// Desks sharing one register: two programs at the same time lose nothing and double nothing,
// a change made from an older reading is refused, runs that must be alone say who is in the
// way, and operators are the same on every desk.
#include "../support/ProgramFolder.h"

#include "cardholders/CardholderStore.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/RegisterLock.h"
#include "db/Schema.h"
#include "db/ServerConnection.h"
#include "signin/OperatorAccounts.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/LanguageTable.h"
#include "terminals/TerminalRegister.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>
#include <QtTest>

using namespace k27;

class TwoDesksTest : public QObject
{
    Q_OBJECT

private slots:
    void twoDesksAtOnce();
    void sameRecordsImportedTwiceAtOnce();
    void changeFromOlderReadingIsRefused();
    void aloneRunNamesTheOtherComputer();
    void registerKeepsKeysUnique();
    void passwordChangedOnOneDeskCountsOnAll();
    void grantsLetARoleWorkInItsSchemaOnly();
};

namespace {

QString driver()
{
    return qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/tests/db/k27-test-desk");
}

// Runs the driver twice at the same time with these arguments after the register's URL, and
// adds up what both printed.
QMap<QString, int> runTwoDesks(const QString& url, const QStringList& a, const QStringList& b)
{
    QProcess desks[2];
    for (int d = 0; d < 2; ++d) {
        desks[d].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        desks[d].start(driver(), QStringList{url} + (d == 0 ? a : b));
    }
    QMap<QString, int> total;
    for (QProcess& desk : desks) {
        if (!desk.waitForFinished(240000) || desk.exitCode() != 0)
            total[QStringLiteral("failed")] += 1000;
        for (const QByteArray& line : desk.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.trimmed().split(' ');
            if (parts.size() == 2)
                total[QString::fromUtf8(parts[0])] += parts[1].toInt();
        }
    }
    return total;
}

qint64 number(Database& db, const QString& sql)
{
    return db.scalar(sql).toLongLong();
}

} // namespace

void TwoDesksTest::twoDesksAtOnce()
{
    if (!test::onServer())
        QSKIP("two desks share a register on a server");
    test::ProgramFolder folder;
    constexpr int Steps = 1000;
    constexpr int Groups = Steps / 4;
    const QMap<QString, int> total = runTwoDesks(folder.databasePath(), {QStringLiteral("A"), QString::number(Steps)},
                                                 {QStringLiteral("B"), QString::number(Steps)});
    for (auto it = total.cbegin(); it != total.cend(); ++it)
        QVERIFY2(!it.key().startsWith(QLatin1String("failed")) || it.value() == 0, qPrintable(it.key()));
    QCOMPARE(total.value(QStringLiteral("shared_added")), Groups);
    QCOMPARE(total.value(QStringLiteral("shared_duplicate")), Groups);
    QCOMPARE(total.value(QStringLiteral("own_added")), 2 * Groups);
    QCOMPARE(total.value(QStringLiteral("changed")), 2 * Groups);
    QCOMPARE(total.value(QStringLiteral("issued")), 2 * Groups);
    QCOMPARE(total.value(QStringLiteral("import_added")), 3 * Groups + 2 * Groups);
    QCOMPARE(total.value(QStringLiteral("import_skipped")), 3 * Groups);

    Database db;
    QVERIFY2(db.open(folder.databasePath()), qPrintable(db.lastError()));
    // Nothing doubled, nothing lost: every key once, every line of both desks stored.
    QCOMPARE(number(db, QStringLiteral("select count(*) from (select 1 from 用户信息 group by trim(姓名), trim(电话)"
                                       " having count(*) > 1) t")),
             0);
    QCOMPARE(number(db, QStringLiteral("select count(*) from 用户信息")), qint64(Groups * (1 + 2 + 3 + 2)));
    // Each shared holder was renamed, changed twice and given its group's card twice: its
    // version counts all four, and the card is on it alone.
    QCOMPARE(number(db, QStringLiteral("select count(*) from 用户信息 where 姓名 like 'S%'")), 0);
    QCOMPARE(number(db, QStringLiteral("select count(*) from 用户信息 where 姓名 like 'R%' and 版本 = 4"
                                       " and 卡号 = cast(100000 + cast(substr(姓名, 2) as integer) as text)")),
             qint64(Groups));
    QCOMPARE(number(db, QStringLiteral("select count(*) from 用户信息 where 卡号 <> ''")), qint64(Groups));
}

void TwoDesksTest::sameRecordsImportedTwiceAtOnce()
{
    if (!test::onServer())
        QSKIP("two desks share a register on a server");
    test::ProgramFolder folder;
    constexpr int Lines = 3000;
    QByteArray lines;
    for (int i = 0; i < Lines; ++i)
        lines += QStringLiteral("%1,C%2,2024-05-01,%3:%4:%5,星期三\r\n")
                     .arg(1 + i % 50)
                     .arg(i % 97)
                     .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .toUtf8();
    folder.writeFile(QStringLiteral("records.txt"), lines);
    const QStringList args{QStringLiteral("records"), folder.path(QStringLiteral("records.txt"))};
    const QMap<QString, int> total = runTwoDesks(folder.databasePath(), args, args);
    QCOMPARE(total.value(QStringLiteral("failed")), 0);
    // Every line stored once, by one desk or the other; the other skipped it.
    QCOMPARE(total.value(QStringLiteral("records_added")), Lines);
    QCOMPARE(total.value(QStringLiteral("records_skipped")), Lines);
    Database db;
    QVERIFY(db.open(folder.databasePath()));
    QCOMPARE(number(db, QStringLiteral("select count(*) from 进出记录")), qint64(Lines));
}

void TwoDesksTest::changeFromOlderReadingIsRefused()
{
    test::ProgramFolder folder;
    DatabaseSession deskA(folder.databasePath());
    DatabaseSession deskB(folder.databasePath());
    LanguageTable language;
    const CardholderStore holdersA(deskA, folder.path(QStringLiteral("Data/img")));
    const CardholderStore holdersB(deskB, folder.path(QStringLiteral("Data/img")));
    const CardholderFields zhang{QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("d"),
                                 QStringLiteral("p"),    QStringLiteral("a"),  QStringLiteral("1")};
    QCOMPARE(holdersA.insert(zhang), int(CardholderStore::Done));
    OperatorAccounts operatorsA(deskA, language);
    OperatorAccounts operatorsB(deskB, language);
    QCOMPARE(operatorsA.add({QStringLiteral("li"), {}, {}, false, {}}), int(OperatorAccounts::Done));
    TerminalRegister terminalsA(*deskA.window());
    TerminalRegister terminalsB(*deskB.window());
    QVERIFY(terminalsA.insert(7, QStringLiteral("gate")));

    // Each register's row read on desk A, changed on desk B, then changed on desk A from its
    // reading: refused, and the stored row is B's. A second try from a new reading goes in.
    struct Case
    {
        const char* name;
        std::function<qint64()> readOnA;
        std::function<bool()> changeOnB;
        std::function<int(qint64)> changeOnA; // Done, or the refusal's message
        std::function<QString()> stored;
    };
    const CardholderStore::Key key{QStringLiteral("张三"), QStringLiteral("1")};
    const QList<Case> cases{
        {"cardholder", [&] { return holdersA.read(key)->version; },
         [&] {
             CardholderFields changed = zhang;
             changed.department = QStringLiteral("B");
             const auto reading = holdersB.read(key);
             return reading && holdersB.update(key, changed, {}, &*reading) == CardholderStore::Done;
         },
         [&](qint64 version) {
             CardholderStore::Reading reading = *holdersA.read(key);
             reading.version = version;
             CardholderFields changed = zhang;
             changed.department = QStringLiteral("A");
             return holdersA.update(key, changed, {}, &reading);
         },
         [&] { return holdersA.read(key)->columns.value(2); }},
        {"operator", [&] { return operatorsA.version(QStringLiteral("li")); },
         [&] {
             return operatorsB.change(QStringLiteral("li"), false, QStringLiteral("B"), nullptr,
                                      operatorsB.version(QStringLiteral("li")))
                    == OperatorAccounts::Done;
         },
         [&](qint64 version) {
             OperatorListRow now;
             const int outcome = operatorsA.change(QStringLiteral("li"), true, QStringLiteral("A"), &now, version);
             // The refusal hands back the row as it is now.
             return outcome == OperatorAccounts::ChangedElsewhere && now.mark != QLatin1String("B") ? -2 : outcome;
         },
         [&] { return operatorsA.list().value(0).mark; }},
        {"terminal",
         [&] {
             QString address;
             qint64 version = -1;
             terminalsA.read(7, &address, &version);
             return version;
         },
         [&] {
             QString address;
             qint64 version = -1;
             return terminalsB.read(7, &address, &version) && terminalsB.updateAddress(7, QStringLiteral("B"), version);
         },
         [&](qint64 version) {
             return terminalsA.updateAddress(7, QStringLiteral("A"), version) ? 0
                    : terminalsA.changedElsewhere()                           ? int(Msg::RowChangedElsewhere)
                                                                              : -1;
         },
         [&] {
             QString address;
             qint64 version = -1;
             terminalsA.read(7, &address, &version);
             return address;
         }},
    };
    for (const Case& c : cases) {
        const qint64 read = c.readOnA();
        QVERIFY2(read >= 0, c.name);
        QVERIFY2(c.changeOnB(), c.name);
        QCOMPARE(c.changeOnA(read), int(Msg::RowChangedElsewhere));
        QCOMPARE(c.stored(), QStringLiteral("B"));
        QCOMPARE(c.changeOnA(c.readOnA()), 0);
        QCOMPARE(c.stored(), QStringLiteral("A"));
    }
}

void TwoDesksTest::aloneRunNamesTheOtherComputer()
{
    test::ProgramFolder folder;
    Database deskA;
    Database deskB;
    QVERIFY(deskA.open(folder.databasePath()));
    QVERIFY(deskB.open(folder.databasePath()));
    if (!deskA.isServer()) {
        // One writer at a time keeps the file's runs apart: nothing to take.
        QVERIFY(bool(RegisterLock(deskA, RegisterLock::Run::RecordDeletion)));
        return;
    }
    const QString here = ServerConnection::computerOf(ServerConnection::applicationName());
    QCOMPARE(here, QSysInfo::machineHostName().left(here.size()));
    {
        const RegisterLock import(deskA, RegisterLock::Run::RecordImport);
        QVERIFY(import);
        // Imports of records go side by side; a deletion and a restore wait for them.
        QVERIFY(bool(RegisterLock(deskB, RegisterLock::Run::RecordImport)));
        const RegisterLock deletion(deskB, RegisterLock::Run::RecordDeletion);
        QVERIFY(!deletion);
        QCOMPARE(deletion.holder(), here);
        const RegisterLock restore(deskB, RegisterLock::Run::Restore);
        QVERIFY(!restore);
        QCOMPARE(restore.holder(), here);
    }
    // Let go with the run (and with a desk that goes away).
    const RegisterLock deletion(deskB, RegisterLock::Run::RecordDeletion);
    QVERIFY(deletion);
    QVERIFY(!RegisterLock(deskA, RegisterLock::Run::RecordImport));
    deskB.close();
    // The server lets go once the closed desk's session has ended.
    QTRY_VERIFY(bool(RegisterLock(deskA, RegisterLock::Run::Restore)));
}

void TwoDesksTest::registerKeepsKeysUnique()
{
    if (!test::onServer())
        QSKIP("one writer at a time keeps the file's keys (rows of older files may repeat one)");
    test::ProgramFolder folder;
    DatabaseSession desk(folder.databasePath());
    Database& db = *desk.window();
    // Written around the program's own look-ups, as a desk that looked just before another
    // stored the same key: the register refuses, and the stores say "exists".
    QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话) values ('王五 ', '2')")));
    QVERIFY(!db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话) values ('王五', ' 2 ')")));
    QVERIFY(db.lastErrorDuplicateKey());
    TerminalRegister terminals(db);
    QVERIFY(terminals.insert(3, QStringLiteral("x")));
    QVERIFY(!terminals.insert(3, QStringLiteral("y")));
    QVERIFY(terminals.duplicate());
    QVERIFY(addOperator(db, {QStringLiteral("zhao"), {}, false, {}}));
    QVERIFY(!addOperator(db, {QStringLiteral("zhao "), {}, false, {}}));
    QVERIFY(db.lastErrorDuplicateKey());
}

void TwoDesksTest::passwordChangedOnOneDeskCountsOnAll()
{
    test::ProgramFolder folder;
    DatabaseSession deskA(folder.databasePath());
    DatabaseSession deskB(folder.databasePath());
    QVERIFY(addOperator(*deskA.window(), {QStringLiteral("li"), hashPassword(QStringLiteral("old")), false, {}}));
    // Desk B has read the operator before the change.
    QVERIFY(verifyPassword(findOperator(*deskB.window(), QStringLiteral("li"))->password, QStringLiteral("old")));
    QVERIFY(setOperatorPassword(*deskA.window(), QStringLiteral("li"), hashPassword(QStringLiteral("new"))));
    const QString stored = findOperator(*deskB.window(), QStringLiteral("li"))->password;
    QVERIFY(verifyPassword(stored, QStringLiteral("new")));
    QVERIFY(!verifyPassword(stored, QStringLiteral("old")));
}

// The desks' role with the GRANTs that `k27-db init` prints, for a register in a schema of its
// own (not public): rows are read and written, the tables and their version stay as they are.
void TwoDesksTest::grantsLetARoleWorkInItsSchemaOnly()
{
    if (!test::onServer())
        QSKIP("roles are the server's");
    test::ProgramFolder folder;
    Database owner;
    QVERIFY(owner.open(folder.databasePath()));
    const QString schema = owner.scalar(QStringLiteral("SELECT current_schema()")).toString();
    QVERIFY(schema != QStringLiteral("public"));
    const QString role = QStringLiteral("k27_desk_%1").arg(QCoreApplication::applicationPid());
    QVERIFY(owner.execNative(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role)));
    const auto dropRole = qScopeGuard(
        [&] { owner.execNative(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(role)); });
    QVERIFY(owner.execNative(serverGrants(role, schema)));

    Database desk;
    QVERIFY(desk.open(folder.databasePath().replace(QRegularExpression(QStringLiteral("user=[^&]*")),
                                                    QStringLiteral("user=") + role)));
    QVERIFY(desk.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (5, 'x')")));
    QVERIFY(desk.exec(QStringLiteral("UPDATE 终端机 SET 地址 = 'y' WHERE 终端机号 = 5")));
    QCOMPARE(desk.scalar(QStringLiteral("SELECT 地址 FROM 终端机")).toString(), QStringLiteral("y"));
    QVERIFY(!desk.exec(QStringLiteral("UPDATE k27_schema SET version = 0")));
    QVERIFY(!desk.execNative(QStringLiteral("CREATE TABLE other (i int)")));
    QVERIFY(!desk.execNative(QStringLiteral("TRUNCATE 终端机")));
}

QTEST_GUILESS_MAIN(TwoDesksTest)
#include "TwoDesksTest.moc"
