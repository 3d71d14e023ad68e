#include "TerminalImport.h"

#include "platform/ImportProgress.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"
#include "terminals/TerminalRegister.h"

namespace k27 {

TerminalImport::Result TerminalImport::run(const Workbook& sheet)
{
    Result result;
    m_answer.clear();
    if (sheet.columns < MinimumColumns) {
        result.tooFewColumns = true;
        return result;
    }
    TerminalRegister terminals(m_db);
    const int total = int(sheet.rows.size());
    if (m_progress)
        m_progress->begin(total);
    for (const QStringList& row : sheet.rows) {
        ++result.read;
        const QString first = row.value(0);
        const QString address = row.value(1);
        if (first.isEmpty()) {
            ++result.skipped;
        } else {
            const qint64 number = TerminalRegister::numberOf(first);
            bool written = false;
            if (!terminals.exists(number)) {
                written = terminals.insert(number, address);
            } else {
                // The question shows the number as the sheet writes it (0012, not 12).
                const QString question = m_language.message(122) + first + m_language.message(124);
                if (m_answer.decide(question, m_ask))
                    written = terminals.updateAddress(number, address);
            }
            ++(written ? result.imported : result.skipped);
        }
        if (m_progress)
            m_progress->advance(result.read, total);
    }
    if (m_progress)
        m_progress->end(result.read, total);
    return result;
}

} // namespace k27
