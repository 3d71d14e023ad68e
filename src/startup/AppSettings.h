#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QtGlobal>

namespace k27 {

// The settings record kept in AppSet.dat: 6 bytes, no padding, little-endian.
struct AppSettings
{
    quint8 port = 0;     // 1 = COM1
    qint32 baudRate = 0; // bit/s
    quint8 language = 0; // 0 Simplified Chinese, 1 Traditional Chinese, 2 English

    static constexpr int RecordSize = 6;

    // A short record leaves the fields it does not cover at 0; bytes past the record are ignored.
    static AppSettings fromBytes(const QByteArray& bytes);
    QByteArray toBytes() const;

    bool operator==(const AppSettings&) const = default;
};

// The port field's value for a device chosen by name (/dev/ttyUSB0): the name is kept in a
// second file beside AppSet.dat (AppSet.dev), so the record keeps its 6 bytes. Readers that
// do not know the value correct it to COM1 for the settings page and fail to open it until a
// port is applied, as with any invalid port.
constexpr quint8 NamedDevicePort = 255;

// The first line of AppSet.dev, trimmed; empty when the file is missing.
QString readDeviceName(const QString& path);
bool writeDeviceName(const QString& path, const QString& device);

// Reads the record, creating an empty file when it is missing. Errors leave the fields at 0.
AppSettings readSettingsFile(const QString& path);

// Writes the 6 bytes at offset 0 and keeps any later bytes of an existing file.
// A file that cannot be written keeps its old contents; the caller's record stays as it is.
bool writeSettingsFile(const QString& path, const AppSettings& settings);

// The corrected copies kept beside the record at start-up.
struct CorrectedSettings
{
    int portNumber = 1; // 1..8
    QString baudText;   // "9600" when out of 2400..256000
};

// Corrects the record as start-up does: the language field inside the record,
// port and speed in the returned copies (the record's own fields stay as read).
CorrectedSettings correctSettings(AppSettings& settings);

// The language field that suits a locale: Simplified Chinese for Chinese, Traditional
// Chinese for its script or for Taiwan, Hong Kong and Macao, English for every other.
quint8 languageForLocale(const QLocale& locale);

// "9600" -> "9600,n,8,1"
QString serialSettingsString(const QString& baudText);

// The speed typed in the settings page, as a 32-bit integer: trimmed, decimal, rounded
// half to even like the original converter. Returns false for text that is no number.
bool parseBaudRate(const QString& text, qint32* value);

} // namespace k27
