// The serial layer against pseudo-terminals made by the test: the master side
// plays the device, the slave is reached through a dev/COMn link.
#include "platform/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using k27::SerialPort;
using Problem = SerialPort::OpenProblem;

namespace {

// One pseudo-terminal; the slave is closed so that only the port under test uses it.
struct Pty
{
    int master = -1;
    QString slavePath;

    Pty()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            slavePath = QString::fromLocal8Bit(name);
            termios tio{};
            ::tcgetattr(slave, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(slave, TCSANOW, &tio);
            ::close(slave);
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() { closeMaster(); }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    void send(const QByteArray& bytes) const
    {
        QCOMPARE_GE(::write(master, bytes.constData(), size_t(bytes.size())), 0);
    }

    // Everything the port sends, until `count` bytes or a time-out.
    QByteArray receive(int count, int timeoutMs = 5000) const
    {
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (out.size() < count && t.elapsed() < timeoutMs) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[512];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    out.append(buf, int(n));
            }
            QCoreApplication::processEvents();
        }
        return out;
    }

    termios settings() const
    {
        termios tio{};
        ::tcgetattr(master, &tio);
        return tio;
    }
    speed_t speed() const
    {
        const termios tio = settings();
        return cfgetospeed(&tio);
    }
};

bool link(const QString& folder, int n, const QString& target)
{
    QDir(folder).mkpath(QStringLiteral("dev"));
    const QString path = folder + QStringLiteral("/dev/COM%1").arg(n);
    QFile::remove(path);
    return QFile::link(target, path);
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 111; ++i)
        bytes.append(char((i * 37 + 0x0D) & 0xFF)); // includes 0x0D, 0x0A, 0x00, 0x11, 0x13
    bytes[5] = '\r';
    bytes[6] = '\n';
    bytes[7] = '\0';
    bytes[8] = 0x11;
    bytes[9] = 0x13;
    return bytes;
}

// What the port has received, read repeatedly until `count` bytes or a time-out.
QByteArray readUntil(SerialPort& port, int count, int timeoutMs = 5000)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < timeoutMs) {
        QTest::qWait(10);
        got += port.readAll();
    }
    return got;
}

} // namespace

class SerialPortTest : public QObject
{
    Q_OBJECT
private slots:
    void devicePathMapping();
    void settingsString_data();
    void settingsString();
    void openFailures();
    void bytesOutUnchangedAndRepliesIn();
    void clearInputDropsWaitingBytes();
    void secondActivationDoesNothingAndReopenTakesNewSettings();
    void vanishedDeviceIsReleased();
    void deviceKinds();
    void deviceWithoutRights();
    void staleLockFileIsNamed_data();
    void staleLockFileIsNamed();
};

void SerialPortTest::devicePathMapping()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    QCOMPARE(SerialPort::devicePathFor(folder, 1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(SerialPort::devicePathFor(folder, 8), QStringLiteral("/dev/ttyS7"));
    QVERIFY(SerialPort::devicePathFor(folder, 0).isEmpty());
    QVERIFY(SerialPort::devicePathFor(folder, 9).isEmpty());

    Pty pty;
    QVERIFY(link(folder, 3, pty.slavePath));
    QCOMPARE(SerialPort::devicePathFor(folder, 3), pty.slavePath);
    QCOMPARE(SerialPort::devicePathFor(folder, 2), QStringLiteral("/dev/ttyS1"));

    // A dangling link (simulator gone) must not fall back to a real port.
    QVERIFY(link(folder, 4, folder + QStringLiteral("/gone")));
    QCOMPARE(SerialPort::devicePathFor(folder, 4), folder + QStringLiteral("/gone"));
    // A relative link target resolves against the link's folder into an absolute path.
    QFile(folder + QStringLiteral("/dev/node")).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(QStringLiteral("node"), folder + QStringLiteral("/dev/COM5")));
    QCOMPARE(SerialPort::devicePathFor(folder, 5), QFileInfo(folder + QStringLiteral("/dev/node")).canonicalFilePath());
}

