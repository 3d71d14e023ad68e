// Reader throughput, measured in one run:
// - a 65,000-row cardholder sheet written by gnumeric's ssconvert as .xls and .xlsx, read by
//   our reader (helper process, answer decoded by the program), beside gnumeric reading the
//   same file (ssconvert to CSV);
// - a large .xlsx (9 columns, ROWS data rows, shared strings and numbers) in cells per second:
//   the whole read as the program does it, the reader alone in this process, and beside them
//   a bare unzip-and-scan of the same sheet (libzip inflating the sheet part, memchr counting
//   its cell tags), the least any reader of the file must do.
//   k27-bench-workbook [BUILD_DIR [ROWS]]   (BUILD_DIR: the folder holding k27-xls-read;
//   default: beside this program; ROWS: default 262,143, at most 1,048,575)
#include "platform/WorkbookReader.h"
#include "workbook/XlsxReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <xlsxwriter.h>
#include <zip.h>

using namespace k27;

namespace {

constexpr int Rows = 65000;

bool ssconvert(const QString& from, const QString& to, const QStringList& options = {})
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("ssconvert"), options + QStringList{from, to});
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Past this many rows the large sheet is written row by row in little memory, its texts
// then inline strings instead of shared ones.
constexpr int SharedStringRows = 262143;

// The large sheet: names and texts as strings, phone and card numbers as numbers.
bool writeLargeSheet(const QString& file, int rows)
{
    lxw_workbook_options options = {};
    options.constant_memory = rows > SharedStringRows;
    lxw_workbook* book = workbook_new_opt(file.toUtf8().constData(), &options);
    if (!book)
        return false;
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
    const char* headings[] = {"姓名", "性别", "部门", "职位", "住址", "电话", "卡号", "权限终端机", "时间期限"};
    for (int c = 0; c < 9; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), headings[c], nullptr);
    char name[32], address[48];
    for (int r = 1; r <= rows; ++r) {
        std::snprintf(name, sizeof name, "张%d", r % 5000);
        std::snprintf(address, sizeof address, "一号楼%d室", r % 900);
        worksheet_write_string(sheet, lxw_row_t(r), 0, name, nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 1, r % 2 ? "男" : "女", nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 2, "研发部", nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 3, "工程师", nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 4, address, nullptr);
        worksheet_write_number(sheet, lxw_row_t(r), 5, 13800000000.0 + r, nullptr);
        worksheet_write_number(sheet, lxw_row_t(r), 6, r, nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 7, "5、17、", nullptr);
        worksheet_write_string(sheet, lxw_row_t(r), 8, "永久有效、2012：一月、", nullptr);
    }
    return workbook_close(book) == LXW_NO_ERROR;
}

// Inflates the sheet part and counts its cells: no parsing, no strings, no answer.
qint64 bareScan(const QByteArray& bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    qint64 cells = -1;
    if (zip_file_t* f = zip ? zip_fopen(zip, "xl/worksheets/sheet1.xml", 0) : nullptr) {
        cells = 0;
        // "<c " or "<c>"; the last two bytes of a piece go before the next, for a tag cut in two.
        static char buffer[2 + (1 << 16)];
        size_t kept = 0;
        for (zip_int64_t n; (n = zip_fread(f, buffer + kept, 1 << 16)) > 0;) {
            const size_t size = kept + size_t(n);
            const char* end = buffer + size;
            for (const char* p = buffer;
                 p + 2 < end && (p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p - 2)))); ++p)
                if (p[1] == 'c' && (p[2] == ' ' || p[2] == '>'))
                    ++cells;
            kept = std::min<size_t>(2, size);
            std::memmove(buffer, end - kept, kept);
        }
        zip_fclose(f);
    }
    if (zip)
        zip_discard(zip);
    else if (source)
        zip_source_free(source);
    zip_error_fini(&error);
    return cells;
}

