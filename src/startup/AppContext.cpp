#include "AppContext.h"

#include <QCoreApplication>
#include <QDir>

namespace k27 {

AppContext::AppContext(QString programFolder, Dialogs& dialogs)
    : m_programFolder(QDir(programFolder).absolutePath())
    , m_dialogs(&dialogs)
{
}

QString AppContext::settingsPath() const { return m_programFolder + QStringLiteral("/AppSet.dat"); }
QString AppContext::databasePath() const { return m_programFolder + QStringLiteral("/Data/Data.kvd"); }
QString AppContext::imageFolder() const { return m_programFolder + QStringLiteral("/Data/img"); }

QString AppContext::languagePath(int language) const
{
    return m_programFolder + QStringLiteral("/res/") + LanguageTable::fileName(language);
}

bool AppContext::loadLanguage()
{
    return language.loadFile(languagePath(settings.language),
                             [] { QCoreApplication::processEvents(); });
}

} // namespace k27