void SerialPortTest::settingsString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("default") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity) << 8
                             << int(QSerialPort::OneStop);
    QTest::newRow("even 7 2") << "19200,E,7,2" << true << 19200 << int(QSerialPort::EvenParity) << 7
                              << int(QSerialPort::TwoStop);
    QTest::newRow("spaces odd 5 1.5") << " 38400 , o , 5 , 1.5 " << true << 38400 << int(QSerialPort::OddParity) << 5
                                      << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("mark") << "256000,m,6,1" << true << 256000 << int(QSerialPort::MarkParity) << 6
                          << int(QSerialPort::OneStop);
    QTest::newRow("space") << "2400,s,8,1" << true << 2400 << int(QSerialPort::SpaceParity) << 8
                           << int(QSerialPort::OneStop);
    for (const char* bad : {"", "9600", "9600,n,8", "9600,n,8,1,1", "abc,n,8,1", "0,n,8,1", "-9600,n,8,1", "9600,x,8,1",
                            "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,0", "96 00,n,8,1"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << false << 0 << 0 << 0 << 0;
}

void SerialPortTest::settingsString()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    SerialPort::LineSettings s;
    QCOMPARE(SerialPort::parseSettings(text, &s), valid);
    SerialPort port;
    QCOMPARE(port.setSettings(text), valid);
    if (!valid) {
        QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1")); // the old settings stay
        return;
    }
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QCOMPARE(s.baudRate, baud);
    QCOMPARE(int(s.parity), parity);
    QCOMPARE(int(s.dataBits), dataBits);
    QCOMPARE(int(s.stopBits), stopBits);
}

