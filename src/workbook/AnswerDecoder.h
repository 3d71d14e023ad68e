#pragma once

#include "Workbook.h"

#include <QByteArray>
#include <QString>

namespace k27 {

// Decodes the reader process's answer (see Answer.h) as it arrives, in pieces of any
// size, and bounds it: no more rows and columns than the format's engine allows, no more
// cells kept per row than asked for, no cell longer than a cell can be, no more kept text
// than a limit. The first row (the headings) is kept with the others.
class AnswerDecoder
{
public:
    enum class State { Reading, Done, Failed, OutOfBounds };

    static constexpr qint64 MaxCellBytes = 32767 * 3; // UTF-8 of a cell's 32,767 UTF-16 units
    static constexpr qint64 DefaultMaxKeptBytes = qint64(256) << 20;

    explicit AnswerDecoder(int keptColumns = 256, qint64 maxKeptBytes = DefaultMaxKeptBytes);

    // Takes the next piece; once the answer is done, failed or out of bounds, further
    // pieces are ignored (after Done, they make it Failed: nothing may follow END).
    void feed(const char* data, qsizetype size);
    void feed(const QByteArray& data) { feed(data.constData(), data.size()); }

    State state() const { return m_state; }
    const QString& problem() const { return m_problem; }
    const QString& format() const { return m_format; }
    qint64 expectedRows() const { return m_rows; }
    Workbook& workbook() { return m_sheet; }

    // The limits of a format's engine: rows and columns of one sheet; 0 for unknown formats.
    static qint64 rowLimit(const QString& format);
    static qint64 columnLimit(const QString& format);

private:
    enum class Step { Header, RowStart, Length, Bytes, EndMark };
    void fail(State state, const QString& why);
    void header();
    void endRow();
    void startCell();                                      // its length read: check it against the limits
    qsizetype takeBytes(const char* data, qsizetype size); // of the current cell; how many taken

    int m_keptColumns;
    qint64 m_maxKeptBytes;
    State m_state = State::Reading;
    Step m_step = Step::Header;
    QString m_problem;
    QString m_format;
    QByteArray m_line; // the header line, or the end mark, so far
    qint64 m_rows = 0;
    qint64 m_length = 0;    // of the current cell
    qint64 m_remaining = 0; // of its bytes still to come
    qint64 m_kept = 0;      // bytes of all kept cells
    qsizetype m_digits = 0;
    QByteArray m_cell;
    QStringList m_row;
    qint64 m_cellsInRow = 0;
    Workbook m_sheet;
};

} // namespace k27
