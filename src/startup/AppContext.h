#pragma once

#include "startup/AppSettings.h"
#include "startup/LanguageTable.h"

#include <QString>
#include <QTranslator>
#include <memory>

namespace k27 {

class DatabaseSession;
class Dialogs;

// The operator who signed in. The password is not kept: it is wiped once it has been checked,
// so that no copy of it outlives the sign-in in the program's memory.
struct SignedInOperator
{
    QString name;
    bool isAdministrator = false;
};

// The values that live for the whole run, owned by main() and handed to every window.
class AppContext
{
public:
    AppContext(QString programFolder, Dialogs& dialogs);
    ~AppContext();

    const QString& programFolder() const { return m_programFolder; }
    // The language files: res/ of the program folder unless set apart (an installed program).
    const QString& resFolder() const { return m_resFolder; }
    void setResFolder(const QString& folder);
    QString settingsPath() const;
    QString deviceNamePath() const; // AppSet.dev, beside AppSet.dat
    // Left beside the database once it has existed, so that a missing database can be told
    // from a new folder.
    QString databaseMarkerPath() const;
    QString databasePath() const; // Data/Data.kvd
    QString imageFolder() const;  // Data/img
    QString languagePath(int language) const;
    Dialogs& dialogs() const { return *m_dialogs; }
    // The register this run works on: the encrypted file at databasePath() unless a shared
    // server was chosen (a postgresql:// URL).
    const QString& registerLocation() const { return m_register; }
    bool onServer() const;
    // Points the run at another register (at start, before any page holds the session); the
    // connections to the old one are closed.
    void setRegister(const QString& location);
    // The run's connections to the register, opened once each.
    DatabaseSession& databases() const { return *m_databases; }

    QString message(int number) const { return language.message(number); }

    // Loads the file of the language field; a missing or unreadable file leaves the table as it was.
    // Qt's own dialog buttons follow the language too.
    bool loadLanguage();

    AppSettings settings; // as read from AppSet.dat (language corrected)
    int portNumber = 1;   // corrected copy for the settings page
    QString baudText = QStringLiteral("9600");
    QString serialSettings = QStringLiteral("9600,n,8,1");
    LanguageTable language;
    SignedInOperator signedIn;
    // The serial device by name (/dev/ttyUSB0), used when the port field says so.
    QString deviceName;
    // Start-up created the database: the first start in this folder.
    bool firstStart = false;
    // Folder of the manual backup, outside the program folder (the user's data folder).
    QString userDataFolder;
    // The program folder is the one the program makes in the user's data folder (not one
    // chosen by hand or carried with the program): it must be a real, owner-only folder.
    bool privateProgramFolder = false;

private:
    void installPlatformTranslation();

    QString m_programFolder;
    QString m_resFolder;
    std::unique_ptr<QTranslator> m_qtTranslator;
    Dialogs* m_dialogs;
    QString m_register;
    std::unique_ptr<DatabaseSession> m_databases;
};

} // namespace k27
