#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace k27::test {

// A pseudo-terminal standing in for the issuing device as COM1 of a program folder: a test
// reads what the program sends and answers as the device would.
struct FakeDevice
{
    int master = -1;
    explicit FakeDevice(const QString& programFolder)
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        QDir(programFolder).mkpath(QStringLiteral("dev"));
        QFile::link(QString::fromLocal8Bit(name), programFolder + QStringLiteral("/dev/COM1"));
    }
    ~FakeDevice() { ::close(master); }
    void send(const QByteArray& bytes)
    {
        QVERIFY(::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size());
    }
    // Reads until `expected` bytes have come (the machine may be busy), then a little longer
    // so that a byte too many would show.
    QByteArray received(int expected)
    {
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        qint64 settle = -1;
        while (timer.elapsed() < 5000 && (settle < 0 || timer.elapsed() < settle)) {
            char buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                out.append(buffer, int(n));
            else
                QTest::qWait(10);
            if (settle < 0 && out.size() >= expected)
                settle = timer.elapsed() + 50;
        }
        return out;
    }
};

} // namespace k27::test
