#include "PhotoPath.h"

#include "startup/TextUtil.h"

namespace k27 {

QString photoFileName(const QString& name, const QString& phone)
{
    const QString base = trimSpaces(name) + trimSpaces(phone);
    QString file;
    file.reserve(base.size() + 4);
    for (const QChar c : base) {
        if (c == u'/' || c == u'\\' || c == u'%' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            file += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            file += c;
    }
    // Without a separator the name cannot leave the folder; a name of dots alone
    // gets the extension and so never names the folder or its parent.
    return file + QStringLiteral(".JPG");
}

QString PhotoPath(const QString& imageFolder, const QString& name, const QString& phone)
{
    return imageFolder + QLatin1Char('/') + photoFileName(name, phone);
}

} // namespace k27
