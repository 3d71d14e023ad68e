#pragma once

// Excel 97-2003 workbooks for the import tests, written by make_workbook.py (python3-xlwt)
// or by gnumeric's ssconvert (make_gnumeric.py), and the path of the reader tool in the
// build folder.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QtTest>

namespace k27::test {

inline QString workbookTool()
{
    return qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/k27-xls-read");
}

// `sheets`: {"Sheet1": [[cell, ...], ...], ...} (build the outer array with append: a braced
// QJsonArray{QJsonArray{...}} is a copy, not a nesting); a cell is a string, a number, null (empty)
// or {"date": "YYYY-MM-DD"}.
inline bool makeWorkbook(const QString& path, const QJsonObject& sheets)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/tests/support/make_workbook.py"), path});
    if (!python.waitForStarted())
        return false;
    python.write(QJsonDocument(sheets).toJson(QJsonDocument::Compact));
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return false;
    }
    return true;
}

// A workbook whose Sheet1 is the heading row followed by `rows`.
inline bool makeSheet1(const QString& path, const QJsonArray& headings, const QList<QJsonArray>& rows)
{
    QJsonArray all;
    all.append(headings);
    for (const QJsonArray& row : rows)
        all.append(row);
    return makeWorkbook(path, QJsonObject{{QStringLiteral("Sheet1"), all}});
}

inline bool haveSsconvert()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty();
}

// A workbook (.xls or .xlsx, by `path`) written by ssconvert. `sheets`: [[name, rows], ...]
// in sheet order; a cell is a string, a number, a boolean, null (no cell), {"f": "=formula"}
// or {"date": "YYYY-MM-DD"}.
inline bool convertWorkbook(const QString& path, const QJsonArray& sheets)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/tests/support/make_gnumeric.py"), path});
    if (!python.waitForStarted())
        return false;
    python.write(QJsonDocument(sheets).toJson(QJsonDocument::Compact));
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return false;
    }
    return true;
}

} // namespace k27::test
