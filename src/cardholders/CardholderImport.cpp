#include "CardholderImport.h"
#include "cardholders/CardholderKey.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "db/WriteSteps.h"
#include "platform/ImportProgress.h"
#include "platform/RowChanges.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

namespace k27 {

namespace {
enum Column { Name, Gender, Department, Position, Address, Phone, Card, Terminals, Validity };
} // namespace

void CardholderImport::setSource(const QString& path) { m_source = audit::Digest::ofFile(path); }

CardholderImport::Result CardholderImport::run(const Workbook& sheet)
{
    int next = 0;
    return run(sheet.columns, int(sheet.rows.size()), [&](QStringList* row) {
        if (next >= sheet.rows.size())
            return false;
        *row = sheet.rows[next++];
        return true;
    });
}

CardholderImport::Result CardholderImport::run(int columns, int total, const RowSource& next)
{
    Result result;
    m_answer.clear();
    if (columns < MinimumColumns) {
        result.tooFewColumns = true;
        return result;
    }
    ensureLookupIndexes(m_db);
    m_db.useBulkWrites();
    // The stored values an overwrite would replace, in the order the update writes them.
    Statement lookup(m_db, QStringLiteral("select 性别, 部门, 职位, 住址, 卡号, 权限终端机, 时间期限 from 用户信息")
                               + cardholderKeyCondition());
    QStringList captions;
    for (int message : {77, 78, 79, 80, 82, 83, 84})
        captions << m_language.message(message);
    QStringList stored;
    Statement insert(m_db, QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, "
                                          "时间期限) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    Statement update(m_db, QStringLiteral("update 用户信息 set 性别 = ?, 部门 = ?, 职位 = ?, 住址 = ?, 卡号 = ?, "
                                          "权限终端机 = ?, 时间期限 = ?")
                               + cardholderKeyCondition());

    // What the open step did counts once the step is committed.
    int stepImported = 0;
    int stepSkipped = 0;
    WriteSteps steps(m_db, m_progress, total, {500, 100, ProgressStep, 8000});
    steps.settled = [&] {
        result.imported += stepImported;
        result.skipped += stepSkipped;
        stepImported = stepSkipped = 0;
    };
    // Operator log: the import's row goes in with its last rows.
    steps.closing = [&] {
        const int open = steps.failed() ? 0 : 1;
        return audit::record(m_db, audit::Action::HolderImport, m_source,
                             QStringLiteral("rows: %1; imported: %2; skipped: %3")
                                 .arg(total).arg(result.imported + open * stepImported).arg(result.skipped + open * stepSkipped));
    };
    if (!lookup.isValid() || !insert.isValid() || !update.isValid() || !steps.begin())
        steps.fail();

    QStringList row;
    QStringList v;
    int read = 0;
    while (!steps.ended() && next(&row)) {
        ++read;
        v.clear();
        for (int c = 0; c < MinimumColumns; ++c)
            v << TrimAtNul(row.value(c));
        if (v[Name].isEmpty() || v[Phone].isEmpty()) {
            ++stepSkipped;
        } else {
            bool failed = false;
            const bool known = lookup.bind(1, v[Name]).bind(2, v[Phone]).exists(&failed, &stored);
            if (failed) {
                steps.fail();
                break;
            }
            bool written = false;
            bool tried = false;
            if (!known) {
                tried = true;
                written = insert.bind(1, v[Name] + QLatin1Char(' '))
                              .bind(2, v[Gender]).bind(3, v[Department]).bind(4, v[Position])
                              .bind(5, v[Address]).bind(6, v[Phone]).bind(7, v[Card])
                              .bind(8, v[Terminals]).bind(9, v[Validity])
                              .exec();
            } else {
                // The operator may take a while to answer, and events run meanwhile: nothing
                // stays locked, and what is done so far is stored.
                if (!m_answer.holdsForAll() && !steps.commitNow())
                    break;
                const QString question =
                    m_language.message(Msg::OverwriteCardholderStart) + v[Name] + m_language.message(Msg::OverwriteEnd)
                    + QStringLiteral("\n\n")
                    + describeChanges(changedFields(captions, stored,
                                       {v[Gender], v[Department], v[Position], v[Address], v[Card], v[Terminals],
                                        v[Validity]}),
                                      m_language.message(Msg::OverwriteChanges), m_language.message(Msg::EmptyValue),
                                      m_language.message(Msg::RowUnchanged));
                if (m_answer.decide(question, m_ask)) {
                    tried = true;
                    written = update.bind(1, v[Gender]).bind(2, v[Department]).bind(3, v[Position])
                                  .bind(4, v[Address]).bind(5, v[Card]).bind(6, v[Terminals])
                                  .bind(7, v[Validity]).bind(8, v[Name]).bind(9, v[Phone])
                                  .exec();
                    // Operator log: the overwrite's row, old -> new, in the same step; without it the step goes.
                    if (written && !audit::record(m_db, audit::Action::HolderOverwrite, v[Name] + QLatin1Char(' ') + v[Phone],
                                                  audit::changes(captions, stored, {v[Gender], v[Department], v[Position], v[Address],
                                                                                    v[Card], v[Terminals], v[Validity]}))) {
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
