#include "platform/GridExporter.h"

#include "platform/Grid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace k27 {

namespace {

// Excel's limits: longer texts are cut, more rows are refused.
constexpr int kXlsxMaxText = 32767;
constexpr int kXlsxMaxRows = 1048576;
// The reason an export stopped on its progress's word (the temporary file goes with it).
const QString Stopped = QStringLiteral("the export was stopped");

// A new file `stem`-XXXXXX`suffix` that no other file or link was in the place of. Its mode is
// what the user's umask gives an ordinary document (0644 with 022, 0600 with 077): a list
// of cardholders is never opened wider than the user wants his files.
QString createExportFile(const QString& stem, const QString& suffix, QString* error)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = stem + QLatin1Char('-');
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))]);
        name += suffix;
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
    }
    *error = QStringLiteral("no free temporary name");
    return {};
}

} // namespace

GridExporter::GridExporter(const Grid& grid, bool withHeaderRow, bool withRowNumbers)
    : m_grid(grid), m_withHeaderRow(withHeaderRow)
{
    if (withRowNumbers && !grid.isColumnHidden(0))
        m_columns.append(0);
    for (int c = 1; c < grid.cols(); ++c)
        if (!grid.isColumnHidden(c))
            m_columns.append(c);
}

QString GridExporter::csvField(const QString& cell)
{
    // Names and addresses come from imported files: a leading = + - @ would make a spreadsheet
    // run the cell as a formula, so such a cell is written as text.
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    const QString text = !cell.isEmpty() && formulaStart.contains(cell[0]) ? QLatin1Char('\'') + cell : cell;
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\r'))
        && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

GridExportResult GridExporter::write(const QString& fileName) const
{
    QString target = fileName;
    QString suffix = QFileInfo(target).suffix().toLower();
    if (suffix.isEmpty()) {
        target += QLatin1String(".xlsx");
        suffix = QStringLiteral("xlsx");
    }
    if (suffix != QLatin1String("xlsx") && suffix != QLatin1String("csv"))
        return GridExportResult::failed(target,
                                        QStringLiteral("unsupported file type .%1 (use .xlsx or .csv)").arg(suffix));

    const QFileInfo info(target);
    if (info.isDir())
        return GridExportResult::failed(target, QStringLiteral("%1 is a folder").arg(target));
    if (info.exists() && !info.isWritable())
        return GridExportResult::failed(target, QStringLiteral("%1 is write-protected").arg(target));

    // The temporary file lies in the target's folder so that the rename is atomic.
    QString openError;
    const QString tempPath = createExportFile(info.absolutePath() + QLatin1String("/.") + info.completeBaseName(),
                                              QLatin1Char('.') + suffix, &openError);
    if (tempPath.isEmpty())
        return GridExportResult::failed(
            target,
            QStringLiteral("cannot write to %1: %2").arg(QDir::toNativeSeparators(info.absolutePath()), openError));

    const QString error = suffix == QLatin1String("csv") ? writeCsv(tempPath) : writeXlsx(tempPath);
    if (!error.isEmpty()) {
        QFile::remove(tempPath);
        // Stopped on request (a close during the export): nothing to report as a failure.
        return error == Stopped ? GridExportResult::cancelled() : GridExportResult::failed(target, error);
    }
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(info.absoluteFilePath()).constData())
        != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(tempPath);
        return GridExportResult::failed(target, QStringLiteral("cannot replace %1: %2").arg(target, reason));
    }
    return GridExportResult::success(info.absoluteFilePath());
}

bool GridExporter::report(int row) const
{
    const int total = m_grid.rows() - 1;
    if (m_progress && (row % ProgressRows == 0 || row == total))
        return m_progress(row, total);
    return true;
}

QString GridExporter::writeCsv(const QString& path) const
{
    // Opened again by its name: never through a link put in its place meanwhile.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    // The byte-order mark lets spreadsheet programs recognise UTF-8 (Chinese texts).
    QByteArray chunk("\xEF\xBB\xBF");
    auto writeRow = [&](int row) {
        QString line;
        for (int i = 0; i < m_columns.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(',');
            line += csvField(m_grid.cellText(row, m_columns.at(i)));
        }
        line += QLatin1String("\r\n");
        chunk += line.toUtf8();
        if (chunk.size() >= (1 << 20)) {
            const bool ok = file.write(chunk) == chunk.size();
            chunk.clear();
            return ok;
        }
        return true;
    };
    if (m_withHeaderRow && !writeRow(0))
        return file.errorString();
    for (int r = 1; r < m_grid.rows(); ++r) {
        if (!writeRow(r))
            return file.errorString();
        if (!report(r))
            return Stopped;
    }
    if (file.write(chunk) != chunk.size() || !file.flush())
        return file.errorString();
    file.close();
    if (file.error() != QFile::NoError)
        return file.errorString();
    return {};
}

QString GridExporter::writeXlsx(const QString& path) const
{
    const int dataRows = m_grid.rows() - 1;
    if (dataRows + (m_withHeaderRow ? 1 : 0) > kXlsxMaxRows)
        return QStringLiteral("%1 rows are more than a worksheet holds (%2); export to .csv instead")
            .arg(dataRows)
            .arg(kXlsxMaxRows);

    const QByteArray name = QFile::encodeName(path);
    const QByteArray tmpDir = QFile::encodeName(QFileInfo(path).absolutePath());
    // Constant-memory mode writes row by row: a large grid never sits in memory twice.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tmpDir.constData());
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    if (!book)
        return QStringLiteral("cannot create the workbook");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    for (int i = 0; i < m_columns.size(); ++i) {
        const int px = m_grid.columnWidth(m_columns.at(i));
        // Pixels to Excel's character widths (about 7 pixels each at the default font).
        worksheet_set_column(sheet, lxw_col_t(i), lxw_col_t(i), std::max(4.0, px / 7.0), nullptr);
    }

    lxw_error failure = LXW_NO_ERROR;
    lxw_row_t out = 0;
    auto writeRow = [&](int row, lxw_format* format) {
        for (int i = 0; i < m_columns.size() && failure == LXW_NO_ERROR; ++i) {
            const QString text = m_grid.cellText(row, m_columns.at(i)).left(kXlsxMaxText);
            if (text.isEmpty())
                continue;
            const lxw_error e = worksheet_write_string(sheet, out, lxw_col_t(i), text.toUtf8().constData(), format);
            if (e != LXW_NO_ERROR)
                failure = e;
        }
        ++out;
    };
    if (m_withHeaderRow)
        writeRow(0, bold);
    bool stopped = false;
    for (int r = 1; r < m_grid.rows() && failure == LXW_NO_ERROR && !stopped; ++r) {
        writeRow(r, nullptr);
        stopped = !report(r);
    }
    const lxw_error closed = workbook_close(book);
    if (stopped)
        return Stopped;
    if (failure != LXW_NO_ERROR)
        return QString::fromUtf8(lxw_strerror(failure));
    if (closed != LXW_NO_ERROR)
        return QString::fromUtf8(lxw_strerror(closed));
    return {};
}

} // namespace k27
