#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

namespace k27 {

// The serial line to the card-issuing device. Port n means the device that the
// link `dev/COMn` in the program folder points to (a simulator or a renamed
// adapter), else /dev/ttyS(n-1). Settings take effect at the next open; every
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

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    bool isOpen() const;

    // Folder that may hold the dev/COMn links; the executable's folder when empty.
    void setProgramFolder(const QString& path);
    QString programFolder() const;

    void setPortNumber(int n);
    int portNumber() const;

    // "baud,parity,data,stop": parity one of n e o m s, data bits 5..8, stop bits
    // 1, 1.5 or 2. A malformed string is refused and the old settings stay.
    bool setSettings(const QString& settings);
    QString settings() const;
    static bool parseSettings(const QString& settings, LineSettings* out);

    bool open();
    void close();
    QString errorString() const;
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
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    LineSettings m_settings;
    QString m_error;
    QString m_openPath;
    bool m_clearOnOpen = false;
    bool m_dataPending = false;
    bool m_otherPending = false;
    bool m_closePending = false;
};

// The open step of the main window's activation: nothing when the port is already
// open; otherwise set the number, drop stale input, apply the settings and open.
// False when any of it fails (the caller shows its message); the port stays closed.
bool openDevicePort(SerialPort& port, int portNumber, const QString& settings);

} // namespace k27
