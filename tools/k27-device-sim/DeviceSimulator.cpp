#include "DeviceSimulator.h"

#include "issuing/CardFrame.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace CF = k27::CardFrame;

namespace {

// Signals only wake the loop through this pipe; all clean-up runs in the loop.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

void setFlags(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool parseNumber(const std::string& text, quint32* out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long v = std::stoull(text);
    if (v > CF::CardNumberMask)
        return false;
    *out = static_cast<quint32>(v);
    return true;
}

const char* const CommandsHelp = "commands: write [number], read [number], ack, nak, raw <hex bytes>, status, quit";

} // namespace

DeviceSimulator::DeviceSimulator(Options options) : m_options(std::move(options)), m_random(std::random_device{}()) {}

DeviceSimulator::~DeviceSimulator()
{
    removeLink();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_logFile)
        std::fclose(m_logFile);
}

bool DeviceSimulator::start()
{
    if (!m_options.logFile.empty()) {
        m_logFile = std::fopen(m_options.logFile.c_str(), "a");
        if (!m_logFile) {
            std::fprintf(stderr, "k27-device-sim: cannot open log %s: %s\n", m_options.logFile.c_str(),
                         std::strerror(errno));
            return false;
        }
    }

    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "k27-device-sim: openpty: %s\n", std::strerror(errno));
        return false;
    }
    m_slavePath = name;
    // Raw both ways, so that 0x0D, 0x0A and 0x00 pass unchanged. The slave stays
    // open here as well: otherwise the master reports a hang-up whenever the
    // program closes its port, and the link would stop working until restarted.
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    setFlags(m_master);
    setFlags(m_slave);

    const std::string devDir = m_options.folder + "/dev";
    ::mkdir(m_options.folder.c_str(), 0755);
    if (::mkdir(devDir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "k27-device-sim: cannot create %s: %s\n", devDir.c_str(), std::strerror(errno));
        return false;
    }
    m_linkPath = devDir + "/COM" + std::to_string(m_options.port);
    struct stat st
    {
    };
    if (::lstat(m_linkPath.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "k27-device-sim: %s is a directory\n", m_linkPath.c_str());
            return false;
        }
        ::unlink(m_linkPath.c_str()); // a stale link of an earlier run
    }
    if (::symlink(m_slavePath.c_str(), m_linkPath.c_str()) != 0) {
        std::fprintf(stderr, "k27-device-sim: cannot link %s: %s\n", m_linkPath.c_str(), std::strerror(errno));
        return false;
    }
    m_linkCreated = true;

    if (::pipe(g_signalPipe) != 0) {
        std::fprintf(stderr, "k27-device-sim: pipe: %s\n", std::strerror(errno));
        return false;
    }
    setFlags(g_signalPipe[0]);
    setFlags(g_signalPipe[1]);
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    log(QStringLiteral("ready %1 as COM%2 (link %3)")
            .arg(QString::fromStdString(m_slavePath))
            .arg(m_options.port)
            .arg(QString::fromStdString(m_linkPath)));
    return true;
}

