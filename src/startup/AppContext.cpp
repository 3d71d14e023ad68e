#include "AppContext.h"

#include "db/DatabaseSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace k27 {

AppContext::AppContext(QString programFolder, Dialogs& dialogs)
    : m_programFolder(QDir(programFolder).absolutePath()), m_resFolder(m_programFolder + QStringLiteral("/res")),
      m_dialogs(&dialogs), m_register(databasePath()), m_databases(std::make_unique<DatabaseSession>(m_register))
{
}

bool AppContext::onServer() const
{
    return Database::isServerUrl(m_register);
}

void AppContext::setRegister(const QString& location)
{
    m_databases->close();
    m_register = location;
    m_databases = std::make_unique<DatabaseSession>(m_register);
}

AppContext::~AppContext() = default;

void AppContext::setResFolder(const QString& folder)
{
    m_resFolder = QDir(folder).absolutePath();
}

QString AppContext::settingsPath() const
{
    return m_programFolder + QStringLiteral("/AppSet.dat");
}
QString AppContext::deviceNamePath() const
{
    return m_programFolder + QStringLiteral("/AppSet.dev");
}
QString AppContext::databaseMarkerPath() const
{
    return m_programFolder + QStringLiteral("/.database-created");
}
QString AppContext::databasePath() const
{
    return m_programFolder + QStringLiteral("/Data/Data.kvd");
}
QString AppContext::imageFolder() const
{
    return m_programFolder + QStringLiteral("/Data/img");
}

QString AppContext::languagePath(int language) const
{
    return m_resFolder + u'/' + LanguageTable::fileName(language);
}

bool AppContext::loadLanguage()
{
    const bool loaded = language.loadFile(languagePath(settings.language), [] { QCoreApplication::processEvents(); });
    if (loaded)
        installPlatformTranslation();
    return loaded;
}

void AppContext::installPlatformTranslation()
{
    if (!QCoreApplication::instance())
        return;
    if (m_qtTranslator)
        QCoreApplication::removeTranslator(m_qtTranslator.get());
    m_qtTranslator.reset();
    if (settings.language > 1)
        return;
    auto translator = std::make_unique<QTranslator>();
    const QString name = settings.language == 0 ? QStringLiteral("qtbase_zh_CN") : QStringLiteral("qtbase_zh_TW");
    if (translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        m_qtTranslator = std::move(translator);
    }
}

} // namespace k27
