#include "RecordImport.h"

#include "audit/AuditTrail.h"
#include "EntryTime.h"
#include "platform/BackgroundRun.h"
#include "platform/ImportProgress.h"
#include "RecordQuery.h"
#include "RecordRows.h"
#include "db/RecordBatch.h"
#include "db/RegisterLock.h"
#include "db/Database.h"
#include "db/WriteSteps.h"
#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringDecoder>
#include <QStringTokenizer>
#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <limits>

namespace k27 {

namespace {

// A file naming at least one card in this many of the register's holders has them read in one
// walk rather than looked up card by card.
constexpr qint64 WalkShare = 16;

// The terminal field's number as the table stores it: its leading decimal number, rounded;
// false when it does not fit the 32-bit column.
bool terminalNumber(const QString& field, qint64* number)
{
    // A plain number of up to nine digits, as terminals write it, without the pattern.
    if (!field.isEmpty() && field.size() <= 9) {
        qint64 plain = 0;
        bool digitsOnly = true;
        for (const QChar c : field) {
            if (c < u'0' || c > u'9') {
                digitsOnly = false;
                break;
            }
            plain = plain * 10 + (c.unicode() - u'0');
        }
        if (digitsOnly) {
            *number = plain;
            return true;
        }
    }
    const double value = std::nearbyint(leadingNumber(field));
    if (!(value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max()))
        return false;
    *number = qint64(value);
    return true;
}

// Lines of a device, read in chunks: CR LF, CR and LF each end a line. Both encodings the
// files come in (UTF-8, GB18030) never use these bytes inside a character.
class LineReader
{
public:
    static constexpr qint64 Chunk = 1 << 16;

    explicit LineReader(QIODevice& device) : m_device(device) {}

    // The next line without its break, cut at MaxLineBytes; false at the end or on a read
    // error (see failed()).
    bool next(QByteArray* line)
    {
        line->clear();
        bool any = false;
        for (;;) {
            if (m_pos >= m_buffer.size() && !fill())
                return any;
            if (m_skipLf) { // the LF of a CR LF split between two chunks
                m_skipLf = false;
                if (m_buffer[m_pos] == '\n') {
                    ++m_pos;
                    continue;
                }
            }
            any = true;
            qsizetype end = m_pos;
            const qsizetype size = m_buffer.size();
            const char* data = m_buffer.constData();
            while (end < size && data[end] != '\r' && data[end] != '\n')
                ++end;
            const qsizetype room = RecordImport::MaxLineBytes - line->size();
            line->append(data + m_pos, qMin(end - m_pos, qMax<qsizetype>(room, 0)));
            if (end == size) {
                m_pos = end;
                continue;
            }
            ++m_breaks;
            m_skipLf = data[end] == '\r';
            m_pos = end + 1;
            return true;
        }
    }

