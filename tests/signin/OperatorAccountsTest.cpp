#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "signin/OperatorAccounts.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/LanguageTable.h"

#include <QTemporaryDir>
#include <QTest>

using namespace k27;

class OperatorAccountsTest : public QObject
{
    Q_OBJECT

    QList<OperatorRecord> table()
    {
        Database db;
        db.open(m_path);
        return loadOperators(db);
    }
    QStringList names()
    {
        QStringList out;
        for (const OperatorRecord& op : table())
            out << op.name;
        return out;
    }
    void seed(const QStringList& operatorNames)
    {
        Database db;
        QVERIFY(db.open(m_path));
        for (const QString& name : operatorNames)
            QVERIFY(addOperator(db, {name, hashPassword(QStringLiteral("pw")), false, QStringLiteral("m")}));
    }

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_path = m_dir->filePath(QStringLiteral("Data.kvd"));
        Database db;
        QVERIFY(db.create(m_path));
        QVERIFY(createProgramTables(db));
        m_language.setMessage(62, QStringLiteral("管理员用户"));
        m_language.setMessage(63, QStringLiteral("普通用户"));
        m_language.setMessage(73, QStringLiteral("管理员"));
    }

    void addStoresTrimmedValuesAndHash()
    {
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        OperatorListRow row;
        QCOMPARE(accounts.add({QStringLiteral(" 王五 "), QStringLiteral(" pw"), QStringLiteral(" pw"), false,
                               QStringLiteral(" 夜班 ")},
                              &row),
                 int(OperatorAccounts::Done));
        QCOMPARE(row, (OperatorListRow{QStringLiteral("王五"), QStringLiteral("普通用户"), QStringLiteral("夜班")}));
        const auto stored = table();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored[0].name, QStringLiteral("王五"));
        QVERIFY(!stored[0].administrator);
        QVERIFY(stored[0].password.startsWith(QStringLiteral("$argon2")));
        QVERIFY(verifyPassword(stored[0].password, QStringLiteral("pw")));
        QVERIFY(!verifyPassword(stored[0].password, QStringLiteral(" pw")));
        QCOMPARE(accounts.list(), QList<OperatorListRow>{row});

        // An empty password is stored as the empty text.
        QCOMPARE(accounts.add({QStringLiteral("nopw"), {}, {}, true, {}}), int(OperatorAccounts::Done));
        QCOMPARE(table()[1].password, QString());
        QVERIFY(table()[1].administrator);
    }

    void addRefusals()
    {
        seed({QStringLiteral("alice")});
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        QCOMPARE(accounts.add({{}, QStringLiteral("a"), QStringLiteral("a"), false, {}}),
                 int(OperatorAccounts::AddEmptyName));
        QCOMPARE(accounts.add({QStringLiteral("   "), {}, {}, false, {}}), int(OperatorAccounts::AddEmptyName));
        // Exact comparison: a leading blank in one field only differs.
        QCOMPARE(accounts.add({QStringLiteral("bob"), QStringLiteral(" pw"), QStringLiteral("pw"), false, {}}),
                 int(OperatorAccounts::PasswordsDiffer));
        QCOMPARE(accounts.add({QStringLiteral(" alice"), QStringLiteral("x"), QStringLiteral("x"), true, {}}),
                 int(OperatorAccounts::NameExists));
        QCOMPARE(names(), QStringList{QStringLiteral("alice")});
    }

    void namesWithQuotesAndWildcards()
    {
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        const QStringList odd{QStringLiteral("O'Brien"), QStringLiteral("say \"hi\""), QStringLiteral("a%b"),
                              QStringLiteral("a_b"), QStringLiteral("x'; DELETE FROM 用户表; --")};
        for (const QString& name : odd)
            QCOMPARE(accounts.add({name, QStringLiteral("p'w"), QStringLiteral("p'w"), false, {}}),
                     int(OperatorAccounts::Done));
        // Wildcards are no wildcards: "aXb" is a new name.
        QCOMPARE(accounts.add({QStringLiteral("aXb"), {}, {}, false, {}}), int(OperatorAccounts::Done));
        QCOMPARE(accounts.add({QStringLiteral("O'Brien"), {}, {}, false, {}}), int(OperatorAccounts::NameExists));
        QCOMPARE(names(), odd + QStringList{QStringLiteral("aXb")});

        OperatorListRow row;
        QCOMPARE(accounts.change(QStringLiteral("O'Brien"), true, QStringLiteral("it's"), &row),
                 int(OperatorAccounts::Done));
        QVERIFY(table()[0].administrator);
        QCOMPARE(table()[0].mark, QStringLiteral("it's"));

        const auto result = accounts.remove({QStringLiteral("a_b"), QStringLiteral("O'Brien")}, QStringLiteral("me"));
        QCOMPARE(result.message, int(OperatorAccounts::Done));
        QCOMPARE(names(), (QStringList{odd[1], odd[2], odd[4], QStringLiteral("aXb")}));
    }

    void changeRightsAndRemark()
    {
        seed({QStringLiteral("bob"), QStringLiteral("bob")});
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        const QString password = table()[0].password;
        OperatorListRow row;
        QCOMPARE(accounts.change(QStringLiteral(" bob "), true, QStringLiteral(" boss "), &row),
                 int(OperatorAccounts::Done));
        QCOMPARE(row, (OperatorListRow{QStringLiteral("bob"), QStringLiteral("管理员用户"), QStringLiteral("boss")}));
        const auto stored = table();
        QVERIFY(stored[0].administrator);
        QCOMPARE(stored[0].password, password);
        QCOMPARE(stored[0].mark, QStringLiteral("boss"));
        // Only the first of two twins changes.
        QVERIFY(!stored[1].administrator);
        QCOMPARE(stored[1].mark, QStringLiteral("m"));

        QCOMPARE(accounts.change(QStringLiteral(" "), true, {}), int(OperatorAccounts::ChangeEmptyName));
        QCOMPARE(accounts.change(QStringLiteral("nobody"), true, {}), int(OperatorAccounts::ChangeUnknownName));
    }

    void rightsText()
    {
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        QVERIFY(accounts.isAdministratorText(accounts.rightsText(true)));
        QVERIFY(!accounts.isAdministratorText(accounts.rightsText(false)));
        QVERIFY(accounts.isAdministratorText(QStringLiteral("系统管理员")));
        QVERIFY(!accounts.isAdministratorText(QString()));
    }

    void deleteSelections()
    {
        seed({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("me"), QStringLiteral("d"),
              QStringLiteral("e"), QStringLiteral("twin"), QStringLiteral("f"), QStringLiteral("twin")});
        DatabaseSession databases(m_path);
        OperatorAccounts accounts(databases, m_language);
        QList<int> handled;
        auto result = accounts.remove({QStringLiteral("a "), QStringLiteral("b"), QStringLiteral("c")},
                                      QStringLiteral("me"), [&](int i, bool deleted) {
                                          QVERIFY(deleted);
                                          handled << i;
                                      });
        QCOMPARE(result.message, int(OperatorAccounts::Done));
        QCOMPARE(handled, (QList<int>{0, 1, 2}));
        QCOMPARE(result.deletedNames, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
        QCOMPARE(names(), (QStringList{"me", "d", "e", "twin", "f", "twin"}));

        // The signed-in operator in the middle: rows above him go, he and the rows below stay.
        handled.clear();
        result = accounts.remove({QStringLiteral("e"), QStringLiteral("me"), QStringLiteral("d")}, QStringLiteral("me"),
                                 [&](int i, bool) { handled << i; });
        QCOMPARE(result.message, int(OperatorAccounts::DeleteSignedIn));
        QCOMPARE(handled, QList<int>{0});
        QCOMPARE(names(), (QStringList{"me", "d", "twin", "f", "twin"}));

        // Twins go together.
        result = accounts.remove({QStringLiteral("twin")}, QStringLiteral("me"));
        QCOMPARE(result.deletedNames, QStringList{QStringLiteral("twin")});
        QCOMPARE(names(), (QStringList{"me", "d", "f"}));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    LanguageTable m_language;
};

QTEST_GUILESS_MAIN(OperatorAccountsTest)
#include "OperatorAccountsTest.moc"
