// k27-db: creates and checks the program's encrypted database, or a register on a server.
//   k27-db init PATH    create an empty database with the register tables (never overwrites)
//   k27-db init URL     create the register's tables on a server and print the GRANTs of a
//                       role that may work in it and no more
//   k27-db check PATH   open it with the database password and run an integrity check; a
//                       write-ahead log beside it that holds committed work the file alone
//                       lacks fails the check (a copy of the file alone would miss that work)
//   k27-db check URL    connect, check the tables' version and that every table is there
//   k27-db copy SOURCE TARGET   a file's register into a server, or a server's into a new file
//   k27-db verify-log PATH [--head CODE]   walk the operator log's hash chain; with a head code
//                       written down earlier, prove that nothing up to its row has changed since
//   k27-db -h|--help    print the usage
// Exit status 0 on success, 1 with a one-line reason otherwise.

#include "audit/AuditLog.h"
#include "db/Database.h"
#include "db/RegisterCopy.h"
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

static const char Usage[] =
    "Usage: k27-db init PATH|URL\n"
    "       k27-db check PATH|URL\n"
    "       k27-db copy SOURCE TARGET\n"
    "       k27-db verify-log PATH [--head CODE]\n"
    "       k27-db -h|--help\n"
    "Creates or checks the encrypted database of K27 Center.\n"
    "\n"
    "  init PATH    create an empty database with the register tables (never overwrites)\n"
    "  check PATH   open it with the database password and check its integrity and tables; a\n"
    "               write-ahead log beside it that holds committed work the file lacks fails it\n"
    "  verify-log PATH [--head CODE]\n"
    "               walk the operator log's hash chain and name the first row altered, removed\n"
    "               or inserted; with a head code written down earlier, also prove that nothing\n"
    "               up to its row has changed since\n"
    "  URL          a register on a PostgreSQL server: postgresql://user@host/database\n"
    "               (the password from ~/.pgpass, never on the command line)\n"
    "  init URL     create the register's tables on the server and print the GRANTs that\n"
    "               let a role work in it without changing its tables\n"
    "  check URL    connect and check the tables' version and that every table is there\n"
    "  copy SOURCE TARGET\n"
    "               file to server: every table, in batches, then counts and checksums\n"
    "               compared; an interrupted copy run again goes on where it stopped.\n"
    "               server to file: one consistent snapshot into a new encrypted file\n"
    "  -h, --help   print this text and exit\n";

static int init(const QString& path)
{
    QString error;
    if (!k27::createProgramDatabase(path, &error))
        return fail(error);
    if (Database::isServerUrl(path)) {
        Database db;
        if (!db.open(path) || !k27::audit::ensureLog(db))
            return fail(db.lastError());
        std::printf("created the register's tables at %s\n"
                    "For the desks' role (here k27; the first start then asks for the first operator):\n"
                    "CREATE ROLE k27 LOGIN PASSWORD '...';\n%s",
                    qPrintable(path),
                    qPrintable(k27::serverGrants(QStringLiteral("k27"),
                                                 db.scalar(QStringLiteral("SELECT current_schema()")).toString())));
        return 0;
    }
    std::printf("created %s\n", qPrintable(path));
    return 0;
}

static int checkServer(const QString& url)
{
    Database db;
    if (!db.open(url))
        return fail(QStringLiteral("cannot use the register at %1 (%2)").arg(url, db.lastError()));
    QString problem;
    if (k27::serverSchemaState(db, &problem) == k27::SchemaState::None)
        return fail(QStringLiteral("%1 holds no register (k27-db init makes one)").arg(url));
    if (k27::serverSchemaState(db, &problem) != k27::SchemaState::Current)
        return fail(problem);
    if (!k27::hasRegisterTables(db, &problem))
        return fail(problem);
    for (const QString& line : k27::registerDigest(db, &problem))
        std::printf("%s\n", qPrintable(line));
    std::printf("ok %s\n", qPrintable(url));
    return 0;
}

static int copy(const QString& source, const QString& target)
{
    k27::RegisterCopy copy;
    copy.prepareTarget = [](Database& db) { return k27::audit::ensureLog(db); };
    copy.progress = [](const QString& table, qint64 done, qint64 total) {
        std::printf("%s %lld/%lld\n", qPrintable(table), static_cast<long long>(done), static_cast<long long>(total));
        std::fflush(stdout);
    };
    QString error;
    if (!copy.run(source, target, &error))
        return fail(error);
    std::printf("copied %s to %s; every table's rows and checksum agree\n", qPrintable(source), qPrintable(target));
    return 0;
}

static int check(const QString& path)
{
    if (Database::isServerUrl(path))
        return checkServer(path);
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

static int verifyLog(const QString& path, const QString& code)
{
    Database db;
    if (!db.open(path, true))
        return fail(QStringLiteral("cannot open %1 with the database password (%2)").arg(path, db.lastError()));
    if (!db.hasTable(QStringLiteral("操作日志")))
        return fail(QStringLiteral("%1 has no operator log").arg(path));
    const k27::audit::Verdict v = code.isEmpty() ? k27::audit::verify(db) : k27::audit::verifyAgainstHead(db, code);
    if (!v.intact())
        return fail(v.text);
    std::printf("%s\nhead %s\n", qPrintable(v.text), qPrintable(k27::audit::headCode(v.count, v.head)));
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("verify-log")) {
        if (args.size() == 3)
            return verifyLog(args[2], {});
        if (args.size() == 5 && args[3] == QLatin1String("--head"))
            return verifyLog(args[2], args[4]);
    }
    if (args.size() == 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h"))) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (args.size() == 4 && args[1] == QLatin1String("copy"))
        return copy(args[2], args[3]);
    if (args.size() != 3)
        return fail(QStringLiteral(
            "usage: k27-db init|check|verify-log PATH, k27-db copy SOURCE TARGET (k27-db --help tells more)"));
    if (args[1] == QLatin1String("init"))
        return init(args[2]);
    if (args[1] == QLatin1String("check"))
        return check(args[2]);
    return fail(QStringLiteral("unknown command %1 (use init, check, copy or verify-log)").arg(args[1]));
}