    int breaks() const { return m_breaks; }
    bool failed() const { return m_failed; }
    // Every chunk read so far is also given here (the first pass checks the encoding).
    std::function<void(QByteArrayView)> onChunk;

private:
    bool fill()
    {
        m_buffer.resize(Chunk);
        const qint64 got = m_device.read(m_buffer.data(), Chunk);
        if (got < 0)
            m_failed = true;
        m_buffer.resize(qMax<qint64>(got, 0));
        m_pos = 0;
        if (got > 0 && onChunk)
            onChunk(m_buffer);
        return got > 0;
    }

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    int m_breaks = 0;
    bool m_skipLf = false;
    bool m_failed = false;
};

// The first pass: the line total, and whether the whole file is UTF-8 (else GB18030).
struct FileShape
{
    bool readable = false;
    int lines = 0;
    bool utf8 = true;
    QString source; // the file as the operator log names it: name, size, digest
};

FileShape scanFile(QIODevice& file, ImportProgress* progress)
{
    FileShape shape;
    QStringDecoder check(QStringDecoder::Utf8);
    QElapsedTimer sincePump;
    sincePump.start();
    audit::Digest digest; // of the bytes this pass reads anyway
    LineReader counter(file);
    counter.onChunk = [&](QByteArrayView chunk) {
        digest.add(chunk.data(), chunk.size());
        if (shape.utf8) {
            const QString decoded = check.decode(chunk); // decoding happens on conversion
            shape.utf8 = !check.hasError();
        }
        if (progress && sincePump.elapsed() >= 50) {
            progress->idle();
            sincePump.restart();
        }
    };
    QByteArray line;
    while (counter.next(&line)) {
    }
    if (counter.failed() || !file.seek(0))
        return {};
    shape.readable = true;
    shape.lines = counter.breaks();
    const auto* named = qobject_cast<const QFile*>(&file);
    shape.source = audit::fileText(named ? named->fileName() : QString(), digest.size(), digest.finish());
    return shape;
}

// One line's fields as the table stores them.
struct RecordLine
{
    QString terminalText, card, when, weekday;
    qint64 terminal = 0;
};

enum class LineKind { NoRecord, Refused, Record };

// A line without a comma holds no record. A bad date or time, a card or weekday wider than
// its column, or a terminal number beyond the column's range would be refused by the table.
LineKind parseLine(const QString& line, RecordLine* out)
{
    if (!line.contains(u','))
        return LineKind::NoRecord;
    std::array<QString, 5> field;
    int i = 0;
    for (const QStringView part : QStringTokenizer(line, u',')) {
        if (i == 5)
            break;
        field[i++] = TrimAtNul(part.toString());
    }
    out->when = normaliseEntryTime(field[2] + u' ' + field[3]);
    if (out->when.isEmpty() || field[1].size() > RecordImport::CardWidth || field[4].size() > RecordImport::WeekdayWidth
        || !terminalNumber(field[0], &out->terminal))
        return LineKind::Refused;
    out->terminalText = std::move(field[0]);
    out->card = std::move(field[1]);
    out->weekday = std::move(field[4]);
    return LineKind::Record;
}

// Where a terminal stands, for the rows shown.
class Places
{
public:
    explicit Places(Database& db)
    {
        db.query(QStringLiteral("SELECT 终端机号, 地址 FROM 终端机 WHERE 地址 IS NOT NULL AND 地址 <> ''"), {},
                 [&](const Row& row) {
                     if (!row.isNull(0) && !m_places.contains(row.integer(0)))
                         m_places.insert(row.integer(0), row.text(1));
                     return true;
                 });
    }
    QString place(qint64 terminal) const { return m_places.value(terminal); }

private:
    QHash<qint64, QString> m_places;
};

// Who holds the cards of the rows added (a card given twice: its first holder), looked up once
// the lines are stored, each card once: in card order through the card index, or, when the
// file names a good share of the register's cards, in one walk through the holders, which
// then costs less than a look per card. Only the holders of those cards are kept: a register
// of a hundred thousand holders would cost tens of megabytes.
void fillHolders(Database& db, RecordRows& rows)
{
    QStringList cards = rows.cardsWithoutHolder();
    if (cards.isEmpty())
        return;
    QHash<QString, RecordRows::HolderTexts> holders;
    holders.reserve(cards.size());
    const qint64 registered = db.scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toLongLong();
    if (qint64(cards.size()) * WalkShare >= registered) {
        const QSet<QString> wanted(cards.cbegin(), cards.cend());
        cards.clear();
        db.query(QStringLiteral("SELECT 卡号, 姓名, 部门, 住址 FROM 用户信息 WHERE 卡号 IS NOT NULL ORDER BY ID"), {},
                 [&](const Row& row) {
                     const QString card = row.text(0);
                     if (wanted.contains(card) && !holders.contains(card))
                         holders.insert(card, {row.text(1), row.text(2), row.text(3)});
                     return true;
                 });
    } else {
        std::sort(cards.begin(), cards.end()); // neighbouring index pages one after the other
        Statement holder(db,
                         QStringLiteral("SELECT 姓名, 部门, 住址 FROM 用户信息 WHERE 卡号 = ? ORDER BY ID LIMIT 1"));
        QStringList texts;
        bool failed = false;
        for (const QString& card : std::as_const(cards))
            if (holder.bind(1, card).exists(&failed, &texts))
                holders.insert(card, {texts.value(0), texts.value(1), texts.value(2)});
    }
    rows.fillHolders(holders);
}

// Terminal files come in time order, mostly newer than every stored record. A record newer
// than all stored before the run can only have been stored by the run itself, and in time
// order only at the latest time seen: such lines are told apart by the cards stored at that
// time, without a look into the index. Any other line has the look. Another connection's
// commit (seen once the step holds the write lock) sets the bound anew.
class NewRecords
{
public:
    enum class Verdict { Unknown, New, Repeat };

