#include "audit/AuditTrail.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "signin/FrmLogin.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/AppContext.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace k27;
using test::ProgramFolder;
using test::ScriptedDialogs;

namespace {

// A program folder, a context in the chosen language and the operators to start with.
struct Fixture
{
    explicit Fixture(int language = 0, const QList<OperatorRecord>& operators = {}) : ctx(folder.path(), dialogs)
    {
        ctx.settings.language = quint8(language);
        ctx.loadLanguage();
        Database db;
        db.open(folder.databasePath());
        for (const OperatorRecord& op : operators)
            addOperator(db, op);
    }
    QList<OperatorRecord> stored()
    {
        Database db;
        db.open(folder.databasePath());
        return loadOperators(db);
    }
    ProgramFolder folder;
    ScriptedDialogs dialogs;
    AppContext ctx;
};

template <typename W>
W* child(QWidget& w, const char* name)
{
    return w.findChild<W*>(QString::fromLatin1(name));
}

void click(QWidget& w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

} // namespace

class TestSignIn : public QObject
{
    Q_OBJECT

private slots:
    void passwordStorage()
    {
        const QString stored = hashPassword(QStringLiteral("Secret1"));
        QVERIFY(stored.startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(!stored.contains(QStringLiteral("Secret1")));
        QVERIFY(hashPassword(QStringLiteral("Secret1")) != stored); // salted
        QVERIFY(verifyPassword(stored, QStringLiteral("Secret1")));
        QVERIFY(!verifyPassword(stored, QStringLiteral("secret1")));
        QVERIFY(!verifyPassword(stored, QStringLiteral("Secret1 ")));
        QVERIFY(!verifyPassword(stored, QString()));
        // The empty password.
        QCOMPARE(hashPassword(QString()), QString());
        QVERIFY(verifyPassword(QString(), QString()));
        QVERIFY(verifyPassword(QStringLiteral("   "), QString()));
        QVERIFY(!verifyPassword(QString(), QStringLiteral("x")));
        // Chinese passwords and the old shifted form ("c" stored as "a").
        QVERIFY(verifyPassword(hashPassword(QStringLiteral("密码")), QStringLiteral("密码")));
        QVERIFY(verifyPassword(QStringLiteral(" a1 "), QStringLiteral("c3")));
    }

    void firstUseCreatesAdministrator()
    {
        Fixture f;
        FrmLogin dlg(f.ctx);
        dlg.show();
        QVERIFY(dlg.isFirstUse());
        QVERIFY(!child<QComboBox>(dlg, "Combo1")->isVisible());
        QVERIFY(child<QLineEdit>(dlg, "TxtName")->isVisible());
        QVERIFY(!child<QPushButton>(dlg, "cmdGg")->isVisible());
        QCOMPARE(child<QLabel>(dlg, "Lbl1")->text(), f.ctx.message(14));

        click(dlg, "cmdOK"); // no name
        QCOMPARE(f.dialogs.messageTexts(), QStringList{f.ctx.message(6)});
        QCOMPARE(f.dialogs.calls.last().icon, Dialogs::Icon::Error);

        child<QLineEdit>(dlg, "TxtName")->setText(QStringLiteral("  王管理 "));
        child<QLineEdit>(dlg, "txtPassword")->setText(QStringLiteral("pw1"));
        f.dialogs.inputAnswers = {QStringLiteral("pw2")};
        click(dlg, "cmdOK"); // confirmation differs
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(9));
        QCOMPARE(f.dialogs.calls[f.dialogs.calls.size() - 2].text, f.ctx.message(7));
        QCOMPARE(f.dialogs.calls[f.dialogs.calls.size() - 2].title, f.ctx.message(8));
        QVERIFY(f.stored().isEmpty());

        f.dialogs.inputAnswers = {QStringLiteral("pw1")};
        click(dlg, "cmdOK");
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(11));
        QCOMPARE(f.dialogs.calls.last().icon, Dialogs::Icon::Information);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.ctx.signedIn.name, QStringLiteral("王管理"));
        QVERIFY(f.ctx.signedIn.isAdministrator);

        const auto ops = f.stored();
        QCOMPARE(ops.size(), 1);
        QCOMPARE(ops[0].name, QStringLiteral("王管理"));
        QVERIFY(ops[0].administrator);
        QCOMPARE(ops[0].mark, f.ctx.message(10));
        QVERIFY(!ops[0].password.contains(QStringLiteral("pw1")));
        QVERIFY(verifyPassword(ops[0].password, QStringLiteral("pw1")));

