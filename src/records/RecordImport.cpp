#include "RecordImport.h"

#include "audit/AuditTrail.h"
#include "EntryTime.h"
#include "platform/ImportProgress.h"
#include "RecordQuery.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "db/WriteSteps.h"
#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <array>
#include <functional>
#include <cmath>
#include <limits>

namespace k27 {

namespace {

struct Holder {
    QString name, department, address;
};

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
            if (m_skipLf) {   // the LF of a CR LF split between two chunks
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

} // namespace

RecordImport::Result RecordImport::run(Database& db, const QString& path, RecordRows& rows,
                                       ImportProgress* progress)
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

RecordImport::Result RecordImport::runDevice(Database& db, QIODevice& file, RecordRows& rows,
                                             ImportProgress* progress)
{
    Result result;
    audit::Digest digest;   // of the bytes the first pass reads anyway
    // First pass: the line total, and whether the whole file is UTF-8 (else GB18030).
    bool utf8 = true;
    {
        QStringDecoder check(QStringDecoder::Utf8);
        QElapsedTimer sincePump;
        sincePump.start();
        LineReader counter(file);
        counter.onChunk = [&](QByteArrayView chunk) {
            digest.add(chunk.data(), chunk.size());
            if (utf8) {
                const QString decoded = check.decode(chunk);   // decoding happens on conversion
                utf8 = !check.hasError();
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
        result.total = counter.breaks();
    }
    result.readable = true;

    RecordQuery::ensureIndexes(db);
    db.useBulkWrites();
    rows.clear();

    QHash<QString, Holder> holders;
    db.query(QStringLiteral("SELECT 卡号, 姓名, 部门, 住址 FROM 用户信息 WHERE 卡号 IS NOT NULL AND 卡号 <> ''"
                            " ORDER BY ID"),
             {}, [&](const Row& row) {
                 const QString card = row.text(0);
                 if (!holders.contains(card))   // a card given twice: its first holder
                     holders.insert(card, {row.text(1), row.text(2), row.text(3)});
                 return true;
             });
    QHash<qint64, QString> places;
    db.query(QStringLiteral("SELECT 终端机号, 地址 FROM 终端机 WHERE 地址 IS NOT NULL AND 地址 <> ''"), {},
             [&](const Row& row) {
                 if (!row.isNull(0) && !places.contains(row.integer(0)))
                     places.insert(row.integer(0), row.text(1));
                 return true;
             });

    // A record already stored (same card and time) is not stored again: the test and the
    // insert in one statement, one trip through the engine per line instead of two.
    Statement insert(db, QStringLiteral("INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) SELECT ?1, ?2, ?3, ?4"
                                        " WHERE NOT EXISTS (SELECT 1 FROM 进出记录 WHERE 卡号 = ?1 AND 进出时间 = ?3)"));

    // What the open step has done; it counts (and its rows are shown) once the step is committed.
    int stepAdded = 0;
    int stepSkipped = 0;
    QList<QStringList> stepRows;
    WriteSteps steps(db, progress, result.total, {500, 100, ProgressStep});
    steps.settled = [&] {
        result.added += stepAdded;
        result.skipped += stepSkipped;
        for (const QStringList& row : std::as_const(stepRows))
            rows.append(row);
        stepAdded = stepSkipped = 0;
        stepRows.clear();
    };
    const auto* named = qobject_cast<const QFile*>(&file);
    const QString source = audit::fileText(named ? named->fileName() : QString(), digest.size(), digest.finish());
    steps.closing = [&] {
        const int open = steps.failed() ? 0 : 1;
        return audit::record(db, audit::Action::RecordImport, source,
                             QStringLiteral("lines: %1; added: %2; skipped: %3")
                                 .arg(result.total).arg(result.added + open * stepAdded).arg(result.skipped + open * stepSkipped));
    };
    if (!insert.isValid() || !steps.begin())
        steps.fail();

    QStringDecoder gb18030("GB18030");
    LineReader reader(file);
    QByteArray bytes;
    int read = 0;
    while (!steps.ended() && reader.next(&bytes)) {
        if (read == 0 && utf8 && bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        if (bytes.isEmpty())
            break;   // nothing after an empty line is read
        ++read;
        const QString line = utf8 ? QString::fromUtf8(bytes) : gb18030.decode(bytes);

        if (line.contains(u',')) {
            const QList<QStringView> parts = QStringView(line).split(u',');
            std::array<QString, 5> field;
            for (int i = 0; i < 5 && i < parts.size(); ++i)
                field[i] = TrimAtNul(parts[i].toString());

            const QString when = normaliseEntryTime(field[2] + u' ' + field[3]);
            qint64 terminal = 0;
            // A card or weekday wider than its column, or a terminal number beyond the
            // column's range, would be refused by the table: such a line is not stored.
            if (when.isEmpty() || field[1].size() > CardWidth || field[4].size() > WeekdayWidth
                || !terminalNumber(field[0], &terminal)) {
                ++stepSkipped;
            } else {
                const bool ran = insert.bind(1, field[1]).bind(2, terminal).bind(3, when).bind(4, field[4]).exec();
                const bool written = ran && db.changes() > 0;
                // A statement that ran but stored nothing met a record already stored; one
                // refused for the file's sake ends the run.
                if (!ran && !steps.rowDone(true, false))
                    break;
                if (written)
                    steps.wrote();
                if (!written) {
                    ++stepSkipped;      // stored already, or refused: not counted as added
                } else {
                    ++stepAdded;
                    const Holder holder = holders.value(field[1]);
                    stepRows.append({when, field[4], holder.name, holder.department, holder.address, field[0],
                                     places.value(terminal), field[1]});
                }
            }
        }
        steps.lineDone(read);
    }
    // A read error half-way keeps what was read before it.
    result.read = steps.finish(read);
    result.writeFailed = steps.failed();
    result.stopped = steps.stopped();
    return result;
}

QString RecordImport::summary(const LanguageTable& language, const Result& result)
{
    return importSummary(language, result.added, result.skipped, result.writeFailed, 0, result.stopped);
}

} // namespace k27
