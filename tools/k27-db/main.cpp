// k27-db: creates and checks the program's encrypted database.
//   k27-db init PATH    create an empty database with the register tables (never overwrites)
//   k27-db check PATH   open it with the database password and run an integrity check; a
//                       write-ahead log beside it that holds committed work the file alone
//                       lacks fails the check (a copy of the file alone would miss that work)
// Exit status 0 on success, 1 with a one-line reason otherwise.

#include "db/Database.h"
#include "db/Schema.h"
#include "db/WalLog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

using k27::Database;

static int fail(const QString& reason)
{
    std::fprintf(stderr, "k27-db: %s\n", qPrintable(reason));
    return 1;
}

static int init(const QString& path)
{
    QString error;
    if (!k27::createProgramDatabase(path, &error))
        return fail(error);
    std::printf("created %s\n", qPrintable(path));
    return 0;
}

static int check(const QString& path)
{
    // Looked at before the database is opened: the engine reads through the log.
    const k27::LogState log = k27::inspectLog(path);
    if (!log.readable)
        return fail(QStringLiteral("the write-ahead log %1-wal cannot be read").arg(path));
    if (log.pagesNotInFile > 0)
        return fail(QStringLiteral("the write-ahead log %1-wal holds committed work that the file alone lacks "
                                   "(%2 pages): a copy of the file alone would miss it")
                        .arg(path)
                        .arg(log.pagesNotInFile));
    Database db;
    if (!db.open(path, true))
        return fail(QStringLiteral("cannot open %1 with the database password (%2)").arg(path, db.lastError()));
    if (db.cipherVersion().isEmpty())
        return fail(QStringLiteral("the database library is not encrypting"));
    QString problem;
    if (!db.integrityCheck(&problem))
        return fail(QStringLiteral("integrity check failed: %1").arg(problem));
    if (!k27::hasRegisterTables(db, &problem))
        return fail(problem);
    std::printf("ok %s\n", qPrintable(path));
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: k27-db init|check PATH"));
    if (args[1] == QLatin1String("init"))
        return init(args[2]);
    if (args[1] == QLatin1String("check"))
        return check(args[2]);
    return fail(QStringLiteral("unknown command %1 (use init or check)").arg(args[1]));
}
