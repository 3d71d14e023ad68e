// The window benchmark's hook: inert without its own variable, and signing in only through the
// dialog's own controls.
#include "startup/StageTiming.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace k27;

class TestStageTiming : public QObject
{
    Q_OBJECT

    static void setVariable(const char* name, const QString& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toUtf8());
    }

private slots:
    void environment_data()
    {
        QTest::addColumn<QString>("stages");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("signsIn");
        QTest::newRow("nothing set") << QString() << QString() << false << false;
        QTest::newRow("password without the bench variable") << QString() << "secret" << false << false;
        QTest::newRow("stages only") << "1" << QString() << true << false;
        QTest::newRow("stages and password") << "1"
                                             << "secret" << true << true;
    }
    void environment()
    {
        QFETCH(QString, stages);
        QFETCH(QString, password);
        QFETCH(bool, enabled);
        QFETCH(bool, signsIn);
        setVariable("K27CENTER_BENCH_STAGES", stages);
        setVariable("K27CENTER_BENCH_PASSWORD", password);
        setVariable("K27CENTER_BENCH_OPERATOR", QStringLiteral("b"));
        const StageTiming timing = StageTiming::fromEnvironment();
        QCOMPARE(timing.enabled(), enabled);
        QCOMPARE(timing.signsIn(), signsIn);
        QCOMPARE(timing.operatorName(), timing.enabled() ? QStringLiteral("b") : QString());
        // Whatever the program starts never inherits the password.
        QVERIFY(!qEnvironmentVariableIsSet("K27CENTER_BENCH_PASSWORD"));

        // Disabled, nothing is watched: no filter stays on the widget, nothing is called.
        QWidget widget;
        bool called = false;
        timing.afterFirstPaint(&widget, [&] { called = true; });
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.repaint();
        if (timing.enabled()) {
            QTRY_VERIFY(called);
        } else {
            QVERIFY(widget.findChildren<QObject*>().isEmpty());
            QTest::qWait(50);
            QVERIFY(!called);
        }
        qunsetenv("K27CENTER_BENCH_STAGES");
        qunsetenv("K27CENTER_BENCH_OPERATOR");
    }

    void signIn_data()
    {
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<int>("expectedIndex");
        QTest::addColumn<int>("result");
        QTest::newRow("first operator") << QString() << 0 << int(QDialog::Accepted);
        QTest::newRow("named operator") << QStringLiteral("管理员") << 1 << int(QDialog::Accepted);
        QTest::newRow("unknown operator: no click") << QStringLiteral("nobody") << 0 << int(QDialog::Rejected);
    }
    void signIn()
    {
        QFETCH(QString, operatorName);
        QFETCH(int, expectedIndex);
        QFETCH(int, result);
        qputenv("K27CENTER_BENCH_STAGES", "1");
        qputenv("K27CENTER_BENCH_PASSWORD", "secret");
        setVariable("K27CENTER_BENCH_OPERATOR", operatorName);
        StageTiming timing = StageTiming::fromEnvironment();
        qunsetenv("K27CENTER_BENCH_STAGES");
        qunsetenv("K27CENTER_BENCH_OPERATOR");

        QDialog dialog;
        auto* names = new QComboBox(&dialog);
        names->setObjectName(QStringLiteral("Combo1"));
        names->addItems({QStringLiteral("first"), QStringLiteral("管理员")});
        auto* password = new QLineEdit(&dialog);
        password->setObjectName(QStringLiteral("txtPassword"));
        auto* ok = new QPushButton(&dialog);
        ok->setObjectName(QStringLiteral("cmdOK"));
        QString typed;
        int chosen = -1;
        connect(ok, &QPushButton::clicked, &dialog, [&] {
            typed = password->text();
            chosen = names->currentIndex();
            dialog.accept();
        });
        // The dialog opens to its width before anything is typed.
        dialog.resize(50, 50);
        timing.signInWhenOpened(&dialog, 200);
        QTimer::singleShot(100, &dialog, [&] {
            QCOMPARE(chosen, -1);
            dialog.resize(220, 50);
        });
        QCOMPARE(dialog.exec(), result);
        if (dialog.result() == QDialog::Accepted) {
            QCOMPARE(typed, QStringLiteral("secret"));
            QCOMPARE(chosen, expectedIndex);
        } else {
            QCOMPARE(chosen, -1);
            QVERIFY(password->text().isEmpty());
        }
    }
};

QTEST_MAIN(TestStageTiming)
#include "StageTimingTest.moc"
