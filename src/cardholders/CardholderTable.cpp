#include "CardholderTable.h"

#include "cardholders/LikePattern.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

namespace k27 {

namespace {
const QString ListSeparator = QStringLiteral("、");
}

QStringList splitPermissionList(const QString& list)
{
    return list.split(ListSeparator);
}

std::pair<QString, QString> CardholderTable::firstPermission(const QString& terminals, bool terminalsNull,
                                                             const QString& validity)
{
    if (terminalsNull)
        return {};
    if (terminals.isEmpty())
        return {QStringLiteral("      "), QString()};
    return {splitPermissionList(terminals).first(), splitPermissionList(validity).first()};
}

bool CardholderTable::load(Database& db, const std::function<void()>& pump)
{
    m_rows.clear();
    static const QString columns = QStringLiteral(
        "select ID, 姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限 from 用户信息 ");
    const auto addRow = [&](const Row& row) {
        QStringList cols;
        cols.reserve(RowColumns);
        for (int c = 0; c <= 7; ++c)
            cols << row.text(c);
        const auto [terminal, validity] = firstPermission(row.text(8), row.isNull(8), row.text(9));
        cols << terminal << validity;
        m_rows.append(cols);
        if (pump)
            pump();
        return true;
    };
    bool ok = db.query(columns + QStringLiteral("where 卡号 = '' or 卡号 is null order by 姓名"), {}, addRow);
    ok = db.query(columns + QStringLiteral("where 卡号 <> '' order by 姓名"), {}, addRow) && ok;
    for (auto& view : m_views)
        view.clear();
    return ok;
}

void CardholderTable::filter(View view, const QStringList& searchTexts, bool cardOnly)
{
    QList<QStringList>& m_view = m_views[view];
    m_view.clear();
    // Each pattern is compiled once for the whole search, not once per row.
    QVector<LikePattern> patterns;
    for (int i = 0; i < 4; ++i)
        patterns.append(LikePattern(QLatin1Char('*') + trimRight(searchTexts.value(i).left(SearchTextLength))
                                    + QLatin1Char('*')));
    static const int searched[4] = {1, 7, 3, 5};
    for (const QStringList& row : std::as_const(m_rows)) {
        bool pass = true;
        for (int i = 0; i < 4 && pass; ++i)
            pass = patterns[i].matches(row.value(searched[i]));
        if (pass && cardOnly)
            pass = !row.value(7).isEmpty();
        if (pass)
            m_view.append(row);
    }
}

QString CardholderTable::rowText(int row, int col) const
{
    if (row < 1 || row > m_rows.size())
        return {};
    return m_rows[row - 1].value(col);
}

QString CardholderTable::viewText(View view, int row, int col) const
{
    const QList<QStringList>& rows = m_views[view];
    if (row < 1 || row > rows.size() || col < 1)
        return {};
    return rows[row - 1].value(col);
}

void CardholderTable::setViewText(View view, int row, int col, const QString& text)
{
    QList<QStringList>& rows = m_views[view];
    if (row < 1 || row > rows.size() || col < 1 || col > LastColumn)
        return;
    QStringList& cols = rows[row - 1];
    while (cols.size() <= col)
        cols << QString();
    cols[col] = text;
}

void CardholderTable::clear()
{
    m_rows.clear();
    for (auto& view : m_views)
        view.clear();
}

void CardholderTable::appendRow(const QStringList& columns)
{
    QStringList cols = columns.mid(0, RowColumns);
    while (cols.size() < RowColumns)
        cols << QString();
    m_rows.append(cols);
}

void CardholderTable::prependRow(const QStringList& columns)
{
    QStringList cols = columns.mid(0, RowColumns);
    while (cols.size() < RowColumns)
        cols << QString();
    m_rows.prepend(cols);
}

bool CardholderTable::updateRow(const QString& name, const QString& phone, const QStringList& columns1to6)
{
    const QString wantedName = trimSpaces(name);
    const QString wantedPhone = trimSpaces(phone);
    for (QStringList& row : m_rows) {
        if (trimSpaces(row.value(1)) != wantedName || trimSpaces(row.value(6)) != wantedPhone)
            continue;
        for (int c = 1; c <= 6; ++c)
            row[c] = columns1to6.value(c - 1);
        return true;
    }
    return false;
}

} // namespace k27