int DeviceSimulator::run()
{
    using Clock = std::chrono::steady_clock;
    QByteArray pending;
    Clock::time_point lastByte;
    std::string input;
    bool stdinOpen = true;
    // A flood of bytes without a pause is still handled in bounded pieces.
    constexpr int MaxBlock = 64 * 1024;

    while (!m_quit) {
        int timeout = -1;
        if (!pending.isEmpty()) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastByte);
            timeout = std::max<int>(0, m_options.gapMs - int(waited.count()));
        }
        pollfd fds[3] = {
            {g_signalPipe[0], POLLIN, 0},
            {m_master, POLLIN, 0},
            {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
        };
        const int n = ::poll(fds, 3, timeout);
        if (n < 0 && errno != EINTR) {
            log(QStringLiteral("poll failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }

        if (fds[0].revents & POLLIN) {
            log(QStringLiteral("signal received, ending"));
            break;
        }

        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            const ssize_t got = ::read(m_master, buf, sizeof buf);
            if (got > 0) {
                pending.append(buf, int(got));
                lastByte = Clock::now();
                if (pending.size() >= MaxBlock) {
                    processBlock(pending);
                    pending.clear();
                }
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                ::usleep(20000); // the line is down for a moment; do not spin
            }
        }

        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[1024];
            const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
            if (got > 0) {
                input.append(buf, size_t(got));
                size_t eol;
                while (!m_quit && (eol = input.find('\n')) != std::string::npos) {
                    const std::string line = input.substr(0, eol);
                    input.erase(0, eol + 1);
                    handleCommand(line);
                }
                if (input.size() > 4096)
                    input.clear(); // no line is that long; drop the noise
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // Without a console the device keeps running until a signal ends it.
                stdinOpen = false;
                log(QStringLiteral("standard input closed; running until SIGINT or SIGTERM"));
            }
        }

        if (!pending.isEmpty() && Clock::now() - lastByte >= std::chrono::milliseconds(m_options.gapMs)) {
            processBlock(pending);
            pending.clear();
        }
    }
    if (!pending.isEmpty())
        processBlock(pending);
    removeLink();
    log(QStringLiteral("link removed, bye"));
    return 0;
}

void DeviceSimulator::log(const QString& line)
{
    const QByteArray text = line.toUtf8();
    std::fprintf(stdout, "%s\n", text.constData());
    std::fflush(stdout);
    if (m_logFile) {
        const QByteArray stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
        std::fprintf(m_logFile, "%s %s\n", stamp.constData(), text.constData());
        std::fflush(m_logFile);
    }
}

QString DeviceSimulator::hex(const QByteArray& bytes, int limit)
{
    const QByteArray shown = bytes.left(limit);
    QString text = QString::fromLatin1(shown.toHex(' ').toUpper());
    if (bytes.size() > limit)
        text += QStringLiteral(" ...");
    return text;
}

void DeviceSimulator::processBlock(const QByteArray& block)
{
    const auto first = static_cast<quint8>(block.at(0));
    if (block.size() == 1 && first == CF::StopByte) {
        handleStop();
        return;
    }
    if (block.size() == CF::FrameLength) {
        handleFrame(block);
        return;
    }
    // A frame and the stop byte sent together arrive as one block.
    if (block.size() == CF::FrameLength + 1 && first == CF::CommandByte
        && static_cast<quint8>(block.back()) == CF::StopByte) {
        handleFrame(block.left(CF::FrameLength));
        handleStop();
        return;
    }
    if (first == CF::CommandByte) {
        ++m_refused;
        log(QStringLiteral("frame refused (wrong length: %1 bytes, expected %2): %3")
                .arg(block.size())
                .arg(CF::FrameLength)
                .arg(hex(block, 32)));
        send(CF::ackReply(false), QStringLiteral("refusal"));
        return;
    }
    ++m_dropped;
    log(QStringLiteral("dropped %1 bytes that form no frame: %2").arg(block.size()).arg(hex(block)));
}

void DeviceSimulator::handleFrame(const QByteArray& frame)
{
    const CF::Validation v = CF::validateFrame(frame);
    if (v == CF::Validation::Ok) {
        ++m_accepted;
        m_writing = true;
        m_lastFrame = CF::describeFrame(frame);
        log(QStringLiteral("frame accepted: %1").arg(m_lastFrame));
        send(CF::ackReply(true), QStringLiteral("acknowledgement"));
        return;
    }
    ++m_refused;
    QString why = CF::validationText(v);
    if (v == CF::Validation::WrongCommand)
        why += QStringLiteral(" 0x%1").arg(static_cast<quint8>(frame.at(0)), 2, 16, QLatin1Char('0'));
    if (v == CF::Validation::WrongChecksum) {
        why += QStringLiteral(": 0x%1, expected 0x%2")
                   .arg(static_cast<quint8>(frame.at(CF::ChecksumOffset)), 2, 16, QLatin1Char('0'))
                   .arg(CF::checksum(frame), 2, 16, QLatin1Char('0'));
    }
    log(QStringLiteral("frame refused (%1): %2").arg(why, hex(frame, 32)));
    send(CF::ackReply(false), QStringLiteral("refusal"));
}

