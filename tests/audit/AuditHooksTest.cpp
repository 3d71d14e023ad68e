// Every action of the stores leaves exactly one log row with the right fields, in the change's
// own transaction: a refused change leaves none, and a row the log cannot take undoes the change.
// A restore keeps the rows written since its backup; kill -9 in an import leaves the chain whole.
#include "audit/AuditBackup.h"
#include "audit/AuditTrail.h"
#include "cardholders/CardholderImport.h"
#include "cardholders/CardholderStore.h"
#include "db/Backup.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "issuing/ApplyIssuedCard.h"
#include "platform/Grid.h"
#include "records/RecordDeletion.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"
#include "ScriptedDialogs.h"
#include "signin/OperatorAccounts.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/LanguageTable.h"
#include "terminals/TerminalImport.h"
#include "terminals/TerminalRegister.h"
#include "workbook/Workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace k27;
namespace A = audit::Action;

namespace {

const QString Secret = QStringLiteral("秘密口令");
const CardholderStore::Key Holder{QStringLiteral("张三 "), QStringLiteral("13800000000")};

// A register with one cardholder, one terminal, two operators and one record, opened as the
// program opens it.
struct Env
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Data.kvd"));
    std::unique_ptr<DatabaseSession> session;
    LanguageTable language;

    Env()
    {
        createProgramDatabase(path);
        session = std::make_unique<DatabaseSession>(path);
        db().execScript(QStringLiteral(
            "INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号) VALUES ('张三 ', '男', '保卫', '门卫', '一号楼', '13800000000', '');"
            "INSERT INTO 终端机 (终端机号, 地址) VALUES (5, '东门');"
            "INSERT INTO 用户表 (name, Password, userrote, mark) VALUES ('甲', '', 1, ''), ('乙', '', 0, '');"
            "INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES ('0000000001', '2026-12-01 08:00:00', 5, '星期二')"));
        audit::setActor({QStringLiteral("甲"), QStringLiteral("desk-1")});
    }
    Database& db() { return *session->window(); }
    CardholderStore store() { return CardholderStore(*session, dir.filePath(QStringLiteral("img"))); }
    OperatorAccounts accounts() { return OperatorAccounts(*session, language); }
    qint64 rows() { return db().scalar(QStringLiteral("SELECT count(*) FROM 操作日志")).toLongLong(); }
    // Everything the register holds but the log.
    QString registerText()
    {
        QString all;
        for (const char* table : {"用户信息", "用户表", "终端机", "进出记录"})
            db().query(QStringLiteral("SELECT * FROM ") + QString::fromUtf8(table), {}, [&](const Row& r) {
                for (int c = 0; c < r.count(); ++c)
                    all += r.text(c) + u'|';
                all += u'\n';
                return true;
            });
        return all;
    }
    audit::LogRow last()
    {
        audit::LogRow row;
        db().query(QStringLiteral("SELECT 计算机, 操作员, 动作, 对象, 详情 FROM 操作日志 ORDER BY 序号 DESC LIMIT 1"),
                   {}, [&](const Row& r) {
                       row.computer = r.text(0);
                       row.operatorName = r.text(1);
                       row.action = r.text(2);
                       row.subject = r.text(3);
                       row.details = r.text(4);
                       return false;
                   });
        return row;
    }
};

using Action = std::function<bool(Env&)>;

