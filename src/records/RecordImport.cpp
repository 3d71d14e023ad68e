#include "RecordImport.h"

#include "EntryTime.h"
#include "platform/ImportProgress.h"
#include "RecordQuery.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QStringView>
#include <array>
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
    const double value = std::nearbyint(leadingNumber(field));
    if (!(value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max()))
        return false;
    *number = qint64(value);
    return true;
}

} // namespace

RecordImport::Result RecordImport::run(Database& db, const QString& path, RecordRows& rows,
                                       ImportProgress* progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    file.close();
    return runBytes(db, bytes, rows, progress);
}

RecordImport::Result RecordImport::runBytes(Database& db, const QByteArray& bytes, RecordRows& rows,
                                            ImportProgress* progress)
{
    Result result;
    result.readable = true;
    const QString text = LanguageTable::decode(bytes);
    const QList<QStringView> lines = splitLines(text, &result.total);

    RecordQuery::ensureIndexes(db);
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

    if (progress) {
        progress->begin(result.total);
    }

    const QString duplicateSql = QStringLiteral("SELECT 1 FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?");
    const QString insertSql =
        QStringLiteral("INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) VALUES (?, ?, ?, ?)");
    // One transaction per chunk of lines: fast, and an interrupted run keeps the chunks done.
    bool inTransaction = db.beginTransaction();

    for (const QStringView line : lines) {
        if (line.isEmpty())
            break;   // nothing after an empty line is read
        ++result.read;

        if (line.contains(u',')) {
            const QList<QStringView> parts = line.split(u',');
            std::array<QString, 5> field;
            for (int i = 0; i < 5 && i < parts.size(); ++i)
                field[i] = TrimAtNul(parts[i].toString());

            const QString when = normaliseEntryTime(field[2] + u' ' + field[3]);
            qint64 terminal = 0;
            // A card or weekday wider than its column, or a terminal number beyond the
            // column's range, would be refused by the table: such a line is not stored.
            if (when.isEmpty() || field[1].size() > CardWidth || field[4].size() > WeekdayWidth
                || !terminalNumber(field[0], &terminal)
                || db.exists(duplicateSql, {field[1], when})) {
                ++result.skipped;
            } else if (!db.exec(insertSql, {field[1], terminal, when, field[4]})) {
                ++result.skipped;   // not stored, so not counted as added
            } else {
                ++result.added;
                const Holder holder = holders.value(field[1]);
                rows.append({when, field[4], holder.name, holder.department, holder.address, field[0],
                             places.value(terminal), field[1]});
            }
        }

        // Window events run only between transactions: a device reply handled meanwhile must
        // be able to write its card at once.
        const bool report = progress && result.read % ProgressStep == 0;
        if (inTransaction && (report || result.read % CommitStep == 0)) {
            db.commit();
            inTransaction = false;
        }
        if (report)
            progress->advance(result.read, result.total);
        if (!inTransaction)
            inTransaction = db.beginTransaction();
    }
    if (inTransaction)
        db.commit();
    if (progress)
        progress->end(result.read, result.total);
    return result;
}

QString RecordImport::summary(const LanguageTable& language, const Result& result)
{
    return importSummary(language, result.added, result.skipped);
}

} // namespace k27
