#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QString>

namespace k27::test {

// The options a manual page of dist/man names anywhere ("\-h", "\-\-help" -> -h, --help).
inline QSet<QString> manPageOptions(const QString& page)
{
    QFile f(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/dist/man/") + page);
    QSet<QString> options;
    if (!f.open(QIODevice::ReadOnly))
        return options;
    const QString text = QString::fromUtf8(f.readAll()).replace(QLatin1String("\\-"), QLatin1String("-"));
    static const QRegularExpression option(QStringLiteral("(?:^|[\\s\\[|])(--?[a-z][a-z-]*)"));
    for (auto m = option.globalMatch(text); m.hasNext();)
        options.insert(m.next().captured(1));
    return options;
}

} // namespace k27::test
