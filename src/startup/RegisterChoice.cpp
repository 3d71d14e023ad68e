#include "RegisterChoice.h"

#include "db/Schema.h"
#include "platform/Dialogs.h"
#include "platform/ProcessSafety.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

#include <QFile>
#include <QSaveFile>
#include <QUrl>

namespace k27 {

const QStringList& RegisterChoice::tlsModes()
{
    static const QStringList modes{QStringLiteral("disable"), QStringLiteral("require"), QStringLiteral("verify-full")};
    return modes;
}

static QString encoded(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString RegisterChoice::url() const
{
    if (!server)
        return {};
    // Every value is percent-encoded: a name with "@", "/" or "?" stays a name.
    QString url = QStringLiteral("postgresql://");
    if (!user.trimmed().isEmpty())
        url += encoded(user.trimmed()) + u'@';
    const QString h = host.trimmed();
    const bool socketFolder = h.startsWith(u'/');
    if (!socketFolder)
        url += h.contains(u':') ? u'[' + h + u']' : encoded(h);
    if (!socketFolder && !port.trimmed().isEmpty())
        url += u':' + encoded(port.trimmed());
    url += u'/' + encoded(database.trimmed());
    QStringList query;
    if (socketFolder) {
        query << QStringLiteral("host=") + encoded(h);
        if (!port.trimmed().isEmpty())
            query << QStringLiteral("port=") + encoded(port.trimmed());
    }
    query << QStringLiteral("sslmode=") + (tlsModes().contains(tls) ? tls : QStringLiteral("require"));
    if (tls == QLatin1String("verify-full") && !caFile.trimmed().isEmpty())
        query << QStringLiteral("sslrootcert=") + encoded(caFile.trimmed());
    return url + u'?' + query.join(u'&');
}

QString registerChoicePath(const QString& programFolder)
{
    return programFolder + QStringLiteral("/AppSet.reg");
}

namespace {

struct Field
{
    const char* key;
    QString RegisterChoice::*value;
};

const Field Fields[] = {{"host", &RegisterChoice::host},         {"port", &RegisterChoice::port},
                        {"database", &RegisterChoice::database}, {"user", &RegisterChoice::user},
                        {"tls", &RegisterChoice::tls},           {"ca", &RegisterChoice::caFile}};

} // namespace

RegisterChoice readRegisterChoice(const QString& path)
{
    RegisterChoice choice;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return choice;
    // A few short lines; anything longer is not this file.
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("register"))
            choice.server = value == QLatin1String("server");
        for (const Field& field : Fields)
            if (key == QLatin1String(field.key))
                choice.*field.value = value;
    }
    if (!RegisterChoice::tlsModes().contains(choice.tls))
        choice.tls = QStringLiteral("require");
    return choice;
}

bool writeRegisterChoice(const QString& path, const RegisterChoice& choice)
{
    QByteArray text = "register=" + QByteArray(choice.server ? "server" : "file") + '\n';
    for (const Field& field : Fields) {
        // One value per line: a line break typed into a field would start a new key.
        QString value = (choice.*field.value).trimmed();
        value.remove(u'\n').remove(u'\r');
        text += QByteArray(field.key) + '=' + value.toUtf8() + '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(text) == text.size() && file.commit();
}

Database::Fault openServerRegister(Database& db, const QString& url, QString* reason)
{
    if (!db.open(url)) {
        *reason = db.lastError();
        return db.lastFault() == Database::Fault::None ? Database::Fault::Other : db.lastFault();
    }
    if (serverSchemaState(db) == SchemaState::None || !hasRegisterTables(db, reason)) {
        db.close();
        return Database::Fault::NoSchema;
    }
    return Database::Fault::None;
}

bool passwordMissing(const QString& reason)
{
    return reason.contains(QLatin1String("no password supplied"));
}

QString serverName(const QString& url)
{
    return QUrl(url).toDisplayString(QUrl::RemovePassword | QUrl::RemoveQuery);
}

QString askServerPassword(const AppContext& context, QWidget* parent, const QString& url, bool refused)
{
    // The sign-in's own "Password:" caption.
    QString label;
    for (const LanguageTable::Caption& caption : context.language.captions())
        if (caption.first == QLatin1String("Lbl3"))
            label = caption.second;
    const QString prompt = (refused ? context.message(Msg::ServerPassword) + u'\n' : QString()) + serverName(url)
                           + u'\n' + label;
    return context.dialogs().input(parent, prompt, serverName(url), true);
}

int serverFaultMessage(Database::Fault fault)
{
    switch (fault) {
    case Database::Fault::None: return 0;
    case Database::Fault::Password: return Msg::ServerPassword;
    case Database::Fault::Tls: return Msg::ServerTls;
    case Database::Fault::NoSchema: return Msg::ServerNoRegister;
    case Database::Fault::NewerSchema: return Msg::ServerNewerRegister;
    case Database::Fault::Unreachable:
    case Database::Fault::Other: break;
    }
    return Msg::ServerUnreachable;
}

QString withPassword(const QString& url, const QString& password)
{
    QByteArray part = QUrl::toPercentEncoding(password);
    QString out = url + (url.contains(u'?') ? u'&' : u'?') + QStringLiteral("password=") + QString::fromLatin1(part);
    wipe(part);
    return out;
}

} // namespace k27
