#include "TerminalImport.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "db/WriteSteps.h"
#include "platform/ImportProgress.h"
#include "platform/RowChanges.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "terminals/TerminalRegister.h"

namespace k27 {

void TerminalImport::setSource(const QString& path) { m_source = audit::Digest::ofFile(path); }

TerminalImport::Result TerminalImport::run(const Workbook& sheet)
{
    Result result;
    m_answer.clear();
    if (sheet.columns < MinimumColumns) {
        result.tooFewColumns = true;
        return result;
    }
    ensureLookupIndexes(m_db);
    m_db.useBulkWrites();
    Statement lookup(m_db, QStringLiteral("select 地址 from 终端机 where 终端机号 = ?"));
    const QStringList captions{m_language.message(Msg::InstallationAddress)};
    QStringList stored;
    Statement insert(m_db, QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"));
    Statement update(m_db, QStringLiteral("update 终端机 set 地址 = ? where 终端机号 = ?"));

    int stepImported = 0;
    int stepSkipped = 0;
    // The count moves with every row.
    WriteSteps steps(m_db, m_progress, int(sheet.rows.size()), {500, 100, 1});
    steps.settled = [&] {
        result.imported += stepImported;
        result.skipped += stepSkipped;
        stepImported = stepSkipped = 0;
    };
    // Operator log: the import's row goes in with its last rows.
    steps.closing = [&] {
        const int open = steps.failed() ? 0 : 1;
        return audit::record(m_db, audit::Action::TerminalImport, m_source,
                             QStringLiteral("rows: %1; imported: %2; skipped: %3")
                                 .arg(sheet.rows.size()).arg(result.imported + open * stepImported).arg(result.skipped + open * stepSkipped));
    };
    if (!lookup.isValid() || !insert.isValid() || !update.isValid() || !steps.begin())
        steps.fail();

    int read = 0;
    for (const QStringList& row : sheet.rows) {
        if (steps.ended())
            break;
        ++read;
        const QString first = row.value(0);
        const QString address = row.value(1);
        if (first.isEmpty()) {
            ++stepSkipped;
        } else {
            const qint64 number = TerminalRegister::numberOf(first);
            bool failed = false;
            const bool known = lookup.bind(1, number).exists(&failed, &stored);
            if (failed) {
                steps.fail();
                break;
            }
            bool written = false;
            bool tried = false;
            if (!known) {
                tried = true;
                written = insert.bind(1, number).bind(2, address).exec();
            } else {
                // Nothing stays locked while the operator answers; what is done so far is stored.
                if (!m_answer.holdsForAll() && !steps.commitNow())
                    break;
                // The question shows the number as the sheet writes it (0012, not 12).
                const QString question =
                    m_language.message(Msg::OverwriteTerminalStart) + first + m_language.message(Msg::OverwriteEnd)
                    + QStringLiteral("\n\n")
                    + describeChanges(changedFields(captions, stored, {address}),
                                      m_language.message(Msg::OverwriteChanges), m_language.message(Msg::EmptyValue),
                                      m_language.message(Msg::RowUnchanged));
                if (m_answer.decide(question, m_ask)) {
                    tried = true;
                    written = update.bind(1, address).bind(2, number).exec();
                    // Operator log: the overwrite's row, old -> new, in the same step; without it the step goes.
                    if (written && !audit::record(m_db, audit::Action::TerminalOverwrite, QString::number(number),
                                                  audit::changes(captions, stored, {address}))) {
                        steps.fail();
                        break;
                    }
                }
            }
            if (!steps.rowDone(tried, written))
                break;
            ++(written ? stepImported : stepSkipped);
        }
        steps.lineDone(read);
    }
    result.read = steps.finish(read);
    result.writeFailed = steps.failed();
    result.stopped = steps.stopped();
    return result;
}

} // namespace k27
