#pragma once

#include <QList>
#include <QStringList>

namespace k27 {

// The data rows of a workbook's sheet "Sheet1": the first row of the sheet holds the
// column headings and is not among them. Every cell is text. `columns` counts the sheet's
// columns up to the last one holding a cell; a row holds its cells up to its last one,
// so it may be shorter (the missing cells are empty), and the reader may keep fewer.
struct Workbook
{
    int columns = 0;
    QList<QStringList> rows;
    // Formula cells the file holds without their last result: read as empty, since the
    // reader does not compute formulas; the import summary says how many.
    qint64 formulasWithoutValue = 0;
};

} // namespace k27