void SerialPortTest::openFailures()
{
    QTemporaryDir dir;
    SerialPort port;
    port.setProgramFolder(dir.path());

    // No settings file leaves the port field at 0: no such port.
    QVERIFY(!k27::openDevicePort(port, 0, QStringLiteral("9600,n,8,1")));
    QVERIFY(!port.isOpen());
    QVERIFY(!port.errorString().isEmpty());

    Pty pty;
    QVERIFY(link(dir.path(), 1, pty.slavePath));
    QVERIFY(!k27::openDevicePort(port, 1, QStringLiteral("9600,q,8,1")));
    QVERIFY(!port.isOpen());

    QVERIFY(link(dir.path(), 2, dir.path() + QStringLiteral("/missing")));
    QVERIFY(!k27::openDevicePort(port, 2, QStringLiteral("9600,n,8,1")));
    QVERIFY(!port.isOpen());
    QVERIFY(!port.write(QByteArray(1, '\x0D')));
    QVERIFY(port.readAll().isEmpty());

    // 1.5 stop bits parse, but no Linux serial driver offers them: the open fails.
    QVERIFY(!k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1.5")));
    QVERIFY(!port.isOpen());

    // The same port opens once the settings are right.
    QVERIFY2(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")), qPrintable(port.errorString()));
    QCOMPARE(port.devicePath(), pty.slavePath);

    // A port that another user holds is busy.
    SerialPort other;
    other.setProgramFolder(dir.path());
    QVERIFY(!k27::openDevicePort(other, 1, QStringLiteral("9600,n,8,1")));
    QVERIFY(!other.errorString().isEmpty());
}

void SerialPortTest::bytesOutUnchangedAndRepliesIn()
{
    QTemporaryDir dir;
    Pty pty;
    QVERIFY(link(dir.path(), 1, pty.slavePath));
    SerialPort port;
    port.setProgramFolder(dir.path());
    QVERIFY2(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")), qPrintable(port.errorString()));
    QSignalSpy spy(&port, &SerialPort::commEvent);

    const QByteArray frame = allByteValues();
    QVERIFY(port.write(frame));
    QCOMPARE(pty.receive(frame.size()), frame);

    // The notification comes from the event loop, not from inside write() or send().
    pty.send(QByteArray::fromHex("AA00"));
    QCOMPARE(spy.count(), 0);
    QTRY_VERIFY(spy.count() >= 1);
    QCOMPARE(spy.first().first().value<SerialPort::Event>(), SerialPort::Event::DataReceived);
    QCOMPARE(readUntil(port, 2), QByteArray::fromHex("AA00"));

    spy.clear();
    pty.send(QByteArray::fromHex("BBBBBBCC39300000"));
    QTRY_VERIFY(spy.count() >= 1);
    QCOMPARE(readUntil(port, 8), QByteArray::fromHex("BBBBBBCC39300000"));
    for (const QList<QVariant>& args : spy)
        QCOMPARE(args.first().value<SerialPort::Event>(), SerialPort::Event::DataReceived);
}

void SerialPortTest::clearInputDropsWaitingBytes()
{
    QTemporaryDir dir;
    Pty pty;
    QVERIFY(link(dir.path(), 1, pty.slavePath));
    SerialPort port;
    port.setProgramFolder(dir.path());
    QVERIFY(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")));
    QSignalSpy spy(&port, &SerialPort::commEvent);

    pty.send(QByteArray::fromHex("01020304"));
    QTRY_VERIFY(spy.count() >= 1);
    port.clearInput();
    QVERIFY(port.readAll().isEmpty());

    pty.send(QByteArray::fromHex("AA00"));
    QCOMPARE(readUntil(port, 2), QByteArray::fromHex("AA00"));

    // Bytes that arrived while the port was closed are dropped by the next open.
    port.close();
    pty.send(QByteArray::fromHex("0505"));
    QTest::qWait(50);
    QVERIFY(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")));
    QTest::qWait(100);
    QVERIFY(port.readAll().isEmpty());
}

void SerialPortTest::secondActivationDoesNothingAndReopenTakesNewSettings()
{
    QTemporaryDir dir;
    Pty first;
    Pty second;
    QVERIFY(link(dir.path(), 1, first.slavePath));
    QVERIFY(link(dir.path(), 3, second.slavePath));
    SerialPort port;
    port.setProgramFolder(dir.path());

    QVERIFY(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")));
    QCOMPARE(first.speed(), speed_t(B9600));

    // Activated again while open: no reopen, no new settings.
    QVERIFY(k27::openDevicePort(port, 3, QStringLiteral("19200,n,8,2")));
    QCOMPARE(port.portNumber(), 1);
    QCOMPARE(port.devicePath(), first.slavePath);
    QCOMPARE(port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(first.speed(), speed_t(B9600));

    // Settings applied: close, then the activation opens port 3 at 19200 with 2 stop bits.
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY2(k27::openDevicePort(port, 3, QStringLiteral("19200,n,8,2")), qPrintable(port.errorString()));
    QCOMPARE(port.devicePath(), second.slavePath);
    const termios tio = second.settings();
    QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
    QVERIFY(tio.c_cflag & CSTOPB);
    QVERIFY(!(tio.c_cflag & CRTSCTS));
    QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));

    const QByteArray stop(1, '\x0D');
    QVERIFY(port.write(stop));
    QCOMPARE(second.receive(1), stop);
    QTest::qWait(50);
    QVERIFY(first.receive(1, 100).isEmpty());
}

void SerialPortTest::vanishedDeviceIsReleased()
{
    QTemporaryDir dir;
    Pty pty;
    QVERIFY(link(dir.path(), 1, pty.slavePath));
    SerialPort port;
    port.setProgramFolder(dir.path());
    QVERIFY(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")));
    QSignalSpy spy(&port, &SerialPort::commEvent);

    pty.closeMaster();
    QTRY_VERIFY(!port.isOpen());
    QTest::qWait(100);
    // One notification, told apart from received data, not one per turn of the loop.
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().value<SerialPort::Event>(), SerialPort::Event::Other);
}

// What a device is, as the port sees it by name (port 255) and through dev/COM3, and the
// message each failure gives.
void SerialPortTest::deviceKinds()
{
    QTemporaryDir dir;
    Pty pty;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct
    {
        QString path;
        Problem problem;
        int message;
    } cases[] = {
        {pty.slavePath, Problem::None, 50},
        {plain.fileName(), Problem::NotATerminal, 172},
        {QStringLiteral("/dev/null"), Problem::NotATerminal, 172},
        {dir.filePath(QStringLiteral("missing")), Problem::Failed, 50},
    };
    for (const auto& c : cases) {
        QCOMPARE(SerialPort::checkDevice(c.path), c.problem);
        for (int number : {SerialPort::NamedDevicePort, 3}) {
            SerialPort port;
            port.setProgramFolder(dir.path());
            port.setDeviceName(c.path);
            QVERIFY(link(dir.path(), 3, c.path));
            const bool opened = k27::openDevicePort(port, number, QStringLiteral("9600,n,8,1"));
            QCOMPARE(opened, c.problem == Problem::None);
            QCOMPARE(port.openProblem(), opened ? Problem::None : c.problem);
            if (opened)
                QCOMPARE(port.devicePath(), c.path);
        }
        if (c.problem != Problem::None)
            QCOMPARE(k27::openFailureMessage(c.problem), c.message);
    }
    QCOMPARE(k27::openFailureMessage(Problem::NoPermission), 171);
}

// A device this user may not open names the dialout group. Root may open anything, so the
// check runs in a child that has become nobody.
void SerialPortTest::deviceWithoutRights()
{
    Pty pty;
    QVERIFY(::chmod(QFile::encodeName(pty.slavePath).constData(), geteuid() == 0 ? 0600 : 0) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
        SerialPort port;
        port.setDeviceName(pty.slavePath);
        const bool opened = k27::openDevicePort(port, SerialPort::NamedDevicePort, QStringLiteral("9600,n,8,1"));
        ::_exit(opened ? 98 : int(port.openProblem()) * 10 + int(SerialPort::checkDevice(pty.slavePath)));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), int(Problem::NoPermission) * 11);
}

void SerialPortTest::staleLockFileIsNamed_data()
{
    // A process that has ended: its number is free until the system hands it out again.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const QByteArray dead = QByteArray::number(gone);
    const QByteArray alive = QByteArray::number(::getpid());
    const qint32 binary = gone;
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<int>("kind"); // 0 a file, 1 a pipe, 2 a link to a file elsewhere
    QTest::newRow("serial layer, owner gone") << dead + "\nk27center\nhost\n" << true << 0;
    QTest::newRow("uucp, owner gone") << QByteArray("      ") + dead + "\n" << true << 0;
    QTest::newRow("binary, owner gone") << QByteArray(reinterpret_cast<const char*>(&binary), 4) << true << 0;
    QTest::newRow("owner running") << alive + "\n" << false << 0;
    QTest::newRow("unreadable number") << QByteArray("garbage\n") << false << 0;
    // Planted by another account in a folder everybody may write: neither waited on nor followed.
    QTest::newRow("a pipe") << QByteArray() << false << 1;
    QTest::newRow("a link to a stale lock") << dead + "\n" << false << 2;
}

// The busy port's lock file is named only when the process that made it is gone.
void SerialPortTest::staleLockFileIsNamed()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, stale);
    QFETCH(int, kind);
    QTemporaryDir empty, locks;
    SerialPort::setLockDirectories({empty.path(), locks.path()});
    const auto restore = qScopeGuard([] { SerialPort::setLockDirectories({}); });
    QCOMPARE(SerialPort::staleLockFile(QStringLiteral("/dev/ttyUSB0")), QString());
    QFile lock(locks.filePath(QStringLiteral("LCK..ttyUSB0")));
    if (kind == 1) {
        QCOMPARE(::mkfifo(QFile::encodeName(lock.fileName()).constData(), 0600), 0);
    } else {
        QFile target(kind == 2 ? empty.filePath(QStringLiteral("elsewhere")) : lock.fileName());
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.write(content);
        target.close();
        if (kind == 2)
            QVERIFY(QFile::link(target.fileName(), lock.fileName()));
    }
    QCOMPARE(SerialPort::staleLockFile(QStringLiteral("/dev/ttyUSB0")), stale ? lock.fileName() : QString());
    QCOMPARE(SerialPort::staleLockFile(QStringLiteral("/dev/ttyUSB1")), QString());
}

QTEST_GUILESS_MAIN(SerialPortTest)
#include "SerialPortTest.moc"
