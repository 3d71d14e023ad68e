#pragma once

#include <QSettings>
#include <memory>

namespace k27 {

// The operator's own preferences (window place, last folders), one file per user in the
// user's configuration folder. Tests point it elsewhere with
// QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder).
inline std::unique_ptr<QSettings> openUserSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("K27Center"),
                                       QStringLiteral("K27Center"));
}

} // namespace k27