void DeviceSimulator::handleStop()
{
    log(QStringLiteral("stop received; %1")
            .arg(m_writing ? QStringLiteral("writing ended") : QStringLiteral("was not writing")));
    m_writing = false;
}

bool DeviceSimulator::send(const QByteArray& bytes, const QString& what)
{
    qsizetype done = 0;
    int waits = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN && waits++ < 50) {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 20);
        } else {
            log(QStringLiteral("could not send %1: the program is not reading").arg(what));
            return false;
        }
    }
    log(QStringLiteral("sent %1: %2").arg(what, hex(bytes)));
    return true;
}

void DeviceSimulator::handleCommand(const std::string& rawLine)
{
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::string arg;
    in >> arg;
    std::string extra;
    in >> extra;

    if (cmd.empty())
        return;
    if (cmd == "write" || cmd == "read") {
        quint32 number = 0;
        if (arg.empty()) {
            number = std::uniform_int_distribution<quint32>(1, CF::CardNumberMask)(m_random);
        } else if (!extra.empty() || !parseNumber(arg, &number)) {
            log(QStringLiteral("usage: %1 [number 0..16777215]").arg(QString::fromStdString(cmd)));
            return;
        }
        if (cmd == "write") {
            if (!m_writing)
                log(QStringLiteral("note: no frame accepted since the last stop"));
            send(CF::cardWrittenReply(number), QStringLiteral("card written %1").arg(number));
        } else {
            send(CF::cardReadReply(number), QStringLiteral("card read %1").arg(number));
        }
    } else if (cmd == "ack" && arg.empty()) {
        send(CF::ackReply(true), QStringLiteral("acknowledgement"));
    } else if (cmd == "nak" && arg.empty()) {
        send(CF::ackReply(false), QStringLiteral("refusal"));
    } else if (cmd == "raw") {
        const std::string rest = line.substr(line.find("raw") + 3);
        QByteArray digits;
        for (char c : rest) {
            if (c != ' ' && c != '\t' && c != ',')
                digits.append(c);
        }
        const bool valid = !digits.isEmpty() && digits.size() % 2 == 0
                           && std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(uchar(c)); });
        if (!valid) {
            log(QStringLiteral("usage: raw <hex bytes>, e.g. raw AA 00"));
            return;
        }
        send(QByteArray::fromHex(digits), QStringLiteral("raw bytes"));
    } else if (cmd == "status" && arg.empty()) {
        log(QStringLiteral(
                "status: COM%1 %2 link %3; %4; frames accepted %5, refused %6; blocks dropped %7; last frame: %8")
                .arg(m_options.port)
                .arg(QString::fromStdString(m_slavePath), QString::fromStdString(m_linkPath),
                     m_writing ? QStringLiteral("writing") : QStringLiteral("idle"))
                .arg(m_accepted)
                .arg(m_refused)
                .arg(m_dropped)
                .arg(m_lastFrame.isEmpty() ? QStringLiteral("none") : m_lastFrame));
    } else if (cmd == "quit" && arg.empty()) {
        m_quit = true;
    } else {
        log(QStringLiteral("unknown command '%1'; %2")
                .arg(QString::fromUtf8(line.data(), qsizetype(line.size())), QString::fromLatin1(CommandsHelp)));
    }
}

void DeviceSimulator::removeLink()
{
    if (!m_linkCreated)
        return;
    m_linkCreated = false;
    // Only our own link: a newer simulator may have taken the name meanwhile.
    char target[512] = {};
    const ssize_t n = ::readlink(m_linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)) == m_slavePath)
        ::unlink(m_linkPath.c_str());
}
