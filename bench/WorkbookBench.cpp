// Reader throughput: a 65,000-row cardholder sheet written by gnumeric's ssconvert as .xls
// and .xlsx, read by our reader (helper process, answer decoded by the program), beside
// gnumeric reading the same file (ssconvert to CSV), measured in the same run.
//   k27-bench-workbook [BUILD_DIR]   (the folder holding k27-xls-read; default: beside this program)
#include "platform/WorkbookReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty()) {
        std::puts("ssconvert (gnumeric) is not installed: no workbooks to read");
        return 1;
    }
    const QString tool = (argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationDirPath() + "/..") +
                         QStringLiteral("/k27-xls-read");
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
                        .arg(i).arg(i % 900).arg(13800000000LL + i).arg(i, 10, 10, QLatin1Char('0'))
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
            if (row.value(0) != QStringLiteral("张%1").arg(i) || row.value(5) != QString::number(13800000000LL + i) ||
                row.value(8) != QStringLiteral("永久有效、2012：一月、")) {
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
    return 0;
}
