// AppSet.dat may be short, long or damaged, and the speed typed in the settings page is free
// text: both must give settings the serial port accepts.
#include "platform/SerialPort.h"
#include "startup/AppSettings.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

using namespace k27;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    AppSettings settings = AppSettings::fromBytes(bytes);
    QByteArray record = bytes.left(AppSettings::RecordSize);
    record.append(AppSettings::RecordSize - record.size(), '\0');
    if (settings.toBytes() != record || AppSettings::fromBytes(record) != settings)
        std::abort();

    const CorrectedSettings corrected = correctSettings(settings);
    if (corrected.portNumber < SerialPort::FirstPort || corrected.portNumber > SerialPort::LastPort
        || settings.language > 2)
        std::abort();
    bool numeric = false;
    const int baud = corrected.baudText.toInt(&numeric);
    if (!numeric || baud < 2400 || baud > 256000)
        std::abort();
    SerialPort::LineSettings line;
    if (!SerialPort::parseSettings(serialSettingsString(corrected.baudText), &line) || line.baudRate != baud)
        std::abort();

    // The same bytes as typed text: the speed field and a line settings string.
    const QString text = QString::fromUtf8(bytes);
    qint32 typed = 0;
    if (parseBaudRate(text, &typed)) {
        qint32 again = 0;
        if (!parseBaudRate(QString::number(typed), &again) || again != typed)
            std::abort();
    }
    if (SerialPort::parseSettings(text, &line)
        && (line.dataBits < QSerialPort::Data5 || line.dataBits > QSerialPort::Data8))
        std::abort();
    return 0;
}