    explicit NewRecords(Database& db) : m_db(db) {}

    // A step begins: nothing is known until it holds the write lock.
    void stepBegun() { m_locked = false; }
    // A write of the step ran: no other connection commits until the step's end.
    void wrote()
    {
        // Only a writer that keeps all others out knows nobody stores the same record
        // meanwhile; elsewhere every line is looked up.
        if (m_locked || !m_db.oneWriterAtATime())
            return;
        m_locked = true;
        const qint64 version = m_db.dataVersion();
        if (version == m_version && m_known)
            return;
        m_version = version;
        m_known = true;
        m_latest = m_db.scalar(QStringLiteral("SELECT max(进出时间) FROM 进出记录")).toString();
        m_floor = m_latest;
        m_cards.clear();
    }
    Verdict judge(const QString& card, const QString& when)
    {
        if (!m_locked || !(when > m_floor) || when < m_latest)
            return Verdict::Unknown;
        if (when != m_latest) {
            m_latest = when;
            m_cards.clear();
        }
        return m_cards.contains(card) ? Verdict::Repeat : Verdict::New;
    }
    // A line judged new was stored.
    void stored(const QString& card) { m_cards.insert(card); }

private:
    Database& m_db;
    bool m_locked = false;
    bool m_known = false;
    qint64 m_version = 0;
    QString m_floor;  // the newest entry time stored by others
    QString m_latest; // the latest time of the lines judged
    QSet<QString> m_cards;
};

// The steps of a run on the window's thread are short, so that events run often. A run on a
// thread of its own commits its first 500 rows at once (they show, and a stop is seen), then
// once a second whatever its rows: each commit writes every page its step touched (into a
// large card index, nearly all of them), so fewer commits cost less.
constexpr WriteSteps::Policy WindowSteps{500, 100, RecordImport::ProgressStep, 0};
constexpr WriteSteps::Policy BackgroundSteps{500, 1000, RecordImport::ProgressStep, 1 << 30, true};

// Stores the records of the lines, each once (a card and time already stored is left out),
// and shows each stored one. On the file line by line, as it comes; on a server the lines are
// held and stored in batches (line by line each would be a trip to the server and back).
class RecordWriter
{
public:
    enum class Outcome { Added, Skipped, Refused, Held };

    RecordWriter(Database& db, RecordRows& rows)
        : m_db(db), m_rows(rows), m_places(db), m_newRecords(db), m_batch(db), m_batching(db.isServer())
    {
    }

    bool isValid() const { return m_insert.isValid() && m_insertNew.isValid(); }
    void stepBegun() { m_newRecords.stepBegun(); }

    // Refused: the statement was refused and the steps end the run. Held: kept for the batch.
    Outcome write(const RecordLine& record, WriteSteps& steps)
    {
        if (m_batching) {
            m_batch.add(record.card, record.terminal, record.when, record.weekday);
            m_held.push_back(record);
            return Outcome::Held;
        }
        const NewRecords::Verdict verdict = m_newRecords.judge(record.card, record.when);
        if (verdict == NewRecords::Verdict::Repeat)
            return Outcome::Skipped;
        bool written = false;
        const bool ran = store(verdict == NewRecords::Verdict::New ? m_insertNew : m_insert, record, &written);
        if (ran)
            m_newRecords.wrote();
        if (written && verdict == NewRecords::Verdict::New)
            m_newRecords.stored(record.card);
        // A statement that ran but stored nothing met a record already stored; one
        // refused for the file's sake ends the run.
        if (!ran && !steps.rowDone(true, false))
            return Outcome::Refused;
        if (!written)
            return Outcome::Skipped; // stored already, or refused: not counted as added
        steps.wrote();
        show(record);
        return Outcome::Added;
    }

