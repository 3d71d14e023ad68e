#include "platform/SerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPortInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k27 {

SerialPort::SerialPort(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

SerialPort::~SerialPort() = default;

bool SerialPort::isOpen() const
{
    return m_port.isOpen();
}

void SerialPort::setProgramFolder(const QString& path)
{
    m_folder = path;
}

QString SerialPort::programFolder() const
{
    return m_folder.isEmpty() ? QCoreApplication::applicationDirPath() : m_folder;
}

void SerialPort::setPortNumber(int n)
{
    m_portNumber = n;
}

int SerialPort::portNumber() const
{
    return m_portNumber;
}

void SerialPort::setDeviceName(const QString& path)
{
    m_deviceName = path;
}

bool SerialPort::parseSettings(const QString& settings, LineSettings* out)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    LineSettings s;

    bool ok = false;
    const qint64 baud = parts[0].trimmed().toLongLong(&ok);
    if (!ok || baud <= 0 || baud > 4000000)
        return false;
    s.baudRate = static_cast<qint32>(baud);

    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = QSerialPort::SpaceParity;
    else
        return false;

    const QString data = parts[2].trimmed();
    if (data == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (data == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (data == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (data == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        return false;

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return false;

    if (out)
        *out = s;
    return true;
}

bool SerialPort::setSettings(const QString& settings)
{
    LineSettings parsed;
    if (!parseSettings(settings, &parsed)) {
        m_error = QStringLiteral("malformed line settings \"%1\"").arg(settings);
        m_problem = OpenProblem::Failed;
        return false;
    }
    m_settings = parsed;
    m_settingsText = settings.trimmed();
    return true;
}

QString SerialPort::settings() const
{
    return m_settingsText;
}

QString SerialPort::devicePathFor(const QString& programFolder, int n)
{
    if (n < FirstPort || n > LastPort)
        return QString();
    const QFileInfo link(QDir(programFolder).absoluteFilePath(QStringLiteral("dev/COM%1").arg(n)));
    if (link.isSymLink()) {
        // A dangling link (simulator gone) names its target so that the open fails
        // visibly rather than silently falling back to a real port.
        const QString canonical = link.canonicalFilePath();
        return canonical.isEmpty() ? QFileInfo(link.symLinkTarget()).absoluteFilePath() : canonical;
    }
    if (link.exists())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

SerialPort::OpenProblem SerialPort::checkDevice(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) != 0)
        return errno == EACCES ? OpenProblem::NoPermission : OpenProblem::Failed;
    if (!S_ISCHR(st.st_mode))
        return OpenProblem::NotATerminal;
    if (::access(native.constData(), R_OK | W_OK) != 0)
        return errno == EACCES ? OpenProblem::NoPermission : OpenProblem::Failed;
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return (errno == EACCES || errno == EPERM) ? OpenProblem::NoPermission : OpenProblem::Failed;
    const bool terminal = ::isatty(fd);
    ::close(fd);
    return terminal ? OpenProblem::None : OpenProblem::NotATerminal;
}

namespace {
std::function<QStringList()>& deviceLister()
{
    static std::function<QStringList()> lister;
    return lister;
}
} // namespace

void SerialPort::setDeviceLister(std::function<QStringList()> lister)
{
    deviceLister() = std::move(lister);
}

QStringList SerialPort::availableDevices()
{
    if (deviceLister())
        return deviceLister()();
    QStringList out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        // /dev/ttyS0 .. /dev/ttyS7 are COM1 .. COM8 already.
        const QString name = info.portName();
        if (name.startsWith(QLatin1String("ttyS")) && name.mid(4).toInt() < LastPort && name.size() == 5)
            continue;
        out << path;
    }
    out.sort();
    return out;
}

namespace {
QStringList& lockDirectoryOverride()
{
    static QStringList folders;
    return folders;
}
} // namespace

void SerialPort::setLockDirectories(const QStringList& folders)
{
    lockDirectoryOverride() = folders;
}

QString SerialPort::staleLockFile(const QString& devicePath)
{
    // The folders where the serial layer and other programs (UUCP style) put their locks.
    static const QStringList machine = {
        QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),   QStringLiteral("/tmp"),       QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock")};
    QString name = devicePath;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList& folders = lockDirectoryOverride().isEmpty() ? machine : lockDirectoryOverride();
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/LCK..") + name;
        // Some of these folders are writable by everybody: a link or a pipe planted there must
        // neither be followed nor hold the window, so only a plain file is read, without waiting.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info
        {
        };
        char buffer[64];
        ssize_t size = -1;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            size = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        if (size <= 0)
            continue;
        const QByteArray content(buffer, int(size));
        // Text (the serial layer's own and UUCP's): the number on the first line; else the
        // old binary form, a 4-byte number.
        bool text = false;
        qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&text);
        if (!text && content.size() == 4) {
            qint32 binary = 0;
            std::memcpy(&binary, content.constData(), sizeof binary);
            pid = binary;
        }
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            return path;
    }
    return QString();
}

