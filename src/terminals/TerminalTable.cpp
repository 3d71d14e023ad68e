#include "TerminalTable.h"

#include "db/Database.h"
#include "terminals/TerminalRegister.h"

namespace k27 {

QString TerminalTable::numberText(qint64 number)
{
    if (number < 0)
        return QLatin1Char('-') + QString::number(-number).rightJustified(4, QLatin1Char('0'));
    return QString::number(number).rightJustified(4, QLatin1Char('0'));
}

bool TerminalTable::load(Database& db)
{
    m_rows.clear();
    return db.query(QStringLiteral("select 终端机号, 地址 from 终端机 order by 终端机号"), {}, [this](const Row& row) {
        m_rows.append({numberText(row.integer(0)), row.text(1)});
        return true;
    });
}

QString TerminalTable::text(int row, int col) const
{
    if (row < 1 || row > m_rows.size())
        return {};
    if (col == 1)
        return m_rows[row - 1].first;
    if (col == 2)
        return m_rows[row - 1].second;
    return {};
}

void TerminalTable::setText(int row, int col, const QString& text)
{
    if (row < 1 || row > m_rows.size())
        return;
    if (col == 1)
        m_rows[row - 1].first = text;
    else if (col == 2)
        m_rows[row - 1].second = text;
}

void TerminalTable::append(qint64 number, const QString& address)
{
    m_rows.append({numberText(number), address});
}

void TerminalTable::removeRows(int r1, int r2)
{
    r1 = qMax(r1, 1);
    r2 = qMin(r2, rowCount());
    if (r1 <= r2)
        m_rows.remove(r1 - 1, r2 - r1 + 1);
}

QString TerminalTable::addressOf(qint64 number) const
{
    for (const auto& row : m_rows)
        if (TerminalRegister::numberOf(row.first) == number)
            return row.second;
    return {};
}

} // namespace k27
