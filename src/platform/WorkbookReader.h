#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace k27 {

// The data rows of a workbook's sheet "Sheet1": the first row of the sheet holds the
// column headings and is not among them. Every cell is text; a row has `columns` cells.
struct Workbook
{
    int columns = 0;
    QList<QStringList> rows;
};

// Reads workbooks (Excel 97-2003) through the helper program k27-xls-read, in a process of
// its own: a damaged file that crashes or hangs the reader costs an error, not the program.
class WorkbookReader
{
public:
    enum class Status {
        Ok,
        CannotOpen,    // missing, damaged, not an Excel 97-2003 file, password-protected
        NoSheet1,      // no worksheet named Sheet1
        Failed,        // the reader crashed, hung, is missing, or its answer was cut short
    };

    struct Result
    {
        Status status = Status::Failed;
        Workbook workbook;
        QString detail;     // why it failed, for logs and tests; never shown to the operator
        bool ok() const { return status == Status::Ok; }
    };

    static constexpr int DefaultTimeoutMs = 60000;

    // The helper beside the program's own executable.
    WorkbookReader();
    explicit WorkbookReader(QString toolPath);

    const QString& toolPath() const { return m_toolPath; }
    void setToolPath(const QString& path) { m_toolPath = path; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    Result read(const QString& file) const;

    // Decodes the helper's answer (exposed for tests): all rows of the sheet, headings included.
    static bool parse(const QByteArray& output, Workbook* sheet, QString* problem);

    static QString defaultToolPath();

private:
    QString m_toolPath;
    int m_timeoutMs = DefaultTimeoutMs;
};

} // namespace k27