        // The next start signs the new operator in.
        f.dialogs.clear();
        FrmLogin again(f.ctx);
        QVERIFY(!again.isFirstUse());
        QCOMPARE(child<QComboBox>(again, "Combo1")->currentText(), QStringLiteral("王管理"));
        child<QLineEdit>(again, "txtPassword")->setText(QStringLiteral("pw1"));
        click(again, "cmdOK");
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QVERIFY(f.dialogs.calls.isEmpty());
    }

    // A first start asks the language before the first operator and keeps it in AppSet.dat;
    // a folder whose register already existed goes straight to the operator.
    void firstStartAsksTheLanguage()
    {
        Fixture f;
        f.ctx.firstStart = true;
        FrmLogin dlg(f.ctx);
        dlg.show();
        QVERIFY(dlg.isChoosingLanguage());
        auto* cmbLag = child<QComboBox>(dlg, "CmbLag");
        QVERIFY(cmbLag->isVisible());
        QCOMPARE(cmbLag->count(), 3);
        QVERIFY(!child<QLineEdit>(dlg, "TxtName")->isVisible());
        for (int language : {2, 1, 2}) {
            cmbLag->setCurrentIndex(language);
            QCOMPARE(int(f.ctx.settings.language), language);
            QCOMPARE(child<QLabel>(dlg, "Lbl1")->text(), f.ctx.message(170));
            QCOMPARE(dlg.windowTitle(),
                     language == 2 ? QStringLiteral("Operator sign-in") : QStringLiteral("用戶登錄"));
        }
        QCOMPARE(child<QPushButton>(dlg, "cmdOK")->text(), QStringLiteral("OK"));
        click(dlg, "cmdOK");
        QVERIFY(!dlg.isChoosingLanguage());
        QVERIFY(f.dialogs.calls.isEmpty());
        QCOMPARE(f.folder.readFile(QStringLiteral("AppSet.dat")), (AppSettings{0, 0, 2}.toBytes()));
        QVERIFY(child<QLineEdit>(dlg, "TxtName")->isVisible());
        QVERIFY(!cmbLag->isVisible());
        QCOMPARE(child<QLabel>(dlg, "Lbl1")->text(), QStringLiteral("First use: create the administrator"));

        Fixture existing;
        FrmLogin plain(existing.ctx);
        QVERIFY(!plain.isChoosingLanguage());
        QVERIFY(!child<QComboBox>(plain, "CmbLag"));
    }

    void thirdFailureEndsTheProgram()
    {
        Fixture f(0, {{QStringLiteral("amy"), hashPassword(QStringLiteral("Right")), false, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        auto* pw = child<QLineEdit>(dlg, "txtPassword");
        for (const char* wrong : {"right", "Right ", ""}) {
            pw->setText(QString::fromLatin1(wrong));
            click(dlg, "cmdOK");
        }
        const QString m12 = f.ctx.message(12), m13 = f.ctx.message(13);
        QCOMPARE(f.dialogs.messageTexts(), (QStringList{m12, m12, m12, m13}));
        QCOMPARE(dlg.failureCount(), 3);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(!f.ctx.signedIn.isAdministrator);
    }

    void passwordChangedOnAnotherDeskCounts()
    {
        // The dialog is open with the name chosen when another desk changes the password.
        Fixture f(0, {{QStringLiteral("amy"), hashPassword(QStringLiteral("old")), false, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        {
            Database otherDesk;
            QVERIFY(otherDesk.open(f.folder.databasePath()));
            QVERIFY(setOperatorPassword(otherDesk, QStringLiteral("amy"), hashPassword(QStringLiteral("new"))));
        }
        auto* pw = child<QLineEdit>(dlg, "txtPassword");
        pw->setText(QStringLiteral("old"));
        click(dlg, "cmdOK");
        QCOMPARE(f.dialogs.messageTexts(), QStringList{f.ctx.message(12)});
        pw->setText(QStringLiteral("new"));
        click(dlg, "cmdOK");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void twoFailuresThenSuccess()
    {
        audit::setActor({}); // nobody has signed in in this run yet
        Fixture f(0, {{QStringLiteral("amy"), hashPassword(QStringLiteral("a")), true, {}},
                      {QStringLiteral("bob"), QString(), false, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        auto* combo = child<QComboBox>(dlg, "Combo1");
        QCOMPARE(combo->count(), 2);
        combo->setCurrentIndex(1); // bob, whose password is empty
        QCOMPARE(f.ctx.signedIn.name, QStringLiteral("bob"));
        auto* pw = child<QLineEdit>(dlg, "txtPassword");
        pw->setText(QStringLiteral("x"));
        click(dlg, "cmdOK");
        pw->setText(QStringLiteral(" "));
        click(dlg, "cmdOK");
        QCOMPARE(pw->selectedText(), QStringLiteral(" ")); // the wrong text is selected for retyping
        pw->clear();
        click(dlg, "cmdOK");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.dialogs.messageTexts().size(), 2);
        QCOMPARE(f.ctx.signedIn.name, QStringLiteral("bob"));
        QVERIFY(!f.ctx.signedIn.isAdministrator);
        // The log names the operator tried each time, and the operator acts from the sign-in's own row on.
        Database db;
        db.open(f.folder.databasePath());
        QStringList rows;
        db.query(QStringLiteral("SELECT 动作, 操作员, 对象 FROM 操作日志 WHERE 动作 LIKE 'signin%' ORDER BY 序号"), {},
                 [&](const Row& r) {
                     rows << r.text(0) + u'/' + r.text(1) + u'/' + r.text(2);
                     return true;
                 });
        QCOMPARE(rows, (QStringList{QStringLiteral("signin.failed//bob"), QStringLiteral("signin.failed//bob"),
                                    QStringLiteral("signin/bob/bob")}));
    }

    void passwordChange()
    {
        Fixture f(0, {{QStringLiteral("amy"), hashPassword(QStringLiteral("old")), true, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        auto* gg = child<QPushButton>(dlg, "cmdGg");
        QCOMPARE(gg->text(), QStringLiteral(">>"));
        dlg.resize(282, 210);
        click(dlg, "cmdGg");
        QCOMPARE(dlg.width(), 516);
        QCOMPARE(gg->text(), QStringLiteral("<<"));
        const auto* line1 = child<QFrame>(dlg, "Line1");
        QCOMPARE(line1->geometry().right() + 1, 504);

        child<QLineEdit>(dlg, "TxtOld")->setText(QStringLiteral("wrong"));
        click(dlg, "CmdChg");
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(2));
        QCOMPARE(f.dialogs.calls.last().icon, Dialogs::Icon::Warning);

        child<QLineEdit>(dlg, "TxtOld")->setText(QStringLiteral(" old "));
        child<QLineEdit>(dlg, "Txt1")->setText(QStringLiteral("new1"));
        child<QLineEdit>(dlg, "Txt2")->setText(QStringLiteral("new2"));
        click(dlg, "CmdChg");
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(3));

        // Blanks around the text and whatever follows a NUL do not count.
        child<QLineEdit>(dlg, "Txt1")->setText(QStringLiteral(" new1 "));
        child<QLineEdit>(dlg, "Txt2")->setText(QStringLiteral("new1") + QChar(u'\0') + QStringLiteral("tail"));
        click(dlg, "CmdChg");
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(4));
        QCOMPARE(f.dialogs.calls.last().icon, Dialogs::Icon::Information);
        QVERIFY(verifyPassword(f.stored()[0].password, QStringLiteral("new1")));
        QVERIFY(!verifyPassword(f.stored()[0].password, QStringLiteral("old")));

        click(dlg, "cmdGg");
        QCOMPARE(dlg.width(), 282);
        QCOMPARE(gg->text(), QStringLiteral(">>"));

        child<QLineEdit>(dlg, "txtPassword")->setText(QStringLiteral("new1"));
        click(dlg, "cmdOK");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void changeAreaByKeyboard()
    {
        Fixture f(0, {{QStringLiteral("amy"), hashPassword(QStringLiteral("old")), true, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        const QStringList changeArea = {QStringLiteral("TxtOld"), QStringLiteral("Txt1"), QStringLiteral("Txt2"),
                                        QStringLiteral("CmdChg")};
        const auto tabWalk = [&dlg] {
            child<QLineEdit>(dlg, "txtPassword")->setFocus();
            QStringList reached;
            for (int i = 0; i < 12; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                reached << QApplication::focusWidget()->objectName();
            }
            return reached;
        };
        // Closed, Tab never walks into the fields beyond the dialog's edge; open, it does.
        for (const bool open : {false, true}) {
            const QStringList reached = tabWalk();
            for (const QString& name : changeArea)
                QVERIFY2(reached.contains(name) == open, qPrintable(name + u' ' + reached.join(u',')));
            click(dlg, "cmdGg");
        }
        click(dlg, "cmdGg");
        // Enter in the change area changes the password: no sign-in, no failure counted.
        for (const char* field : {"TxtOld", "Txt1", "Txt2"}) {
            f.dialogs.clear();
            child<QLineEdit>(dlg, field)->setFocus();
            QTest::keyClick(child<QLineEdit>(dlg, field), Qt::Key_Return);
            QCOMPARE(f.dialogs.messageTexts(), QStringList{f.ctx.message(2)});
            QCOMPARE(dlg.failureCount(), 0);
            QVERIFY(dlg.isVisible());
        }
    }

    void nothingStoredIsNeverReportedAsDone()
    {
        // The first operator cannot be stored: no sign-in on an account that does not exist.
        Fixture first;
        {
            Database db;
            QVERIFY(db.open(first.folder.databasePath()));
            QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON 用户表 "
                                           "BEGIN SELECT RAISE(ABORT, 'full'); END")));
        }
        FrmLogin dlg(first.ctx);
        child<QLineEdit>(dlg, "TxtName")->setText(QStringLiteral("amy"));
        child<QLineEdit>(dlg, "txtPassword")->setText(QStringLiteral("pw"));
        first.dialogs.inputAnswers = {QStringLiteral("pw")};
        click(dlg, "cmdOK");
        QCOMPARE(first.dialogs.calls.last().text, first.ctx.message(141));
        QCOMPARE(first.dialogs.calls.last().icon, Dialogs::Icon::Error);
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!first.ctx.signedIn.isAdministrator);

        // The operator was deleted while the dialog was open: the change is not reported done.
        Fixture f(0, {{QStringLiteral("bob"), hashPassword(QStringLiteral("old")), false, {}}});
        FrmLogin change(f.ctx);
        {
            Database db;
            QVERIFY(db.open(f.folder.databasePath()));
            QVERIFY(db.exec(QStringLiteral("DELETE FROM 用户表")));
        }
        child<QLineEdit>(change, "TxtOld")->setText(QStringLiteral("old"));
        child<QLineEdit>(change, "Txt1")->setText(QStringLiteral("new"));
        child<QLineEdit>(change, "Txt2")->setText(QStringLiteral("new"));
        click(change, "CmdChg");
        QCOMPARE(f.dialogs.calls.last().text, f.ctx.message(141));
        QVERIFY(!f.dialogs.messageTexts().contains(f.ctx.message(4)));
    }

    void namesWithQuotes()
    {
        Fixture f(0, {{QStringLiteral("O'Neil \"Jr\""), hashPassword(QStringLiteral("p")), true, {}}});
        FrmLogin dlg(f.ctx);
        QVERIFY(f.ctx.signedIn.isAdministrator);
        child<QLineEdit>(dlg, "txtPassword")->setText(QStringLiteral("p"));
        click(dlg, "cmdOK");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.ctx.signedIn.name, QStringLiteral("O'Neil \"Jr\""));
    }

    void captionsAndClose()
    {
        Fixture f(2, {{QStringLiteral("amy"), QString(), false, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        QVERIFY(!child<QPushButton>(dlg, "cmdOK")->text().contains(QStringLiteral("确")));
        QVERIFY(!child<QLabel>(dlg, "Lbl2")->text().contains(QStringLiteral("用户")));
        dlg.close(); // the window manager's close is Cancel
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void openingAnimationGrowsToFullSize()
    {
        Fixture f(0, {{QStringLiteral("amy"), QString(), false, {}}});
        FrmLogin dlg(f.ctx);
        dlg.show();
        QCOMPARE(dlg.size(), QSize(28, 21));
        dlg.playOpeningAnimation();
        QCOMPARE(dlg.size(), QSize(282, 210));
    }
};

QTEST_MAIN(TestSignIn)
#include "SignInTest.moc"
