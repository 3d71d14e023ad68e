// The window benchmark's hook: inert without its own variable, signing in only through the
// dialog's own controls, and clicking the records page's queries in the real program.
#include "ProgramFolder.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/BenchClicks.h"
#include "startup/StageTiming.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

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

    // The real program on a small register, signed in and clicking by its hook: each result is
    // painted after its click, every click is made, and the program ends by itself.
    void programClicksRecordQueries()
    {
        test::ProgramFolder folder;
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray("\001\200\045\000\000\000", 6));
        {
            Database db;
            QVERIFY(db.open(folder.databasePath()) && EnsureRecordTable(db));
            QVERIFY(addOperator(db, {QStringLiteral("管理员"), hashPassword(QStringLiteral("pw")), true, {}}));
            // Every query finds a record: no "nothing found" box stops the clicks.
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
                                           " VALUES ('0000012341', '2024-01-02 03:04:05', 1, '星期二')")));
        }
        // COM1 is a pseudo-terminal nobody answers: no real port, and no warning box at start.
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        QDir(folder.path()).mkpath(QStringLiteral("dev"));
        QVERIFY(QFile::link(QString::fromLocal8Bit(ptsname(terminal)), folder.path(QStringLiteral("dev/COM1"))));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* place : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.insert(QLatin1String(place), folder.path(QLatin1String(place)));
        environment.insert(QStringLiteral("K27CENTER_BENCH_STAGES"), QStringLiteral("1"));
        environment.insert(QStringLiteral("K27CENTER_BENCH_PASSWORD"), QStringLiteral("pw"));
        environment.insert(QStringLiteral("K27CENTER_BENCH_CLICKS"), QStringLiteral("1"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/k27center"),
                      {QStringLiteral("--folder"), folder.path()});
        const bool ended = program.waitForFinished(120000);
        ::close(terminal);
        const QByteArray output = program.readAllStandardError();
        QVERIFY2(ended && program.exitStatus() == QProcess::NormalExit, output.constData());
        QCOMPARE(program.exitCode(), 0);

        QMap<QByteArray, qint64> clickedAt;
        QMap<QByteArray, int> painted;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() < 3 || words[0] != "k27center-stage")
                continue;
            QVERIFY2(words[1] != "clicks-impossible", output.constData());
            if (words[1].startsWith("click-"))
                clickedAt[words[1].mid(6)] = words[2].toLongLong();
            if (words[1].startsWith("painted-")) {
                const QByteArray name = words[1].mid(8);
                QVERIFY2(clickedAt.contains(name) && words[2].toLongLong() >= clickedAt.take(name), line.constData());
                ++painted[name];
            }
        }
        QVERIFY(clickedAt.isEmpty());
        QCOMPARE(painted.value("records-page"), 1);
        for (const BenchClick& click : benchClicks())
            QCOMPARE(painted.value(click.name), BenchClickRepeats);
    }
};

QTEST_MAIN(TestStageTiming)
#include "StageTimingTest.moc"
