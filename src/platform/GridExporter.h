#pragma once

#include "platform/GridExportResult.h"

#include <QList>
#include <QString>
#include <functional>

namespace k27 {

class Grid;

// Writes a grid's rows to a spreadsheet (.xlsx) or a CSV file (UTF-8, RFC 4180).
// The file is written beside the target under a temporary name and renamed
// into place only when complete, so a failure never leaves half a file where
// an earlier export was.
class GridExporter
{
public:
    GridExporter(const Grid& grid, bool withHeaderRow, bool withRowNumbers);

    // Hears of the data rows written, every ProgressRows rows and at the end; false stops the
    // export (no file is written).
    static constexpr int ProgressRows = 1024;
    void setProgress(std::function<bool(int done, int total)> progress) { m_progress = std::move(progress); }

    // The format follows the file's suffix: .csv, or .xlsx (added when there is none).
    GridExportResult write(const QString& fileName) const;

    // The grid columns that are written, in order.
    QList<int> columns() const { return m_columns; }
    // One CSV field, quoted when it holds a comma, quote, CR or LF.
    static QString csvField(const QString& text);

private:
    QString writeCsv(const QString& path) const; // empty = success, else the reason
    QString writeXlsx(const QString& path) const;
    // False once the progress asked to stop.
    bool report(int row) const;

    const Grid& m_grid;
    bool m_withHeaderRow;
    QList<int> m_columns;
    std::function<bool(int done, int total)> m_progress;
};

} // namespace k27