    // Never more held than the step may take: its first rows show (and a stop is seen) as
    // soon as line by line.
    bool batchDue(const WriteSteps& steps) const { return m_batch.size() >= qMin(RecordBatch::Lines, steps.room()); }

    // Stores the lines held and counts them; false when the run must end.
    bool flush(WriteSteps& steps, int* added, int* skipped)
    {
        std::vector<char> stored;
        if (!m_batch.store(&stored)) {
            // A line the table refuses spoils the whole statement: line by line, it alone stays out.
            if (!m_db.lastErrorRefusedRow())
                return false;
            stored.assign(m_held.size(), 0);
            for (size_t i = 0; i < m_held.size(); ++i) {
                bool written = false;
                if (!store(m_insert, m_held[i], &written) && !steps.rowDone(true, false))
                    return false;
                stored[i] = written;
            }
        }
        for (size_t i = 0; i < m_held.size(); ++i) {
            if (!stored[i]) {
                ++*skipped;
                continue;
            }
            steps.wrote();
            ++*added;
            show(m_held[i]);
        }
        m_batch.clear();
        m_held.clear();
        return true;
    }

private:
    // One line alone; false when the statement was refused.
    bool store(Statement& statement, const RecordLine& record, bool* written)
    {
        const bool ran =
            statement.bind(1, record.card).bind(2, record.terminal).bind(3, record.when).bind(4, record.weekday).exec();
        *written = ran && m_db.changes() > 0;
        return ran;
    }
    void show(const RecordLine& record)
    {
        m_rows.append({record.when, record.weekday, QString(), QString(), QString(), record.terminalText,
                       m_places.place(record.terminal), record.card});
    }

