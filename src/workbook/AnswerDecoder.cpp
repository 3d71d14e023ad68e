#include "AnswerDecoder.h"

#include <QList>

namespace k27 {

AnswerDecoder::AnswerDecoder(int keptColumns, qint64 maxKeptBytes)
    : m_keptColumns(qMax(0, keptColumns)), m_maxKeptBytes(maxKeptBytes)
{
}

qint64 AnswerDecoder::rowLimit(const QString& format)
{
    if (format == QLatin1String("xls"))
        return 65536;
    return format == QLatin1String("xlsx") ? 1048576 : 0;
}

qint64 AnswerDecoder::columnLimit(const QString& format)
{
    if (format == QLatin1String("xls"))
        return 256;
    return format == QLatin1String("xlsx") ? 16384 : 0;
}

void AnswerDecoder::fail(State state, const QString& why)
{
    if (m_state != State::Reading)
        return;
    m_state = state;
    m_problem = why;
    m_row.clear();
    m_cell.clear();
}

void AnswerDecoder::header()
{
    const QList<QByteArray> parts = m_line.split(' ');
    bool rowsOk = false, colsOk = false;
    if ((parts.size() != 5 && parts.size() != 6) || parts[0] != "K27WB" || parts[1] != "1")
        return fail(State::Failed, QStringLiteral("bad header line"));
    bool formulasOk = true;
    const qint64 formulas = parts.size() == 6 ? parts[5].toLongLong(&formulasOk) : 0;
    if (!formulasOk || formulas < 0)
        return fail(State::Failed, QStringLiteral("bad header line"));
    m_format = QString::fromLatin1(parts[2]);
    const qint64 rows = parts[3].toLongLong(&rowsOk);
    const qint64 cols = parts[4].toLongLong(&colsOk);
    if (!rowsOk || !colsOk || rows < 0 || cols < 0 || rowLimit(m_format) == 0)
        return fail(State::Failed, QStringLiteral("bad header line"));
    if (rows > rowLimit(m_format) || cols > columnLimit(m_format))
        return fail(
            State::OutOfBounds,
            QStringLiteral("%1 rows and %2 columns are beyond the limits of %3").arg(rows).arg(cols).arg(m_format));
    m_rows = rows;
    m_sheet.columns = int(cols);
    m_sheet.formulasWithoutValue = formulas;
    m_line.clear();
    m_step = rows == 0 ? Step::EndMark : Step::RowStart;
}

void AnswerDecoder::endRow()
{
    m_sheet.rows.append(std::move(m_row));
    m_row = QStringList();
    m_cellsInRow = 0;
    if (m_sheet.rows.size() == m_rows)
        m_step = Step::EndMark;
}

void AnswerDecoder::startCell()
{
    if (m_length > MaxCellBytes)
        return fail(State::OutOfBounds, QStringLiteral("a cell is longer than a cell can be"));
    m_remaining = m_length;
    m_cell.clear();
    const bool keep = m_cellsInRow < m_keptColumns;
    if (keep && m_kept + m_length > m_maxKeptBytes)
        return fail(State::OutOfBounds, QStringLiteral("the sheet holds more text than the limit"));
    m_step = Step::Bytes;
}

qsizetype AnswerDecoder::takeBytes(const char* data, qsizetype size)
{
    const qsizetype n = qsizetype(qMin<qint64>(m_remaining, size));
    const bool keep = m_cellsInRow < m_keptColumns;
    if (keep)
        m_cell.append(data, n);
    m_remaining -= n;
    if (m_remaining == 0) {
        if (keep) {
            m_kept += m_length;
            m_row.append(QString::fromUtf8(m_cell));
        }
        ++m_cellsInRow;
        m_step = Step::RowStart;
    }
    return n;
}

void AnswerDecoder::feed(const char* data, qsizetype size)
{
    if (m_state == State::Done && size > 0) {
        m_state = State::Failed;
        m_problem = QStringLiteral("bytes after the end mark");
        return;
    }
    qsizetype i = 0;
    while (i < size && m_state == State::Reading) {
        const char c = data[i];
        switch (m_step) {
        case Step::Header:
            ++i;
            if (c == '\n')
                header();
            else if (m_line.size() >= 64)
                fail(State::Failed, QStringLiteral("bad header line"));
            else
                m_line.append(c);
            break;
        case Step::RowStart:
            ++i;
            if (c == '\n') {
                endRow();
            } else if (c >= '0' && c <= '9') {
                if (m_cellsInRow >= m_sheet.columns)
                    return fail(State::Failed, QStringLiteral("a row has more cells than the sheet has columns"));
                m_length = c - '0';
                m_digits = 1;
                m_step = Step::Length;
            } else {
                return fail(State::Failed, QStringLiteral("a row is malformed"));
            }
            break;
        case Step::Length:
            ++i;
            if (c >= '0' && c <= '9' && m_digits < 7) {
                m_length = m_length * 10 + (c - '0');
                ++m_digits;
            } else if (c == ':') {
                startCell();
            } else {
                return fail(State::Failed, QStringLiteral("a cell length is malformed"));
            }
            break;
        case Step::Bytes: i += takeBytes(data + i, size - i); break;
        case Step::EndMark:
            ++i;
            m_line.append(c);
            if (!QByteArray("END\n").startsWith(m_line))
                return fail(State::Failed, m_sheet.rows.size() == m_rows ? QStringLiteral("no end mark")
                                                                         : QStringLiteral("too many rows"));
            if (m_line.size() == 4) {
                m_state = State::Done;
                feed(data + i, size - i);
                return;
            }
            break;
        }
    }
}

} // namespace k27
