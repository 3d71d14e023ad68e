#pragma once

#include "workbook/Workbook.h"

#include <QString>
#include <functional>

namespace k27 {

// Reads workbooks (.xls, and .xlsx or .xlsm) through the helper program k27-xls-read, in a process
// of its own with a time and a memory limit: a damaged file that crashes or hangs the
// reader costs an error, not the program. The answer is decoded as it arrives and bounded:
// a sheet beyond the engine's limits is refused, whatever the helper claims.
class WorkbookReader
{
public:
    enum class Status {
        Ok,
        Damaged,     // a workbook whose structure is broken, or encrypted
        NotWorkbook, // missing, unreadable, or neither .xls nor .xlsx
        NoSheet1,    // no worksheet named Sheet1
        TooLarge,    // beyond the engine's rows or columns, or the reader's limits
        Failed,      // the reader crashed, hung, is missing, or its answer was malformed
    };

    struct Result
    {
        Status status = Status::Failed;
        Workbook workbook;
        QString detail; // why it failed, for logs and tests; never shown to the operator
        bool ok() const { return status == Status::Ok; }
    };

    static constexpr int DefaultTimeoutMs = 60000;
    static constexpr qint64 DefaultMemoryBytes = qint64(2) << 30;

    // The helper beside the program's own executable.
    WorkbookReader();
    explicit WorkbookReader(QString toolPath);

    const QString& toolPath() const { return m_toolPath; }
    void setToolPath(const QString& path) { m_toolPath = path; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // The helper's address space; past it the helper fails and the read with it.
    void setMemoryLimit(qint64 bytes) { m_memoryBytes = bytes; }
    // Cells kept of each row (the imports use the first few columns only).
    void setColumnsKept(int columns) { m_columnsKept = columns; }
    // Called at least every PumpIntervalMs while the helper works, so that the window that
    // waits for a large workbook keeps drawing itself.
    static constexpr int PumpIntervalMs = 50;
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }
    // The pump of a window waiting for the helper: it draws itself, and takes no clicks or keys.
    static void letWindowsDraw();

    Result read(const QString& file) const;

    // Decodes a whole answer of the helper (exposed for tests): all rows of the sheet,
    // headings included.
    static bool parse(const QByteArray& output, Workbook* sheet, QString* problem);

    // The file dialog's filter of the workbook imports (.xlsm is an .xlsx that may carry macros).
    static QString fileFilter() { return QStringLiteral("Excel(*.xls *.xlsx *.xlsm)"); }

    // The message that tells the operator why a workbook could not be read.
    static int messageFor(Status status);

    static QString defaultToolPath();

private:
    QString m_toolPath;
    int m_timeoutMs = DefaultTimeoutMs;
    qint64 m_memoryBytes = DefaultMemoryBytes;
    int m_columnsKept = 256;
    std::function<void()> m_pump;
};

} // namespace k27
