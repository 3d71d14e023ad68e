// A program folder that uses a register on a shared server: the choice kept beside the
// settings, the faults of a server that cannot be used, the password asked at start.
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "TestRegister.h"
#include "db/DatabaseSession.h"
#include "db/ServerConnection.h"
#include "db/ServerWait.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "startup/LanguageTable.h"
#include "startup/RegisterChoice.h"
#include "startup/ServerWaitDialog.h"
#include "startup/Startup.h"

#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace k27;
using test::ProgramFolder;
using test::ScriptedDialogs;

namespace {

// A server on 127.0.0.1 that speaks just enough of the protocol to refuse: it declines TLS,
// asks for a password in clear and refuses whatever comes, keeping what it was given.
class RefusingServer
{
public:
    RefusingServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(m_socket, 4);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~RefusingServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_socket);
    }
    int port() const { return m_port; }
    QStringList passwords() const
    {
        std::lock_guard lock(m_mutex);
        return m_passwords;
    }

private:
    static bool readAll(int fd, char* data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::read(fd, data, size);
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return true;
    }
    static quint32 number(const char* data) { return qFromBigEndian<quint32>(data); }

    void serve()
    {
        while (!m_stop) {
            pollfd wait{m_socket, POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            const int fd = ::accept(m_socket, nullptr, nullptr);
            talk(fd);
            ::close(fd);
        }
    }
    void talk(int fd)
    {
        for (;;) { // requests for TLS or GSS encryption are declined, then the start message
            char head[8];
            if (!readAll(fd, head, 8))
                return;
            QByteArray rest(int(number(head)) - 8, '\0');
            if (!readAll(fd, rest.data(), size_t(rest.size())))
                return;
            const quint32 code = number(head + 4);
            if (code != 80877103 && code != 80877104)
                break;
            if (::write(fd, "N", 1) != 1)
                return;
        }
        const char askClear[] = {'R', 0, 0, 0, 8, 0, 0, 0, 3};
        if (::write(fd, askClear, sizeof askClear) != ssize_t(sizeof askClear))
            return;
        char head[5];
        if (!readAll(fd, head, 5) || head[0] != 'p')
            return;
        QByteArray password(int(number(head + 1)) - 4, '\0');
        if (!readAll(fd, password.data(), size_t(password.size())))
            return;
        {
            std::lock_guard lock(m_mutex);
            m_passwords << QString::fromUtf8(password.constData());
        }
        QByteArray fields = QByteArray("SFATAL") + '\0' + "C28P01" + '\0'
                            + "Mpassword authentication failed for user \"k27\"" + '\0' + '\0';
        QByteArray error = "E" + QByteArray(4, '\0') + fields;
        qToBigEndian<quint32>(quint32(fields.size() + 4), error.data() + 1);
        [[maybe_unused]] const ssize_t written = ::write(fd, error.constData(), size_t(error.size()));
    }

    int m_socket = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QStringList m_passwords;
};

QByteArray folderBytes(const QString& folder)
{
    QByteArray all;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

} // namespace

class ServerStartTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The tests give every password themselves.
        qputenv("PGPASSFILE", "/nonexistent/pgpass");
    }

    void choiceMakesTheUrl_data()
    {
        QTest::addColumn<RegisterChoice>("choice");
        QTest::addColumn<QString>("url");
        const auto server = [](QString host, QString port, QString database, QString user, QString tls, QString ca) {
            return RegisterChoice{true, host, port, database, user, tls, ca};
        };
        QTest::newRow("this computer") << RegisterChoice{} << QString();
        QTest::newRow("host and port") << server("db.site", "5433", "k27", "k27", "require", "/ignored")
                                       << "postgresql://k27@db.site:5433/k27?sslmode=require";
        QTest::newRow("verify-full with CA")
            << server("db.site", "", "k27", "k27", "verify-full", "/etc/k27/ca.crt")
            << "postgresql://k27@db.site/k27?sslmode=verify-full&sslrootcert=%2Fetc%2Fk27%2Fca.crt";
        QTest::newRow("names stay names") << server("db.site", "", "a/b?c", "me@x", "disable", "")
                                          << "postgresql://me%40x@db.site/a%2Fb%3Fc?sslmode=disable";
        QTest::newRow("IPv6") << server("::1", "5432", "k27", "", "require", "")
                              << "postgresql://[::1]:5432/k27?sslmode=require";
        QTest::newRow("socket folder") << server("/run/postgresql", "5432", "k27", "k27", "bogus", "")
                                       << "postgresql://k27@/k27?host=%2Frun%2Fpostgresql&port=5432&sslmode=require";
    }
    void choiceMakesTheUrl()
    {
        QFETCH(RegisterChoice, choice);
        QTEST(choice.url(), "url");
        // Kept and read back as it was, owner-only, with no password anywhere.
        QTemporaryDir dir;
        const QString path = registerChoicePath(dir.path());
        QVERIFY(writeRegisterChoice(path, choice));
        RegisterChoice back = readRegisterChoice(path);
        if (!RegisterChoice::tlsModes().contains(choice.tls))
            choice.tls = QStringLiteral("require");
        QCOMPARE(back, choice);
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    }

    void faultsClassified_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("fault");
        const auto row = [](const char* name, const char* message, Database::Fault fault) {
            QTest::newRow(name) << QString::fromUtf8(message) << int(fault);
        };
        row("no password", "fe_sendauth: no password supplied", Database::Fault::Password);
        row("wrong password",
            "connection to server at \"db\" (10.0.0.5), port 5432 failed: FATAL:  password authentication failed for "
            "user \"k27\"",
            Database::Fault::Password);
        row("peer", "FATAL:  Peer authentication failed for user \"k27\"", Database::Fault::Password);
        row("no TLS on the server", "server does not support SSL, but SSL was required", Database::Fault::Tls);
        row("unknown CA", "SSL error: certificate verify failed", Database::Fault::Tls);
        row("no CA file",
            "root certificate file \"/x/ca.crt\" does not exist\nEither provide the file or change sslmode to "
            "disable server certificate verification.",
            Database::Fault::Tls);
        row("server wants TLS",
            "FATAL:  no pg_hba.conf entry for host \"10.0.0.7\", user \"k27\", database \"k27\", no encryption",
            Database::Fault::Tls);
        row("refused",
            "connection to server at \"db\" (10.0.0.5), port 5432 failed: Connection refused\n\tIs the server "
            "running on that host and accepting TCP/IP connections?",
            Database::Fault::Unreachable);
        row("host named like TLS", "could not translate host name \"sslgw.site\" to address: Name or service not known",
            Database::Fault::Unreachable);
        row("no socket", "connection to server on socket \"/tmp/x/.s.PGSQL.1\" failed: No such file or directory",
            Database::Fault::Unreachable);
        row("no route", "connection to server at \"db\" failed: No route to host", Database::Fault::Unreachable);
        row("starting up", "FATAL:  the database system is starting up", Database::Fault::Unreachable);
        row("timeout", "timeout expired", Database::Fault::Unreachable);
        row("no database", "FATAL:  database \"k28\" does not exist", Database::Fault::Other);
    }
    void faultsClassified()
    {
        QFETCH(QString, message);
        QTEST(int(ServerConnection::classify(message)), "fault");
    }

    // Nothing of the file's start happens; the question offers to try again until No.
    void unreachableServerAsksAgain()
    {
        ProgramFolder folder(false);
        QTemporaryDir nowhere;
        const RegisterChoice choice{true,
                                    nowhere.path(),
                                    QStringLiteral("1"),
                                    QStringLiteral("k27"),
                                    QStringLiteral("k27"),
                                    QStringLiteral("disable"),
                                    QString()};
        QVERIFY(writeRegisterChoice(registerChoicePath(folder.path()), choice));
        ScriptedDialogs dialogs;
        dialogs.questionAnswers = {true, false};
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Exit);
        QCOMPARE(ctx.registerLocation(), choice.url());
        QCOMPARE(dialogs.calls.size(), 2);
        for (const ScriptedDialogs::Call& call : dialogs.calls) {
            QCOMPARE(call.kind, ScriptedDialogs::Kind::Question);
            QVERIFY(call.text.startsWith(ctx.message(Msg::ServerUnreachable) + u'\n'));
            QVERIFY(call.text.endsWith(u'\n' + ctx.message(Msg::ServerTryAgain)));
        }
        QVERIFY(!QFile::exists(ctx.databasePath()));
        QVERIFY(!QFile::exists(ctx.databaseMarkerPath()));
    }

    // A password libpq lacks is asked for, reaches the server, and a refused one is said so;
    // none of it is written anywhere.
    void passwordAskedAndRefused()
    {
        RefusingServer server;
        ProgramFolder folder(false);
        ScriptedDialogs dialogs;
        dialogs.inputAnswers = {QStringLiteral("s3cret-1"), QString()};
        AppContext ctx(folder.path(), dialogs);
        ctx.setRegister(
            QStringLiteral("postgresql://k27@127.0.0.1:%1/k27?sslmode=disable&gssencmode=disable").arg(server.port()));
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Exit);
        QCOMPARE(server.passwords(), QStringList{QStringLiteral("s3cret-1")});
        QCOMPARE(dialogs.calls.size(), 2);
        QCOMPARE(dialogs.calls[0].kind, ScriptedDialogs::Kind::Input);
        QVERIFY(!dialogs.calls[0].text.contains(ctx.message(Msg::ServerPassword)));
        QVERIFY(dialogs.calls[1].text.startsWith(ctx.message(Msg::ServerPassword) + u'\n'));
        QVERIFY(!folderBytes(folder.path()).contains("s3cret"));

        // A server without TLS, where the URL asks for it.
        dialogs.clear();
        ProgramFolder other(false);
        AppContext tls(other.path(), dialogs);
        tls.setRegister(QStringLiteral("postgresql://k27@127.0.0.1:%1/k27?sslmode=require").arg(server.port()));
        Startup refused(tls);
        QCOMPARE(refused.run(), Startup::Outcome::Exit);
        QCOMPARE(dialogs.calls.size(), 1);
        QVERIFY(dialogs.calls[0].text.startsWith(tls.message(Msg::ServerTls) + u'\n'));
    }

    // On the test server: a register made by k27-db init starts with its first operator; an
    // empty database and a newer register each stop with their own message.
    void serverRegisters_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("message");
        QTest::newRow("made by init") << "init" << 0;
        QTest::newRow("no register") << "empty" << int(Msg::ServerNoRegister);
        QTest::newRow("newer register") << "newer" << int(Msg::ServerNewerRegister);
    }
    void serverRegisters()
    {
        if (!test::onServer())
            QSKIP("needs the test server");
        QFETCH(QString, state);
        QFETCH(int, message);
        ProgramFolder folder(false);
        {
            Database db;
            QVERIFY(db.open(folder.databasePath()));
            if (state != QLatin1String("empty"))
                QVERIFY(createProgramDatabase(folder.databasePath()));
            if (state == QLatin1String("newer"))
                QVERIFY(db.exec(QStringLiteral("UPDATE k27_schema SET version = version + 1")));
        }
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        ctx.setRegister(folder.databasePath());
        Startup startup(ctx);
        QCOMPARE(startup.run(), message ? Startup::Outcome::Exit : Startup::Outcome::Continue);
        if (message) {
            QCOMPARE(dialogs.calls.size(), 1);
            QVERIFY(dialogs.calls[0].text.startsWith(ctx.message(message) + u'\n'));
        } else {
            QVERIFY(dialogs.calls.isEmpty());
            QVERIFY(ctx.firstStart);
            QVERIFY(ctx.databases().window());
        }
        QVERIFY(!QFile::exists(ctx.databasePath()));
    }

    void aSlowAnswerIsShownAndCancelledByTheOperator()
    {
        if (!test::onServer())
            QSKIP("needs the test server");
        test::ServerSchema schema;
        Database db;
        QVERIFY(db.open(schema.url()));
        ScriptedDialogs dialogs;
        LanguageTable language;
        language.setMessage(Msg::ServerWaitCancelled, QStringLiteral("cancelled"));
        ServerWaitDialog wait(language, dialogs);
        ServerWait::install(&wait);
        // The operator presses Escape on the box once it shows.
        QTimer escape;
        QObject::connect(&escape, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->objectName() == QLatin1String("FrmServerWait") && widget->isVisible())
                    QTest::keyClick(widget, Qt::Key_Escape);
        });
        escape.start(50);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!db.scalar(QStringLiteral("SELECT 1 FROM (SELECT pg_sleep(30)) s")).isValid());
        escape.stop();
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(dialogs.calls.isEmpty()); // told after the click, not inside it
        QTRY_COMPARE(dialogs.messageTexts(), QStringList{QStringLiteral("cancelled")});
        QCOMPARE(db.scalar(QStringLiteral("SELECT 2")).toInt(), 2);
    }
};

QTEST_MAIN(ServerStartTest)
#include "ServerStartTest.moc"
