#pragma once

#include "db/Database.h"

#include <QString>

class QWidget;

namespace k27 {

class AppContext;

// Which register the program folder uses: the encrypted file of this computer (the default)
// or a register on a shared server. Kept in AppSet.reg beside AppSet.dat (whose record keeps
// its format); read at start, so a change takes effect at the next start. The password is
// never part of it: libpq's ~/.pgpass gives it, or the start asks for it.
struct RegisterChoice
{
    bool server = false;
    QString host;
    QString port;
    QString database;
    QString user;
    QString tls = QStringLiteral("require"); // libpq's sslmode: disable, require or verify-full
    QString caFile;                          // the server's certificate authority, for verify-full

    static const QStringList& tlsModes();

    // The libpq URL of the server register; empty for this computer's file. A host that is a
    // folder (it starts with "/") names the server's Unix socket folder.
    QString url() const;

    bool operator==(const RegisterChoice&) const = default;
};

// AppSet.reg in the program folder.
QString registerChoicePath(const QString& programFolder);
// A missing or unreadable file is the default (this computer); unknown lines are ignored.
RegisterChoice readRegisterChoice(const QString& path);
// Written whole or not at all, owner-only.
bool writeRegisterChoice(const QString& path, const RegisterChoice& choice);

// Opens the server register at `url`: None when it can be used, else why not (NoSchema for
// a server without this program's tables), the server's words in *reason.
Database::Fault openServerRegister(Database& db, const QString& url, QString* reason);
// True when libpq's refusal asks for a password that none was given for (none in ~/.pgpass).
bool passwordMissing(const QString& reason);
// Asks for the password of the server at `url` (a password input); `refused` says that the
// one given was wrong. The server as the operator knows it, without the URL's options:
QString serverName(const QString& url);
QString askServerPassword(const AppContext& context, QWidget* parent, const QString& url, bool refused);

// The message that tells the operator why a server register could not be used (0 for None).
int serverFaultMessage(Database::Fault fault);

// A password typed for the server goes into the URL the run keeps in memory (libpq holds it
// for the connection's life anyway), never into a file.
QString withPassword(const QString& url, const QString& password);

} // namespace k27
