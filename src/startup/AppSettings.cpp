#include "AppSettings.h"

#include "startup/TextUtil.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

namespace k27 {

AppSettings AppSettings::fromBytes(const QByteArray& bytes)
{
    QByteArray record = bytes.left(RecordSize);
    record.append(RecordSize - record.size(), '\0');
    AppSettings s;
    s.port = quint8(record[0]);
    s.baudRate = qFromLittleEndian<qint32>(record.constData() + 1);
    s.language = quint8(record[5]);
    return s;
}

QByteArray AppSettings::toBytes() const
{
    QByteArray out(RecordSize, '\0');
    out[0] = char(port);
    qToLittleEndian<qint32>(baudRate, out.data() + 1);
    out[5] = char(language);
    return out;
}

AppSettings readSettingsFile(const QString& path)
{
    QFile file(path);
    if (!file.exists()) {
        file.open(QIODevice::WriteOnly); // an empty file, as the record-access open leaves it
        return {};
    }
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return AppSettings::fromBytes(file.read(AppSettings::RecordSize));
}

bool writeSettingsFile(const QString& path, const AppSettings& settings)
{
    QFile file(path);
    // ReadWrite keeps the bytes after the record; the file is created when missing.
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray bytes = settings.toBytes();
    return file.seek(0) && file.write(bytes) == bytes.size() && file.flush();
}

QString readDeviceName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(4096)).trimmed();
}

bool writeDeviceName(const QString& path, const QString& device)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray line = device.toUtf8() + '\n';
    return file.write(line) == line.size() && file.flush();
}

CorrectedSettings correctSettings(AppSettings& settings)
{
    CorrectedSettings c;
    c.portNumber = (settings.port >= 1 && settings.port <= 8) ? settings.port : 1;
    c.baudText = (settings.baudRate < 2400 || settings.baudRate > 256000) ? QStringLiteral("9600")
                                                                          : QString::number(settings.baudRate);
    if (settings.language > 2)
        settings.language = 0;
    return c;
}

quint8 languageForLocale(const QLocale& locale)
{
    if (locale.language() != QLocale::Chinese)
        return 2;
    if (locale.script() == QLocale::TraditionalChineseScript)
        return 1;
    switch (locale.territory()) {
    case QLocale::Taiwan:
    case QLocale::HongKong:
    case QLocale::Macau: return locale.script() == QLocale::SimplifiedChineseScript ? 0 : 1;
    default: return 0;
    }
}

QString serialSettingsString(const QString& baudText)
{
    return baudText + QStringLiteral(",n,8,1");
}

bool parseBaudRate(const QString& text, qint32* value)
{
    double number = 0;
    if (!parseNumber(trimSpaces(text), &number))
        return false;
    const double rounded = std::nearbyint(number); // default rounding mode: half to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return false;
    *value = qint32(rounded);
    return true;
}

} // namespace k27
