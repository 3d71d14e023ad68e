#include "WorkbookReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace k27 {

namespace {
// Exit codes of k27-xls-read.
constexpr int ExitCannotOpen = 3;
constexpr int ExitNoSheet1 = 4;

// Reads a decimal number up to `stop` from `data` at `*pos`; false when there is none.
bool readNumber(const QByteArray& data, qsizetype* pos, char stop, qint64* value)
{
    qsizetype i = *pos;
    qint64 v = 0;
    const qsizetype start = i;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
        v = v * 10 + (data[i] - '0');
        if (v > (qint64(1) << 40))
            return false;
        ++i;
    }
    if (i == start || i >= data.size() || data[i] != stop)
        return false;
    *value = v;
    *pos = i + 1;
    return true;
}
} // namespace

WorkbookReader::WorkbookReader() : m_toolPath(defaultToolPath()) {}

WorkbookReader::WorkbookReader(QString toolPath) : m_toolPath(std::move(toolPath)) {}

QString WorkbookReader::defaultToolPath()
{
    // Beside the program in a build folder; under libexec once installed.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/k27-xls-read");
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../libexec/k27center/k27-xls-read");
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : QDir::cleanPath(installed);
}

bool WorkbookReader::parse(const QByteArray& output, Workbook* sheet, QString* problem)
{
    auto fail = [problem](const QString& why) {
        if (problem)
            *problem = why;
        return false;
    };
    const qsizetype headerEnd = output.indexOf('\n');
    if (headerEnd < 0)
        return fail(QStringLiteral("no header line"));
    const QList<QByteArray> header = output.left(headerEnd).split(' ');
    bool rowsOk = false, colsOk = false;
    const qint64 rows = header.size() == 4 ? header[2].toLongLong(&rowsOk) : -1;
    const qint64 cols = header.size() == 4 ? header[3].toLongLong(&colsOk) : -1;
    if (header.size() != 4 || header[0] != "K27XLS" || header[1] != "1" || !rowsOk || !colsOk || rows < 0 ||
        cols < 0 || cols > 65535)
        return fail(QStringLiteral("bad header line"));

    Workbook result;
    result.columns = int(cols);
    qsizetype pos = headerEnd + 1;
    for (qint64 r = 0; r < rows; ++r) {
        QStringList row;
        row.reserve(int(cols));
        for (qint64 c = 0; c < cols; ++c) {
            qint64 length = 0;
            if (!readNumber(output, &pos, ':', &length) || pos + length > output.size())
                return fail(QStringLiteral("row %1 is cut short").arg(r));
            row << QString::fromUtf8(output.constData() + pos, length);
            pos += length;
        }
        if (pos >= output.size() || output[pos] != '\n')
            return fail(QStringLiteral("row %1 does not end").arg(r));
        ++pos;
        result.rows << row;
    }
    if (output.mid(pos) != "END\n")
        return fail(QStringLiteral("no end mark"));
    *sheet = std::move(result);
    return true;
}

WorkbookReader::Result WorkbookReader::read(const QString& file) const
{
    Result result;
    if (!QFileInfo(m_toolPath).isExecutable()) {
        result.detail = QStringLiteral("the reader %1 is missing").arg(m_toolPath);
        return result;
    }
    QProcess process;
    process.setProgram(m_toolPath);
    process.setArguments({file});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(m_timeoutMs)) {
        result.detail = QStringLiteral("the reader does not start: %1").arg(process.errorString());
        return result;
    }
    if (!process.waitForFinished(m_timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.detail = QStringLiteral("the reader did not finish in time");
        return result;
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        result.detail = QStringLiteral("the reader crashed");
        return result;
    }
    switch (process.exitCode()) {
    case 0:
        break;
    case ExitCannotOpen:
        result.status = Status::CannotOpen;
        result.detail = QStringLiteral("the workbook cannot be opened");
        return result;
    case ExitNoSheet1:
        result.status = Status::NoSheet1;
        result.detail = QStringLiteral("the workbook has no sheet Sheet1");
        return result;
    default:
        result.detail = QStringLiteral("the reader failed with exit code %1").arg(process.exitCode());
        return result;
    }
    Workbook sheet;
    if (!parse(process.readAllStandardOutput(), &sheet, &result.detail))
        return result;
    // The first row holds the column headings.
    if (!sheet.rows.isEmpty())
        sheet.rows.removeFirst();
    result.status = Status::Ok;
    result.workbook = std::move(sheet);
    return result;
}

} // namespace k27
