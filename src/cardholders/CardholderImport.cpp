#include "CardholderImport.h"

#include "db/Database.h"
#include "platform/ImportProgress.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

namespace k27 {

namespace {
enum Column { Name, Gender, Department, Position, Address, Phone, Card, Terminals, Validity };
} // namespace

CardholderImport::Result CardholderImport::run(const Workbook& sheet)
{
    Result result;
    m_answer.clear();
    if (sheet.columns < MinimumColumns) {
        result.tooFewColumns = true;
        return result;
    }
    const int total = int(sheet.rows.size());
    if (m_progress)
        m_progress->begin(total);
    for (const QStringList& row : sheet.rows) {
        ++result.read;
        QStringList v;
        for (int c = 0; c < MinimumColumns; ++c)
            v << TrimAtNul(row.value(c));
        if (v[Name].isEmpty() || v[Phone].isEmpty()) {
            ++result.skipped;
        } else {
            // Inserts store the name followed by one blank; every lookup therefore compares
            // the name without trailing blanks.
            const bool known = m_db.exists(
                QStringLiteral("select 1 from 用户信息 where rtrim(姓名) = ? and 电话 = ?"), {v[Name], v[Phone]});
            bool written = false;
            if (!known) {
                written = m_db.exec(QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, "
                                                   "权限终端机, 时间期限) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                    {v[Name] + QLatin1Char(' '), v[Gender], v[Department], v[Position], v[Address],
                                     v[Phone], v[Card], v[Terminals], v[Validity]});
            } else {
                const QString question = m_language.message(123) + v[Name] + m_language.message(124);
                if (m_answer.decide(question, m_ask))
                    written = m_db.exec(QStringLiteral("update 用户信息 set 性别 = ?, 部门 = ?, 职位 = ?, 住址 = ?, "
                                                       "卡号 = ?, 权限终端机 = ?, 时间期限 = ? "
                                                       "where rtrim(姓名) = ? and 电话 = ?"),
                                        {v[Gender], v[Department], v[Position], v[Address], v[Card], v[Terminals],
                                         v[Validity], v[Name], v[Phone]});
            }
            ++(written ? result.imported : result.skipped);
        }
        if (m_progress && result.read % ProgressStep == 0)
            m_progress->advance(result.read, total);
    }
    if (m_progress)
        m_progress->end(result.read, total);
    return result;
}

} // namespace k27