int largeSheet(const QString& tool, const QString& folder, int rows)
{
    const QString file = folder + QStringLiteral("/large.xlsx");
    if (!writeLargeSheet(file, rows)) {
        std::printf("large.xlsx: cannot be written\n");
        return 1;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = f.readAll();
    const qint64 cells = qint64(rows + 1) * 9;

    WorkbookReader reader(tool);
    reader.setColumnsKept(9);
    QElapsedTimer timer;
    timer.start();
    const WorkbookReader::Result r = reader.read(file);
    const qint64 whole = qMax<qint64>(1, timer.elapsed());
    if (!r.ok() || r.workbook.rows.size() != rows || r.workbook.rows.last().value(6) != QString::number(rows)) {
        std::printf("large.xlsx: %s\n", r.ok() ? "rows read wrong" : qPrintable(r.detail));
        return 1;
    }

    timer.restart();
    wb::SheetCells sheet(wb::Limits::of(wb::Format::Xlsx));
    const wb::ReadError e = wb::readXlsx(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                                         &sheet);
    const qint64 inProcess = qMax<qint64>(1, timer.elapsed());
    if (e != wb::ReadError::None || qint64(sheet.cellCount()) != cells) {
        std::printf("large.xlsx: the reader in this process read %lld cells\n", qint64(sheet.cellCount()));
        return 1;
    }

    timer.restart();
    const qint64 scanned = bareScan(bytes);
    const qint64 bare = qMax<qint64>(1, timer.elapsed());
    if (scanned != cells) {
        std::printf("large.xlsx: the bare scan counted %lld cells\n", scanned);
        return 1;
    }
    std::printf("\nlarge .xlsx: %d rows x 9 columns = %lld cells, %.1f MB, %s strings (goal: 1,000,000 cells/s)\n",
                rows + 1, cells, bytes.size() / 1e6, rows > SharedStringRows ? "inline" : "shared");
    std::printf("%-40s %10s %14s\n", "", "ms", "cells/s");
    std::printf("%-40s %10lld %14.0f\n", "whole read (helper process, answer)", whole, cells * 1000.0 / whole);
    std::printf("%-40s %10lld %14.0f\n", "reader in this process", inProcess, cells * 1000.0 / inProcess);
    std::printf("%-40s %10lld %14.0f\n", "reference: bare unzip-and-scan", bare, cells * 1000.0 / bare);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty()) {
        std::puts("ssconvert (gnumeric) is not installed: no workbooks to read");
        return 1;
    }
    const QString tool = (argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationDirPath() + "/..")
                         + QStringLiteral("/k27-xls-read");
    QTemporaryDir dir;
    // ssconvert names the sheet of a CSV file after the file, suffix included: Sheet1.
    const QString csv = dir.filePath(QStringLiteral("Sheet1"));
    {
        QFile f(csv);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("姓名,性别,部门,职位,住址,电话,卡号,权限终端机,时间期限\n");
        for (int i = 0; i < Rows; ++i)
            f.write(QStringLiteral("张%1,男,研发部,工程师,一号楼%2室,%3,%4,5、17、,永久有效、2012：一月、\n")
                        .arg(i)
                        .arg(i % 900)
                        .arg(13800000000LL + i)
                        .arg(i, 10, 10, QLatin1Char('0'))
                        .toUtf8());
    }
    std::printf("%-8s %10s %12s %14s %18s\n", "format", "rows", "reader ms", "reader rows/s", "speed vs gnumeric");
    for (const char* suffix : {"xls", "xlsx"}) {
        const QString book = dir.filePath(QStringLiteral("people.") + suffix);
        if (!ssconvert(csv, book, {QStringLiteral("-I"), QStringLiteral("Gnumeric_stf:stf_csvtab")})) {
            std::printf("%s: ssconvert failed\n", suffix);
            return 1;
        }
        WorkbookReader reader(tool);
        reader.setColumnsKept(9);
        QElapsedTimer timer;
        timer.start();
        const WorkbookReader::Result r = reader.read(book);
        const qint64 ours = qMax<qint64>(1, timer.elapsed());
        if (!r.ok()) {
            std::printf("%s: %s\n", suffix, qPrintable(r.detail));
            return 1;
        }
        // Every row as written: shared strings run across CONTINUE records in the .xls.
        for (int i = 0; i < Rows; ++i) {
            const QStringList& row = r.workbook.rows.value(i);
            if (row.value(0) != QStringLiteral("张%1").arg(i) || row.value(5) != QString::number(13800000000LL + i)
                || row.value(8) != QStringLiteral("永久有效、2012：一月、")) {
                std::printf("%s: row %d reads as %s\n", suffix, i, qPrintable(row.join(u'|')));
                return 1;
            }
        }
        timer.restart();
        ssconvert(book, dir.filePath(QStringLiteral("back.csv")));
        const qint64 theirs = qMax<qint64>(1, timer.elapsed());
        std::printf("%-8s %10lld %12lld %14.0f %17.1fx\n", suffix, qint64(r.workbook.rows.size()), ours,
                    r.workbook.rows.size() * 1000.0 / ours, double(theirs) / ours);
        std::fflush(stdout);
    }
    const int largeRows = argc > 2 ? qBound(1, QString::fromLocal8Bit(argv[2]).toInt(), 1048575) : SharedStringRows;
    return largeSheet(tool, dir.path(), largeRows);
}