QString writeFile(Env& env, const QString& name, const QByteArray& bytes)
{
    const QString path = env.dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

bool importRecords(Env& env)
{
    RecordRows rows;
    const QString file = writeFile(env, QStringLiteral("records.txt"),
                                   "5,0000000002,2026-12-02,08:00:00,x\n5,0000000003,2026-12-02,09:00:00,x\nbad\n");
    const RecordImport::Result result = RecordImport::run(env.db(), file, rows, nullptr);
    return result.added == 2 && !result.writeFailed;
}

bool deleteRecord(Env& env)
{
    RecordRows rows;
    rows.append(
        {QStringLiteral("2026-12-01 08:00:00"), {}, {}, {}, {}, QStringLiteral("5"), {}, QStringLiteral("0000000001")});
    return RecordDeletion::run(env.db(), rows, 1, 1, nullptr) == 1;
}

CardholderFields holderFields(const QString& department)
{
    return {QStringLiteral("张三"), QStringLiteral("男"),     department,
            QStringLiteral("门卫"), QStringLiteral("一号楼"), QStringLiteral("13800000000")};
}

bool exportList(Env& env)
{
    Grid::setOutputObserver([&env](const Grid& grid, Grid::Output kind, int rows, const QString& file) {
        audit::recordOutput(env.db(), kind == Grid::Output::Print, grid.objectName(), rows, file);
    });
    Grid grid;
    grid.setObjectName(QStringLiteral("GridM"));
    grid.setCols(3);
    grid.setRows(3);
    grid.setCellText(1, 1, QStringLiteral("5"));
    test::ScriptedDialogs dialogs;
    const bool ok = grid.exportToFile(dialogs, env.dir.filePath(QStringLiteral("terminals.csv"))).ok();
    Grid::setOutputObserver({});
    return ok;
}

// A workbook import over one new row and, when `overwrite`, one stored row, every duplicate overwritten.
template <class Import>
bool importWorkbook(Env& env, const QList<QStringList>& rows, int columns)
{
    Import import(env.db(), env.language);
    import.setAsk([](const QString&) { return int(DuplicateAnswer::OverwriteAll);
});
const bool holders = std::is_same_v<Import, CardholderImport>;
audit::ImportLog log(env.db(), holders ? A::HolderImport : A::TerminalImport,
                     holders ? A::HolderOverwrite : A::TerminalOverwrite,
                     writeFile(env, QStringLiteral("sheet.xlsx"), "PK"));
import.setObserver(&log);
Workbook sheet;
sheet.columns = columns;
sheet.rows = rows;
const auto result = import.run(sheet);
return result.imported() == rows.size() && !result.writeFailed;
} // namespace

const QStringList NewHolder{QStringLiteral("李四"),
                            QStringLiteral("女"),
                            QStringLiteral("后勤"),
                            QStringLiteral("保洁"),
                            QStringLiteral("二号楼"),
                            QStringLiteral("139"),
                            {},
                            {},
                            {}};
const QStringList StoredHolder{QStringLiteral("张三"),
                               QStringLiteral("男"),
                               QStringLiteral("后勤"),
                               QStringLiteral("门卫"),
                               QStringLiteral("一号楼"),
                               QStringLiteral("13800000000"),
                               {},
                               {},
                               {}};

} // namespace

