#include "RecordBatch.h"

#include "db/Database.h"
#include "db/ServerConnection.h"

namespace k27 {

namespace {

// The lines numbered in their order; of lines with the same card and time the first; of
// those, the ones no stored record holds go in, in the lines' order (their numbers follow
// it). The numbers of the lines stored come back.
const QString Store = QStringLiteral(
    "WITH l AS (SELECT * FROM unnest($1::text[], $2::bigint[], $3::text[], $4::text[]) WITH ORDINALITY"
    "   AS l(c, t, w, d, n)),"
    " f AS (SELECT DISTINCT ON (c, w) c, t, w, d, n FROM l ORDER BY c, w, n),"
    " i AS (INSERT INTO \"进出记录\" (\"卡号\", \"终端机号\", \"进出时间\", \"星期\")"
    "   SELECT c, t, w, d FROM f WHERE NOT EXISTS"
    "     (SELECT 1 FROM \"进出记录\" r WHERE r.\"卡号\" = f.c AND r.\"进出时间\" = f.w)"
    "   ORDER BY n RETURNING \"卡号\", \"进出时间\")"
    " SELECT f.n FROM f JOIN i ON i.\"卡号\" = f.c AND i.\"进出时间\" = f.w");

} // namespace

void RecordBatch::add(const QString& card, qint64 terminal, const QString& when, const QString& weekday)
{
    appendArrayElement(m_cards, card);
    if (!m_terminals.isEmpty())
        m_terminals += ',';
    m_terminals += QByteArray::number(terminal);
    appendArrayElement(m_times, when);
    appendArrayElement(m_weekdays, weekday);
    ++m_size;
}

bool RecordBatch::store(std::vector<char>* stored)
{
    stored->assign(size_t(m_size), 0);
    if (m_size == 0)
        return true;
    ServerConnection* server = m_db.serverConnection();
    if (!server)
        return false;
    pg_result* result = server->runNative(
        Store, {arrayLiteral(m_cards), arrayLiteral(m_terminals), arrayLiteral(m_times), arrayLiteral(m_weekdays)});
    if (!result)
        return false;
    for (int row = 0, rows = serverRows(result); row < rows; ++row) {
        const qint64 line = serverInteger(result, row, 0) - 1;
        if (line >= 0 && line < m_size)
            (*stored)[size_t(line)] = 1;
    }
    serverFree(result);
    return true;
}

void RecordBatch::clear()
{
    m_size = 0;
    m_cards.clear();
    m_terminals.clear();
    m_times.clear();
    m_weekdays.clear();
}

} // namespace k27
