#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <functional>

namespace k27 {

// The serial line to the card-issuing device. Port n means the device that the
// link `dev/COMn` in the program folder points to (a simulator or a renamed
// adapter), else /dev/ttyS(n-1); NamedDevicePort means the device set by name
// (a USB adapter, /dev/ttyUSB0). Settings take effect at the next open; every
// notification reaches the owner on the UI thread through commEvent().
class SerialPort : public QObject
{
    Q_OBJECT
public:
    enum class Event { DataReceived, Other };
    Q_ENUM(Event)

    // A parsed line settings string such as "9600,n,8,1".
    struct LineSettings
    {
        qint32 baudRate = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };

    static constexpr int FirstPort = 1;
    static constexpr int LastPort = 8;
    // The port number of the device set by setDeviceName().
    static constexpr int NamedDevicePort = 255;

    // Why the last open failed, so that the operator can be told what to do.
    // StaleLock: a lock file of a process that has ended still claims the device.
    enum class OpenProblem { None, Failed, NoPermission, NotATerminal, StaleLock };

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    bool isOpen() const;

    // Folder that may hold the dev/COMn links; the executable's folder when empty.
    void setProgramFolder(const QString& path);
    QString programFolder() const;

    void setPortNumber(int n);
    int portNumber() const;
    // The device opened for NamedDevicePort (a device chosen by name, /dev/ttyUSB0).
    void setDeviceName(const QString& path);
    QString deviceName() const { return m_deviceName; }

    // "baud,parity,data,stop": parity one of n e o m s, data bits 5..8, stop bits
    // 1, 1.5 or 2. A malformed string is refused and the old settings stay.
    bool setSettings(const QString& settings);
    QString settings() const;
    static bool parseSettings(const QString& settings, LineSettings* out);

    bool open();
    void close();
    QString errorString() const;
    OpenProblem openProblem() const { return m_problem; }
    // The lock file behind a StaleLock problem.
    QString lockFile() const { return m_lockFile; }
    // The device an open would use now (empty for a port number that names none).
    QString targetPath() const;
    // Device path of the open port (empty when closed).
    QString devicePath() const;

    // Writes every byte unchanged and in order, pushing it to the driver at once.
    bool write(const QByteArray& data);
    QByteArray readAll();
    // Drops bytes still waiting; on a closed port the drop happens at the next open.
    void clearInput();
    // Drops output not yet transmitted (before the stop byte).
    void discardOutput();

    static QString devicePathFor(const QString& programFolder, int n);

    // Whether the device at `path` can serve as the port: a terminal device that this user
    // may read and write. Made without opening it when the answer is already known.
    static OpenProblem checkDevice(const QString& path);

    // The lock file ("LCK..ttyS0" in one of the machine's lock folders) that claims the
    // device for a process that no longer runs; empty when there is none or its owner lives.
    static QString staleLockFile(const QString& devicePath);
    // Tests look in their own folders; an empty list restores the machine's.
    static void setLockDirectories(const QStringList& folders);

    // The serial devices of this machine by name (/dev/ttyUSB0, /dev/ttyACM0, ...).
    static QStringList availableDevices();
    // Tests offer their own devices (a pseudo-terminal) instead; an empty function restores
    // the machine's list.
    static void setDeviceLister(std::function<QStringList()> lister);

signals:
    void commEvent(k27::SerialPort::Event event);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void deliverData();
    void deliverOther();

    QSerialPort m_port;
    QString m_folder;
    int m_portNumber = 0;
    QString m_deviceName;
    OpenProblem m_problem = OpenProblem::None;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    LineSettings m_settings;
    QString m_error;
    QString m_openPath;
    QString m_lockFile;
    bool m_clearOnOpen = false;
    bool m_dataPending = false;
    bool m_otherPending = false;
    bool m_closePending = false;
};

// The open step of the main window's activation: nothing when the port is already
// open; otherwise set the number, drop stale input, apply the settings and open.
// False when any of it fails (the caller shows its message); the port stays closed.
bool openDevicePort(SerialPort& port, int portNumber, const QString& settings);

// The message that tells the operator why the port did not open: no rights (the dialout
// group), not a terminal device, or the general one.
int openFailureMessage(SerialPort::OpenProblem problem);

} // namespace k27