class TestAuditHooks : public QObject
{
    Q_OBJECT

private slots:
    void everyActionLeavesOneRow_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("details"); // a part of the details
        auto row = [](const char* name, Action action, const char* code, const QString& subject,
                      const QString& details) {
            QTest::newRow(name) << action << QString::fromLatin1(code) << subject << details;
        };
        row(
            "holder added",
            [](Env& e) {
                return e.store().insert({QStringLiteral("李四"), QStringLiteral("女"), QStringLiteral("后勤"),
                                         QStringLiteral("保洁"), QStringLiteral("二号楼"), QStringLiteral("139")})
                       == CardholderStore::Done;
            },
            A::HolderAdd, QStringLiteral("李四 139"), QStringLiteral("部门:  → 后勤"));
        row(
            "holder changed",
            [](Env& e) {
                return e.store().update(Holder, holderFields(QStringLiteral("后勤"))) == CardholderStore::Done;
            },
            A::HolderChange, QStringLiteral("张三 13800000000"), QStringLiteral("部门: 保卫 → 后勤"));
        row(
            "holder photo changed",
            [](Env& e) {
                QImage photo(8, 8, QImage::Format_RGB32);
                photo.fill(Qt::red);
                return e.store().update(Holder, holderFields(QStringLiteral("保卫")), photo) == CardholderStore::Done;
            },
            A::HolderPhoto, QStringLiteral("张三 13800000000"), QStringLiteral("13800000000"));
        row(
            "holder deleted", [](Env& e) { return e.store().remove({Holder}) == 1; }, A::HolderDelete,
            QStringLiteral("张三 13800000000"), QStringLiteral("rows: 1"));
        row(
            "operator added",
            [](Env& e) {
                return e.accounts().add({QStringLiteral("丙"), Secret, Secret, false, QStringLiteral("夜班")})
                       == OperatorAccounts::Done;
            },
            A::OperatorAdd, QStringLiteral("丙"), QStringLiteral("rank: operator; remark: 夜班"));
        row(
            "operator changed",
            [](Env& e) {
                return e.accounts().change(QStringLiteral("乙"), true, QStringLiteral("组长"))
                       == OperatorAccounts::Done;
            },
            A::OperatorChange, QStringLiteral("乙"), QStringLiteral("rank: operator → administrator; remark:  → 组长"));
        row(
            "operator deleted",
            [](Env& e) {
                return e.accounts().remove({QStringLiteral("乙")}, QStringLiteral("甲")).deletedNames.size() == 1;
            },
            A::OperatorDelete, QStringLiteral("乙"), QStringLiteral("rows: 1"));
        row(
            "password changed",
            [](Env& e) { return setOperatorPassword(e.db(), QStringLiteral("乙"), hashPassword(Secret)); },
            A::OperatorPassword, QStringLiteral("乙"), QString());
        row(
            "terminal added", [](Env& e) { return TerminalRegister(e.db()).insert(7, QStringLiteral("北门")); },
            A::TerminalAdd, QStringLiteral("7"), QStringLiteral("地址: 北门"));
        row(
            "terminal changed",
            [](Env& e) { return TerminalRegister(e.db()).updateAddress(5, QStringLiteral("南门")); }, A::TerminalChange,
            QStringLiteral("5"), QStringLiteral("地址: 东门 → 南门"));
        row(
            "terminal deleted", [](Env& e) { return TerminalRegister(e.db()).remove(5); }, A::TerminalDelete,
            QStringLiteral("5"), QStringLiteral("rows: 1"));
        row("records imported", importRecords, A::RecordImport, QStringLiteral("records.txt, 74 bytes, BLAKE2b "),
            QStringLiteral("lines: 3; added: 2"));
        row("records deleted", deleteRecord, A::RecordDelete, QString(), QStringLiteral("records deleted: 1"));
        row(
            "card written",
            [](Env& e) {
                return ApplyIssuedCard(e.db(), QStringLiteral("张三"), QStringLiteral("13800000000"),
                                       QStringLiteral("0012345678"), false, {}, {})
                       == ApplyOutcome::Written;
            },
            A::CardReply, QStringLiteral("张三 13800000000"),
            QStringLiteral("card written: 0012345678; 卡号:  → 0012345678"));
        row(
            "backup made",
            [](Env& e) {
                const QString copy = e.dir.filePath(QStringLiteral("Bak01.kvd"));
                return copyDatabase(e.path, copy)
                       && !audit::noteBackup(&e.db(), copy, QStringLiteral("automatic")).isEmpty()
                       && QFile::exists(audit::headCodePath(copy));
            },
            A::Backup, QStringLiteral("Bak01.kvd"), QStringLiteral("automatic; head: "));
        row("list exported", exportList, A::Export, QStringLiteral("GridM"), QStringLiteral("rows: 2; file: "));
    }

    // A workbook import leaves one row for the file and one per stored row it overwrote.
    void workbookImports_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("codes");   // the rows, in order
        QTest::addColumn<QStringList>("details"); // a part of each
        QTest::newRow("holders") << Action([](Env& e) { return importWorkbook<CardholderImport>(e, {NewHolder}, 9); })
                                 << QStringList{A::HolderImport} << QStringList{QStringLiteral("rows: 1; imported: 1")};
        QTest::newRow("holders overwritten")
            << Action([](Env& e) {
                   return importWorkbook<CardholderImport>(e, {NewHolder, StoredHolder}, 9);
               })
            << QStringList{A::HolderOverwrite, A::HolderImport}
            << QStringList{QStringLiteral("保卫 → 后勤"), QStringLiteral("imported: 2")};
        QTest::newRow("terminals overwritten") << Action([](Env& e) {
            return importWorkbook<TerminalImport>(
                e, {{QStringLiteral("9"), QStringLiteral("西门")}, {QStringLiteral("005"), QStringLiteral("南门")}}, 2);
        }) << QStringList{A::TerminalOverwrite, A::TerminalImport}
                                               << QStringList{QStringLiteral("东门 → 南门"),
                                                              QStringLiteral("rows: 2; imported: 2")};
    }

    void workbookImports()
    {
        QFETCH(Action, action);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, details);
        Env env;
        const qint64 before = env.rows();
        QVERIFY(action(env));
        QCOMPARE(env.rows(), before + codes.size());
        for (int i = 0; i < codes.size(); ++i) {
            const qint64 n = before + 1 + i;
            QCOMPARE(env.db().scalar(QStringLiteral("SELECT 动作 FROM 操作日志 WHERE 序号 = ?"), {n}).toString(),
                     codes[i]);
            const QString text =
                env.db().scalar(QStringLiteral("SELECT 详情 FROM 操作日志 WHERE 序号 = ?"), {n}).toString();
            QVERIFY2(text.contains(details[i]), qPrintable(text));
        }
        QVERIFY(env.last().subject.startsWith(QStringLiteral("sheet.xlsx, 2 bytes, BLAKE2b ")));
    }

    void everyActionLeavesOneRow()
    {
        QFETCH(Action, action);
        QFETCH(QString, code);
        QFETCH(QString, subject);
        QFETCH(QString, details);
        Env env;
        const qint64 before = env.rows();
        QVERIFY(action(env));
        QCOMPARE(env.rows(), before + 1);
        const audit::LogRow row = env.last();
        QCOMPARE(row.action, code);
        QCOMPARE(row.operatorName, QStringLiteral("甲"));
        QCOMPARE(row.computer, QStringLiteral("desk-1"));
        QVERIFY2(row.subject.contains(subject), qPrintable(row.subject));
        QVERIFY2(row.details.contains(details), qPrintable(row.details));
        // Neither a password nor its stored form is ever written down.
        QVERIFY(!row.details.contains(Secret) && !row.details.contains(QStringLiteral("argon2")));
        QVERIFY(audit::verify(env.db()).intact());
    }

    // A refused change leaves no row; a change whose row the log refuses does not happen.
    void refusedOrRolledBackLeavesNone_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("logRefuses");
        QTest::addColumn<bool>("done"); // what the store answers: a save that changes nothing is done
        auto row = [](const char* name, Action action, bool logRefuses, bool done = false) {
            QTest::newRow(name) << action << logRefuses << done;
        };
        row(
            "duplicate holder",
            [](Env& e) { return e.store().insert(holderFields(QStringLiteral("x"))) == CardholderStore::Done; }, false);
        row(
            "holder saved unchanged",
            [](Env& e) {
                return e.store().update(Holder, holderFields(QStringLiteral("保卫"))) == CardholderStore::Done;
            },
            false, true);
        row(
            "unknown operator changed",
            [](Env& e) { return e.accounts().change(QStringLiteral("丁"), true, {}) == OperatorAccounts::Done; },
            false);
        row(
            "signed-in operator deleted",
            [](Env& e) {
                return !e.accounts().remove({QStringLiteral("甲")}, QStringLiteral("甲")).deletedNames.isEmpty();
            },
            false);
        row(
            "terminal address unchanged",
            [](Env& e) { return TerminalRegister(e.db()).updateAddress(5, QStringLiteral("东门")); }, false, true);
        row(
            "holder added, log refuses",
            [](Env& e) {
                return e.store().insert({QStringLiteral("李四"), {}, {}, {}, {}, QStringLiteral("139")})
                       == CardholderStore::Done;
            },
            true);
        row(
            "holder changed, log refuses",
            [](Env& e) {
                return e.store().update(Holder, holderFields(QStringLiteral("后勤"))) == CardholderStore::Done;
            },
            true);
        row(
            "holder deleted, log refuses", [](Env& e) { return e.store().remove({Holder}) == 1; }, true);
        row(
            "operator added, log refuses",
            [](Env& e) {
                return e.accounts().add({QStringLiteral("丙"), {}, {}, false, {}}) == OperatorAccounts::Done;
            },
            true);
        row(
            "password changed, log refuses",
            [](Env& e) { return setOperatorPassword(e.db(), QStringLiteral("乙"), hashPassword(Secret)); }, true);
        row(
            "terminal deleted, log refuses", [](Env& e) { return TerminalRegister(e.db()).remove(5); }, true);
        row("records imported, log refuses", importRecords, true);
        row("record deleted, log refuses", deleteRecord, true);
        row(
            "card written, log refuses",
            [](Env& e) {
                return ApplyIssuedCard(e.db(), QStringLiteral("张三"), QStringLiteral("13800000000"),
                                       QStringLiteral("1"), false, {}, {})
                       == ApplyOutcome::Written;
            },
            true);
    }

    void refusedOrRolledBackLeavesNone()
    {
        QFETCH(Action, action);
        QFETCH(bool, logRefuses);
        QFETCH(bool, done);
        Env env;
        if (logRefuses)
            QVERIFY(env.db().exec(QStringLiteral(
                "CREATE TRIGGER 拒绝 BEFORE INSERT ON 操作日志 BEGIN SELECT RAISE(ABORT, 'full'); END")));
        const QString before = env.registerText();
        const qint64 rows = env.rows();
        QCOMPARE(action(env), done);
        QCOMPARE(env.rows(), rows);
        if (!done) // a save of the same values may still drop the blank an add stored after the name
            QCOMPARE(env.registerText(), before);
        QVERIFY(!env.db().inTransaction());
    }

    // The rows written after a backup come back with its restore, hashed as before, and the
    // code written beside the backup still proves the chain.
    void restoreKeepsNewerRows()
    {
        Env env;
        QTemporaryDir user;
        QVERIFY(TerminalRegister(env.db()).insert(7, QStringLiteral("北门")));
        QVERIFY(manualBackup(env.path, user.path()));
        const QString copy = manualBackupPath(user.path());
        const QString code = audit::noteBackup(&env.db(), copy, QStringLiteral("manual"));
        QFile head(audit::headCodePath(copy));
        QVERIFY(head.open(QIODevice::ReadOnly) && head.readLine().trimmed() == code.toUtf8());
        QVERIFY(TerminalRegister(env.db()).remove(7));
        const audit::Verdict live = audit::verify(env.db());
        env.session->close();

        QCOMPARE(
            restoreBackup(env.path, user.path(), nullptr, nullptr,
                          [&](Database& from, Database& restored) { return audit::carryLog(from, restored, copy); }),
            RestoreResult::Restored);
        Database db;
        QVERIFY(db.open(env.path));
        const audit::Verdict restored = audit::verify(db);
        QVERIFY2(restored.intact(), qPrintable(restored.text));
        QCOMPARE(restored.count, live.count + 1);
        QVERIFY(audit::verifyAgainstHead(db, audit::headCode(live.count, live.head)).intact());
        QVERIFY(audit::verifyAgainstHead(db, code).intact());
        QCOMPARE(db.scalar(QStringLiteral("SELECT 动作 FROM 操作日志 WHERE 序号 = ?"), {live.count}).toString(),
                 QString::fromLatin1(A::TerminalDelete));
        QCOMPARE(db.scalar(QStringLiteral("SELECT 动作 FROM 操作日志 WHERE 序号 = ?"), {live.count + 1}).toString(),
                 QString::fromLatin1(A::Restore));
        // The register itself is the backup's: the terminal deleted after it is back.
        QVERIFY(db.exists(QStringLiteral("SELECT 1 FROM 终端机 WHERE 终端机号 = 7")));
    }

    void killDuringImportLeavesChainWhole()
    {
        Env env;
        QByteArray lines;
        for (int i = 0; i < 300000; ++i)
            lines += QStringLiteral("5,%1,2026-12-03,08:%2:%3,x\n")
                         .arg(i, 10, 10, QLatin1Char('0'))
                         .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                         .arg(i % 60, 2, 10, QLatin1Char('0'))
                         .toLatin1();
        const QString file = writeFile(env, QStringLiteral("big.txt"), lines);
        env.session->close();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            Database db;
            RecordRows rows;
            if (db.open(env.path))
                RecordImport::run(db, file, rows, nullptr);
            _exit(0);
        }
        QTest::qSleep(700);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        Database db;
        QVERIFY(db.open(env.path));
        const audit::Verdict v = audit::verify(db);
        QVERIFY2(v.intact(), qPrintable(v.text));
        QVERIFY(audit::append(db, {}, {QStringLiteral("x"), {}, {}}));
        QVERIFY(audit::verify(db).intact());
    }
};

QTEST_MAIN(TestAuditHooks)
#include "AuditHooksTest.moc"
