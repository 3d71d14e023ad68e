#pragma once

#include "ribbon/RibbonLayout.h"

#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

// The ribbon's text and picture sizes, shared by its layout and its painting.
namespace k27::ribbon {

inline QString oneLine(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
}

inline QStringList captionLines(const QString& caption)
{
    QString text = caption;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.split(QLatin1Char('\n'));
}

// Pictures from the image list are shown at most at this size (pixels).
inline QSize fitted(const QPixmap& pm, int maxSide)
{
    if (pm.isNull())
        return QSize();
    QSize s = pm.deviceIndependentSize().toSize();
    if (s.width() > maxSide || s.height() > maxSide)
        s.scale(maxSide, maxSide, Qt::KeepAspectRatio);
    return s;
}

inline QSize toTwips(QSize px)
{
    return px.isEmpty() ? QSize() : px * RibbonLayout::TwipsPerPixel;
}

} // namespace k27::ribbon
