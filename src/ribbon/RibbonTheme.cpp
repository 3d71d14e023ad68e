#include "ribbon/RibbonTheme.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>

namespace k27 {

QString RibbonTheme::name(int theme)
{
    switch (theme) {
    case 1: return QStringLiteral("BLUE");
    case 2: return QStringLiteral("SILVER");
    default: return QStringLiteral("BLACK");
    }
}

RibbonThemeColours RibbonTheme::colours(int theme)
{
    switch (theme) {
    case 1:
        return {QColor(0x69, 0x70, 0x79), QColor(0x3E, 0x6A, 0xB8), QColor(0x3E, 0x6A, 0xB8),
                QColor(0x15, 0x42, 0x8B), QColor(0x15, 0x42, 0x8B), QColor(0x15, 0x42, 0x8B)};
    case 2:
        return {QColor(0x5C, 0x62, 0x6A), QColor(0x3E, 0x6A, 0xB8), QColor(0x5C, 0x62, 0x6A),
                QColor(0x5C, 0x62, 0x6A), QColor(0x5C, 0x62, 0x6A), QColor(0x5C, 0x62, 0x6A)};
    default:
        return {QColor(Qt::white), QColor(0x8A, 0xD1, 0xFF), QColor(Qt::white),
                QColor(Qt::white), QColor(Qt::black),        QGuiApplication::palette().color(QPalette::WindowText)};
    }
}

QString RibbonTheme::resourcePath(int id, const QString& format)
{
    return QStringLiteral(":/k27/ribbon/%1/%2.gif").arg(format.toUpper()).arg(id);
}

QPixmap RibbonTheme::loadResPicture(int id, const QString& format, RibbonError* error, QString* detail)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = RibbonError::PictureNotLoaded;
        if (detail)
            *detail = QStringLiteral("K27Center.cLoadResPicture: %1").arg(why);
        return QPixmap();
    };
    const QString path = resourcePath(id, format);
    if (!QFile::exists(path))
        return fail(QStringLiteral("no picture %1 of type %2").arg(id).arg(format));
    // Decoded from the resource directly: no temporary file is needed.
    QImageReader reader(path, "gif");
    const QImage image = reader.read();
    if (image.isNull())
        return fail(reader.errorString());
    if (error)
        *error = RibbonError::None;
    return QPixmap::fromImage(image);
}

} // namespace k27