    Database& m_db;
    RecordRows& m_rows;
    const Places m_places;
    // A record already stored (same card and time) is not stored again: the test and the
    // insert in one statement, one trip through the engine per line instead of two.
    Statement m_insert{m_db,
                       QStringLiteral("INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) SELECT ?1, ?2, ?3, ?4"
                                      " WHERE NOT EXISTS (SELECT 1 FROM 进出记录 WHERE 卡号 = ?1 AND 进出时间 = ?3)")};
    Statement m_insertNew{
        m_db, QStringLiteral("INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) VALUES (?1, ?2, ?3, ?4)")};
    NewRecords m_newRecords;
    RecordBatch m_batch;
    std::vector<RecordLine> m_held;
    const bool m_batching;
};

// Reads the lines and stores their records in steps; the committed ones count and are shown.
RecordImport::Result importLines(Database& db, QIODevice& file, const FileShape& shape, RecordRows& rows,
                                 ImportProgress* progress, WriteSteps::Policy policy)
{
    RecordImport::Result result;
    result.readable = true;
    result.total = shape.lines;
    RecordWriter writer(db, rows);

    // What the open step has done; it counts once the step is committed. Its rows go into the
    // table at once and leave it again if the step is not committed.
    int stepAdded = 0;
    int stepSkipped = 0;
    int shownRows = 0;
    WriteSteps steps(db, progress, result.total, policy);
    steps.settled = [&] {
        result.added += stepAdded;
        result.skipped += stepSkipped;
        stepAdded = stepSkipped = 0;
        shownRows = rows.rowCount();
        writer.stepBegun();
    };
    // Operator log: the import's row goes in with its last rows.
    steps.closing = [&] {
        const int open = steps.failed() ? 0 : 1;
        return audit::record(db, audit::Action::RecordImport, shape.source,
                             QStringLiteral("lines: %1; added: %2; skipped: %3")
                                 .arg(result.total)
                                 .arg(result.added + open * stepAdded)
                                 .arg(result.skipped + open * stepSkipped));
    };
    // On a shared register another desk may import the same lines: the steps of record imports
    // go one after another, so that each looks for its lines among every line committed before.
    steps.opened = [&db] { return RegisterLock::queueRecordWrites(db); };
    steps.flushing = [&] { return writer.flush(steps, &stepAdded, &stepSkipped); };
    if (!writer.isValid() || !steps.begin())
        steps.fail();

    QStringDecoder gb18030("GB18030");
    LineReader reader(file);
    QByteArray bytes;
    RecordLine record;
    int read = 0;
    while (!steps.ended() && reader.next(&bytes)) {
        if (read == 0 && shape.utf8 && bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        if (bytes.isEmpty())
            break; // nothing after an empty line is read
        ++read;
        const QString line = shape.utf8 ? QString::fromUtf8(bytes) : gb18030.decode(bytes);
        switch (parseLine(line, &record)) {
        case LineKind::NoRecord: break;
        case LineKind::Refused: ++stepSkipped; break;
        case LineKind::Record:
            switch (writer.write(record, steps)) {
            case RecordWriter::Outcome::Added: ++stepAdded; break;
            case RecordWriter::Outcome::Skipped: ++stepSkipped; break;
            case RecordWriter::Outcome::Refused: break;
            case RecordWriter::Outcome::Held:
                if (writer.batchDue(steps) && !steps.flushing())
                    steps.fail();
                break;
            }
            break;
        }
        steps.lineDone(read);
    }
    // The import's last step commits here, with the counts of the whole run.
    // A read error half-way keeps what was read before it.
    result.read = steps.finish(read);
    result.writeFailed = steps.failed();
    result.stopped = steps.stopped();
    // Rows of a step that was not committed leave the table.
    if (rows.rowCount() > shownRows && (result.writeFailed || result.stopped))
        rows.removeRows(shownRows + 1, rows.rowCount());
    fillHolders(db, rows);
    return result;
}

RecordImport::Result importDevice(Database& db, QIODevice& file, RecordRows& rows, ImportProgress* progress,
                                  WriteSteps::Policy policy)
{
    const FileShape shape = scanFile(file, progress);
    if (!shape.readable)
        return {};
    RecordQuery::ensureIndexes(db);
    db.useBulkWrites(RecordImport::CacheKb);
    rows.clear();
    // On a server a step's rows go in one statement per batch, not row by row: steps grow to a
    // whole batch, still committed by age.
    if (db.isServer())
        policy.growTo = qMax(policy.growTo, RecordBatch::Lines);
    const RecordImport::Result result = importLines(db, file, shape, rows, progress, policy);
    // The window's connection keeps a page cache of its usual size once the run is over.
    db.endBulkWrites();
    return result;
}

} // namespace

RecordImport::Result RecordImport::run(Database& db, const QString& path, RecordRows& rows, ImportProgress* progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return runDevice(db, file, rows, progress);
}

RecordImport::Result RecordImport::runBytes(Database& db, const QByteArray& bytes, RecordRows& rows,
                                            ImportProgress* progress)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return runDevice(db, buffer, rows, progress);
}

RecordImport::Result RecordImport::runDevice(Database& db, QIODevice& file, RecordRows& rows, ImportProgress* progress)
{
    return importDevice(db, file, rows, progress, WindowSteps);
}

RecordImport::Result RecordImport::runInBackground(Database& db, const QString& path, RecordRows& rows,
                                                   ImportProgress* progress)
{
    Result result;
    RecordRows added;
    k27::runInBackground(progress, [&](ImportProgress& relay) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        result = importDevice(db, file, added, &relay, BackgroundSteps);
        // The file alone holds the import when it is over, and the window's thread does not
        // wait for that copy.
        if (result.readable)
            db.checkpoint();
    });
    // The window shows the old rows until the run is over: its table is not written meanwhile.
    if (result.readable)
        rows = std::move(added);
    return result;
}

QString RecordImport::summary(const LanguageTable& language, const Result& result)
{
    return importSummary(language, result.added, result.skipped, result.writeFailed, 0, result.stopped);
}

} // namespace k27