QString SerialPort::targetPath() const
{
    return m_portNumber == NamedDevicePort ? m_deviceName : devicePathFor(programFolder(), m_portNumber);
}

bool SerialPort::open()
{
    if (m_port.isOpen())
        return true;
    m_problem = OpenProblem::Failed;
    m_lockFile.clear();
    const QString path = targetPath();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no serial port %1").arg(m_portNumber);
        return false;
    }
    // Linux serial drivers know no 1.5 stop bits, and QSerialPort would quietly
    // open with other settings; a line the device cannot read is a failed open.
    if (m_settings.stopBits == QSerialPort::OneAndHalfStop) {
        m_error = QStringLiteral("1.5 stop bits are not supported on this system");
        return false;
    }
    // QSerialPort puts /dev/ before names without a slash, so the path is absolute.
    m_port.setPortName(path);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("%1: %2").arg(path, m_port.errorString());
        // Told apart only now: the probe opens the device, which a working port must not see.
        const OpenProblem why = checkDevice(path);
        if (why != OpenProblem::None)
            m_problem = why;
        else
            m_lockFile = staleLockFile(path);
        if (!m_lockFile.isEmpty())
            m_problem = OpenProblem::StaleLock;
        return false;
    }
    // Frames written to a plain file or another kind of device would be lost unnoticed.
    if (!::isatty(int(m_port.handle()))) {
        m_port.close();
        m_error = QStringLiteral("%1 is not a terminal device").arg(path);
        m_problem = OpenProblem::NotATerminal;
        return false;
    }
    m_problem = OpenProblem::None;
    m_openPath = path;
    m_error.clear();
    if (m_clearOnOpen) {
        m_port.clear(QSerialPort::Input);
        m_clearOnOpen = false;
    }
    return true;
}

void SerialPort::close()
{
    m_dataPending = false;
    m_closePending = false;
    m_openPath.clear();
    if (m_port.isOpen())
        m_port.close();
}

QString SerialPort::errorString() const
{
    return m_error;
}

QString SerialPort::devicePath() const
{
    return m_openPath;
}

bool SerialPort::write(const QByteArray& data)
{
    if (!m_port.isOpen()) {
        m_error = QStringLiteral("port not open");
        return false;
    }
    // The bytes are handed to the driver here, so a device that is gone (an unplugged
    // adapter, a closed pseudo-terminal) fails this write rather than passing unnoticed.
    if (m_port.write(data) != data.size() || !m_port.flush()) {
        m_error = m_port.errorString();
        return false;
    }
    return true;
}

QByteArray SerialPort::readAll()
{
    if (!m_port.isOpen())
        return QByteArray();
    return m_port.readAll();
}

void SerialPort::clearInput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
    else
        m_clearOnOpen = true;
}

void SerialPort::discardOutput()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

void SerialPort::onReadyRead()
{
    // Delivered from the event loop rather than from inside QSerialPort's read
    // notification: the reply handler waits with events running, and a second
    // notification arriving meanwhile must reach it too. One pending delivery at a
    // time keeps a burst of small reads from queueing a burst of notifications.
    if (m_dataPending)
        return;
    m_dataPending = true;
    QMetaObject::invokeMethod(this, &SerialPort::deliverData, Qt::QueuedConnection);
}

void SerialPort::deliverData()
{
    if (!m_dataPending)
        return;
    m_dataPending = false;
    emit commEvent(Event::DataReceived);
}

void SerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    // Opening failures are reported by open() itself.
    if (error == QSerialPort::OpenError || error == QSerialPort::DeviceNotFoundError
        || error == QSerialPort::PermissionError)
        return;
    m_error = m_port.errorString();
    // A failed read means the device is gone (adapter unplugged, simulator ended);
    // QSerialPort would report it again on every turn of the loop. The port is
    // released once, outside QSerialPort's own handler, so that the next activation
    // or send opens it afresh.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
        m_closePending = true;
    if (m_otherPending)
        return;
    m_otherPending = true;
    QMetaObject::invokeMethod(this, &SerialPort::deliverOther, Qt::QueuedConnection);
}

void SerialPort::deliverOther()
{
    if (!m_otherPending)
        return;
    m_otherPending = false;
    if (m_closePending)
        close();
    emit commEvent(Event::Other);
}

bool openDevicePort(SerialPort& port, int portNumber, const QString& settings)
{
    if (port.isOpen())
        return true;
    port.setPortNumber(portNumber);
    port.clearInput();
    if (!port.setSettings(settings))
        return false;
    return port.open();
}

int openFailureMessage(SerialPort::OpenProblem problem)
{
    switch (problem) {
    case SerialPort::OpenProblem::NoPermission: return 171;
    case SerialPort::OpenProblem::NotATerminal: return 172;
    default: return 50;
    }
}

} // namespace k27
