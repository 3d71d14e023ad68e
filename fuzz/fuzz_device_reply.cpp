// What the issuing device sends is outside our control. The input is a stream of replies
// (each: one length byte, then that many bytes mod 16); it goes through the real serial port on a
// pseudo-terminal twice, once a reply at a time and once a byte at a time. The port must hand
// over every byte once and in order, each delivery announced by a notification, and a reply
// gathered from single bytes must decode exactly as the whole reply does.
#include "issuing/CardFrame.h"
#include "issuing/DeviceReply.h"
#include "platform/SerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace k27;

namespace {

struct Link
{
    QTemporaryDir folder;
    int master = -1;
    SerialPort* port = nullptr;
    QByteArray delivered; // what the notifications' reads brought, in order
    int notifications = 0;

    Link()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            std::abort();
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
        QDir(folder.path()).mkpath(QStringLiteral("dev"));
        const QString device = QString::fromLocal8Bit(name);
        if (!QFile::link(device, folder.path() + QStringLiteral("/dev/COM1")))
            std::abort();
        port = new SerialPort;
        port->setProgramFolder(folder.path());
        port->setPortNumber(1);
        // Never a real port: the link must lead to our pseudo-terminal.
        if (!port->open() || port->devicePath() != QFileInfo(device).canonicalFilePath())
            std::abort();
        QObject::connect(port, &SerialPort::commEvent, [this](SerialPort::Event event) {
            if (event != SerialPort::Event::DataReceived)
                std::abort(); // noise never looks like a failing line
            ++notifications;
            delivered += port->readAll();
        });
    }

    void send(const QByteArray& bytes)
    {
        if (::write(master, bytes.constData(), size_t(bytes.size())) != bytes.size())
            std::abort();
    }

    // Runs the event loop until `expected` bytes have been delivered in all.
    void settle(qsizetype expected)
    {
        QElapsedTimer timer;
        timer.start();
        while (delivered.size() < expected && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        if (delivered.size() != expected)
            std::abort();
    }
};

Link& link()
{
    static int argc = 1;
    static char name[] = "fuzz_device_reply";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Link instance;
    return instance;
}

void checkDecoded(const QByteArray& block, const DeviceReply& reply)
{
    using Kind = DeviceReply::Kind;
    const bool numbered = reply.kind == Kind::CardWritten || reply.kind == Kind::CardRead;
    if (reply.cardNumber > CardFrame::CardNumberMask || (numbered != !reply.cardNumberText.isEmpty()))
        std::abort();
    if (numbered && (reply.cardNumberText.size() != 10 || reply.cardNumberText.toUInt() != reply.cardNumber))
        std::abort();
    const bool expectedKind = (block.size() == CardFrame::AckReplyLength
                               && (reply.kind == Kind::Accepted || reply.kind == Kind::Refused))
                              || (block.size() == CardFrame::CardReadReplyLength && reply.kind == Kind::CardRead)
                              || (block.size() == CardFrame::CardWrittenReplyLength
                                  && (reply.kind == Kind::CardWritten || reply.kind == Kind::UnknownEightByte))
                              || reply.kind == Kind::Other;
    if (!expectedKind)
        std::abort();
}

bool sameReply(const DeviceReply& a, const DeviceReply& b)
{
    return a.kind == b.kind && a.cardNumber == b.cardNumber && a.cardNumberText == b.cardNumberText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 256)
        return 0;
    Link& l = link();
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at] % 16, size - at - 1);
        const QByteArray reply(reinterpret_cast<const char*>(data + at + 1), qsizetype(length));
        at += 1 + length;
        if (reply.isEmpty())
            continue;

        const DeviceReply whole = decodeReply(reply);
        checkDecoded(reply, whole);

        // A reply at a time.
        l.delivered.clear();
        l.notifications = 0;
        l.send(reply);
        l.settle(reply.size());
        if (l.delivered != reply || l.notifications < 1)
            std::abort();

        // A byte at a time, the loop running between bytes; the reply handler reads after its
        // wait, so the bytes delivered meanwhile make up one block.
        l.delivered.clear();
        l.notifications = 0;
        for (qsizetype i = 0; i < reply.size(); ++i) {
            l.send(reply.mid(i, 1));
            l.settle(i + 1);
        }
        if (l.delivered != reply || l.notifications < 1 || !sameReply(decodeReply(l.delivered), whole))
            std::abort();
    }
    return 0;
}
