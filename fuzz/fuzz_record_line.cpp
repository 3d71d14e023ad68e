// Record files come from terminals and may hold anything. Each input is imported into a scratch
// database: the counts must add up, exactly the records counted as added must be in the table,
// and a time is taken only from a real, fully numeric date and time.
#include "db/Database.h"
#include "db/Schema.h"
#include "records/EntryTime.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"

#include <QByteArray>
#include <QDateTime>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace k27;

namespace {

Database& scratchDatabase()
{
    static QTemporaryDir folder;
    static Database db;
    if (!db.isOpen()) {
        const QString path = folder.path() + QStringLiteral("/Data.kvd");
        if (!db.create(path) || !createProgramTables(db) || !EnsureRecordTable(db))
            std::abort();
    }
    return db;
}

qint64 recordCount(Database& db)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toLongLong();
}

bool onlyDateCharacters(const QString& text)
{
    for (const QChar c : text) {
        if (!(c >= u'0' && c <= u'9') && c != u'-' && c != u'/' && c != u':' && c != u' ')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The date and time fields on their own.
    const QString asText = QString::fromUtf8(bytes);
    const QString when = normaliseEntryTime(asText);
    if (!when.isEmpty()) {
        if (!onlyDateCharacters(asText) || normaliseEntryTime(when) != when
            || !QDateTime::fromString(when, QString::fromLatin1(EntryTimeFormat)).isValid())
            std::abort();
    }

    Database& db = scratchDatabase();
    RecordRows rows;
    const RecordImport::Result result = RecordImport::runBytes(db, bytes, rows, nullptr);
    const qint64 stored = recordCount(db);
    if (!result.readable || result.added + result.skipped > result.read || result.read > result.total + 1
        || stored != result.added || rows.rowCount() != result.added)
        std::abort();
    // A second import of the same file adds nothing: every record is already there.
    const RecordImport::Result again = RecordImport::runBytes(db, bytes, rows, nullptr);
    if (again.added != 0 || recordCount(db) != stored)
        std::abort();
    db.exec(QStringLiteral("DELETE FROM 进出记录"));
    return 0;
}
