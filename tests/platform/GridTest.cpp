// Behaviour of the grid as the pages use it: header row / row-number column
// mapping, selection, tick boxes, drop-down lists, virtual cells.
#include "platform/Grid.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using k27::Grid;

namespace {

QPoint cellCentre(Grid& g, int row, int col)
{
    QTableView* v = g.view();
    return v->visualRect(v->model()->index(row - 1, col - 1)).center();
}

void showGrid(Grid& g, int w = 600, int h = 400)
{
    g.resize(w, h);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
}

} // namespace

class GridTest : public QObject
{
    Q_OBJECT

private slots:
    void headerRowAndRowNumberColumn();
    void columnWidthsAndMerges();
    void rowCountKeepsCurrentCellAndDropsRemovedCells();
    void selectionRememberesWhereTheDragStarted();
    void checkBoxCellsToggleOnClickAndSpace();
    void dropDownChoiceWritesCellAndReportsColumn();
    void dropDownInVirtualGridGoesThroughEditedCallback();
    void onlyEditableColumnsTakeTyping();
    void virtualMillionRowsAsksOnlyForVisibleCells();
    void notificationsOnCellChange();
    void modelKeepsTheItemModelContract_data();
    void modelKeepsTheItemModelContract();
};

void GridTest::headerRowAndRowNumberColumn()
{
    Grid g;
    g.setCols(4);
    g.setRows(3);
    QCOMPARE(g.rows(), 3);
    QCOMPARE(g.cols(), 4);
    QCOMPARE(g.view()->model()->rowCount(), 2);
    QCOMPARE(g.view()->model()->columnCount(), 3);

    g.setCellText(0, 1, QStringLiteral("姓名"));
    g.setHeaderText(0, QStringLiteral("序号"));
    QCOMPARE(g.cellText(0, 1), QStringLiteral("姓名"));
    QCOMPARE(g.view()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("姓名"));
    QCOMPARE(g.cellText(0, 0), QStringLiteral("序号"));
    QCOMPARE(g.cellText(2, 0), QStringLiteral("2"));
    QCOMPARE(g.view()->model()->headerData(1, Qt::Vertical).toString(), QStringLiteral("2"));

    g.setCellText(2, 3, QStringLiteral("张三"));
    QCOMPARE(g.cellText(2, 3), QStringLiteral("张三"));
    QCOMPARE(g.view()->model()->index(1, 2).data().toString(), QStringLiteral("张三"));
    // Outside the grid nothing is stored and nothing is read.
    g.setCellText(3, 1, QStringLiteral("x"));
    g.setCellText(1, 4, QStringLiteral("x"));
    QCOMPARE(g.cellText(3, 1), QString());
    QCOMPARE(g.cellText(1, 4), QString());
    QCOMPARE(g.cellText(3, 0), QString());

    g.clearCells();
    QCOMPARE(g.cellText(2, 3), QString());
    QCOMPARE(g.cellText(0, 1), QStringLiteral("姓名"));

    // setRows(1) leaves the header row only.
    g.setRows(1);
    QCOMPARE(g.rows(), 1);
    QCOMPARE(g.view()->model()->rowCount(), 0);
    g.setRows(0);
    QCOMPARE(g.rows(), 1);
}

void GridTest::columnWidthsAndMerges()
{
    Grid g;
    g.setCols(13);
    g.setRows(17);
    g.setColumnWidth(0, 0);
    g.setColumnWidth(1, 20);
    g.setColumnWidth(2, 50);
    g.setColumnWidth(4, 0);
    QVERIFY(g.view()->verticalHeader()->isHidden());
    QCOMPARE(g.columnWidth(0), 0);
    QCOMPARE(g.columnWidth(1), 20);
    QCOMPARE(g.columnWidth(2), 50);
    QVERIFY(g.isColumnHidden(4));
    QVERIFY(g.view()->isColumnHidden(3));
    g.setColumnWidth(4, 30);
    QVERIFY(!g.view()->isColumnHidden(3));
    QCOMPARE(g.columnWidth(4), 30);
    g.setColumnWidth(0, 40);
    QVERIFY(!g.view()->verticalHeader()->isHidden());
    QCOMPARE(g.columnWidth(0), 40);
    QCOMPARE(g.view()->verticalHeader()->width(), 40);
    // Row numbers wider than the column widen it, and it narrows back to the width set.
    g.setRows(10000001);
    QVERIFY(g.view()->verticalHeader()->width()
            > g.view()->verticalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("10000000")));
    QCOMPARE(g.columnWidth(0), 40);
    g.setRows(17);
    QCOMPARE(g.view()->verticalHeader()->width(), 40);

    g.setHeaderText(2, QStringLiteral("终端号"));
    g.mergeHeader(1, 2);
    g.mergeHeader(6, 5);
    QCOMPARE(g.headerMergeOf(1), std::make_pair(1, 2));
    QCOMPARE(g.headerMergeOf(2), std::make_pair(1, 2));
    QCOMPARE(g.headerMergeOf(5), std::make_pair(5, 6));
    QCOMPARE(g.headerMergeOf(3), std::make_pair(3, 3));
    // An overlapping merge replaces the old one; a merge beyond the columns is ignored.
    g.mergeHeader(2, 3);
    QCOMPARE(g.headerMergeOf(1), std::make_pair(1, 1));
    QCOMPARE(g.headerMergeOf(3), std::make_pair(2, 3));
    g.mergeHeader(12, 20);
    QCOMPARE(g.headerMergeOf(12), std::make_pair(12, 12));
    g.clearHeaderMerges();
    QCOMPARE(g.headerMergeOf(2), std::make_pair(2, 2));
}

void GridTest::rowCountKeepsCurrentCellAndDropsRemovedCells()
{
    Grid g;
    g.setCols(3);
    g.setRows(11);
    g.setCellText(10, 1, QStringLiteral("last"));
    g.setCellText(2, 2, QStringLiteral("kept"));
    g.setCurrentCell(3, 2);
    g.setRows(6);
    QCOMPARE(g.currentRow(), 3);
    QCOMPARE(g.currentCol(), 2);
    QCOMPARE(g.cellText(2, 2), QStringLiteral("kept"));
    g.setRows(11);
    QCOMPARE(g.cellText(10, 1), QString());
    QCOMPARE(g.currentRow(), 3);
}

void GridTest::selectionRememberesWhereTheDragStarted()
{
    Grid g;
    g.setCols(4);
    g.setRows(21);
    showGrid(g);
    QWidget* vp = g.view()->viewport();

    // Without a selection first and last are the current row.
    g.view()->selectionModel()->clearSelection();
    QCOMPARE(g.selectionFirstRow(), g.currentRow());
    QCOMPARE(g.selectionLastRow(), g.currentRow());

    // Dragged upwards from row 10 to row 5.
    QTest::mousePress(vp, Qt::LeftButton, {}, cellCentre(g, 10, 2));
    QTest::mouseMove(vp, cellCentre(g, 7, 2));
    QTest::mouseMove(vp, cellCentre(g, 5, 2));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cellCentre(g, 5, 2));
    QCOMPARE(g.currentRow(), 5);
    QCOMPARE(g.selectionFirstRow(), 10);
    QCOMPARE(g.selectionLastRow(), 5);

    // Dragged downwards from row 3 to row 8.
    QTest::mousePress(vp, Qt::LeftButton, {}, cellCentre(g, 3, 1));
    QTest::mouseMove(vp, cellCentre(g, 8, 1));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cellCentre(g, 8, 1));
    QCOMPARE(g.selectionFirstRow(), 3);
    QCOMPARE(g.selectionLastRow(), 8);

    // Shift-click extends from where the selection started.
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, cellCentre(g, 1, 1));
    QCOMPARE(g.selectionFirstRow(), 3);
    QCOMPARE(g.selectionLastRow(), 1);

    // A single click is a one-row selection.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 4, 3));
    QCOMPARE(g.selectionFirstRow(), 4);
    QCOMPARE(g.selectionLastRow(), 4);

    // selectRow covers every column of the row.
    g.selectRow(6);
    QCOMPARE(g.currentRow(), 6);
    QCOMPARE(g.selectionFirstRow(), 6);
    QCOMPARE(g.selectionLastRow(), 6);
    const QModelIndexList sel = g.view()->selectionModel()->selectedIndexes();
    QCOMPARE(sel.size(), 3);
    for (const QModelIndex& i : sel)
        QCOMPARE(i.row(), 5);
    g.selectRow(0); // the header row is not a data row
    g.selectRow(21);
    QCOMPARE(g.currentRow(), 6);
}

void GridTest::checkBoxCellsToggleOnClickAndSpace()
{
    Grid g;
    g.setCols(3);
    g.setRows(4);
    g.setColumnWidth(1, 20);
    g.setColumnKind(1, Grid::ColumnKind::CheckBox);
    g.setCellText(1, 1, QStringLiteral("0"));
    showGrid(g);
    QWidget* vp = g.view()->viewport();
    QSignalSpy clicks(&g, &Grid::clicked);

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 1));
    QCOMPARE(g.cellText(1, 1), QStringLiteral("1"));
    QCOMPARE(g.view()->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 1));
    QCOMPARE(g.cellText(1, 1), QStringLiteral("0"));
    // An empty cell counts as not ticked.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 2, 1));
    QCOMPARE(g.cellText(2, 1), QStringLiteral("1"));
    QTest::keyClick(g.view(), Qt::Key_Space);
    QCOMPARE(g.cellText(2, 1), QStringLiteral("0"));
    // A click elsewhere does not tick.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 3, 2));
    QCOMPARE(g.cellText(3, 1), QString());

    g.setReadOnly(true);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 1));
    QCOMPARE(g.cellText(1, 1), QStringLiteral("0"));
}

void GridTest::dropDownChoiceWritesCellAndReportsColumn()
{
    Grid g;
    g.setCols(4);
    g.setRows(3);
    g.setColumnKind(3, Grid::ColumnKind::DropDown);
    g.addDropDownItem(3, QStringLiteral("stale"));
    // The page fills the list when the cell is clicked, before it opens.
    connect(&g, &Grid::clicked, &g, [&g] {
        g.clearDropDownList(3);
        for (const QString& s : {QStringLiteral("一月"), QStringLiteral("二月"), QStringLiteral("永久有效")})
            g.addDropDownItem(3, s);
    });
    showGrid(g);
    QSignalSpy chosen(&g, &Grid::dropDownChosen);
    QWidget* vp = g.view()->viewport();

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 2, 3));
    auto* combo = qobject_cast<QComboBox*>(g.view()->indexWidget(g.view()->model()->index(1, 2)));
    QVERIFY(combo);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(2), QStringLiteral("永久有效"));
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    QCOMPARE(g.cellText(2, 3), QStringLiteral("永久有效"));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toInt(), 3);
    QTRY_VERIFY(!g.view()->indexWidget(g.view()->model()->index(1, 2)));

    // Leaving the list without a choice keeps the cell.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 3));
    combo = qobject_cast<QComboBox*>(g.view()->indexWidget(g.view()->model()->index(0, 2)));
    QVERIFY(combo);
    combo->setCurrentIndex(1);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 1));
    QCOMPARE(g.cellText(1, 3), QString());
    QCOMPARE(chosen.count(), 1);

    // A text column never opens a list; an empty list opens nothing.
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 1, 2));
    QVERIFY(!g.view()->indexWidget(g.view()->model()->index(0, 1)));
    disconnect(&g, &Grid::clicked, nullptr, nullptr);
    g.clearDropDownList(3);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(g, 2, 3));
    QVERIFY(!g.view()->indexWidget(g.view()->model()->index(1, 2)));
}

void GridTest::dropDownInVirtualGridGoesThroughEditedCallback()
{
    QList<QStringList> table{{}, {"", "a", "5"}, {"", "b", "17"}};
    QList<std::tuple<int, int, QString>> edits;
    Grid g;
    g.setCols(3);
    g.setCellSource([&](int r, int c) { return table[r][c]; });
    g.setCellEdited([&](int r, int c, const QString& t) {
        edits.append({r, c, t});
        table[r][c] = t;
    });
    g.setRows(3);
    g.setColumnKind(2, Grid::ColumnKind::DropDown);
    g.addDropDownItem(2, QStringLiteral("5"));
    g.addDropDownItem(2, QStringLiteral("17"));
    showGrid(g);
    QSignalSpy chosen(&g, &Grid::dropDownChosen);

    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cellCentre(g, 1, 2));
    auto* combo = qobject_cast<QComboBox*>(g.view()->indexWidget(g.view()->model()->index(0, 1)));
    QVERIFY(combo);
    QCOMPARE(combo->currentText(), QStringLiteral("5"));
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QCOMPARE(edits.size(), 1);
    QCOMPARE(edits.first(), std::make_tuple(1, 2, QStringLiteral("17")));
    QCOMPARE(g.cellText(1, 2), QStringLiteral("17"));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toInt(), 2);

    // Typed edits are handed back the same way.
    g.view()->model()->setData(g.view()->model()->index(1, 0), QStringLiteral("张三"));
    QCOMPARE(edits.last(), std::make_tuple(2, 1, QStringLiteral("张三")));
    // A read-only grid hands nothing back.
    g.setReadOnly(true);
    QVERIFY(!g.view()->model()->setData(g.view()->model()->index(1, 0), QStringLiteral("x")));
    QCOMPARE(edits.size(), 2);
}

// A key typed on a cell edits it only in a column made editable; list cells keep their list.
void GridTest::onlyEditableColumnsTakeTyping()
{
    Grid g;
    g.setCols(4);
    g.setRows(2);
    g.setColumnKind(3, Grid::ColumnKind::DropDown);
    g.addDropDownItem(3, QStringLiteral("5"));
    g.setColumnEditable(2, true);
    for (int c = 1; c <= 3; ++c)
        g.setCellText(1, c, QStringLiteral("v"));
    showGrid(g);
    const struct
    {
        int col;
        Qt::Key key;
        bool edits;
    } cases[] = {{1, Qt::Key_A, false}, {1, Qt::Key_Space, false}, {1, Qt::Key_F2, false}, {2, Qt::Key_A, true}};
    for (const auto& c : cases) {
        g.setCurrentCell(1, c.col);
        g.view()->setFocus();
        QTest::keyClick(g.view(), c.key);
        QCOMPARE(g.view()->indexWidget(g.view()->model()->index(0, c.col - 1)) != nullptr, c.edits);
        QCOMPARE(g.isColumnEditable(c.col), c.edits);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(g.cellText(1, c.col), QStringLiteral("v"));
    }
    QVERIFY(g.isColumnEditable(3));
}

void GridTest::virtualMillionRowsAsksOnlyForVisibleCells()
{
    qint64 calls = 0;
    int maxRow = 0;
    Grid g;
    g.setCols(10);
    g.setCellSource([&](int r, int c) {
        ++calls;
        maxRow = std::max(maxRow, r);
        return QStringLiteral("r%1c%2").arg(r).arg(c);
    });
    g.setRows(1000001);
    QCOMPARE(g.rows(), 1000001);
    QCOMPARE(g.view()->model()->rowCount(), 1000000);
    showGrid(g, 800, 500);
    QCoreApplication::processEvents();
    // One screen is about 20 rows by 9 columns; every cell may be asked a few times.
    QVERIFY2(calls < 5000, qPrintable(QString::number(calls)));
    QVERIFY(maxRow < 100);

    calls = 0;
    g.view()->scrollToBottom();
    QCoreApplication::processEvents();
    g.view()->repaint();
    QVERIFY(calls > 0);
    QVERIFY2(calls < 5000, qPrintable(QString::number(calls)));
    QCOMPARE(maxRow, 1000000);
    QCOMPARE(g.cellText(999999, 4), QStringLiteral("r999999c4"));

    // Shrinking the count and redrawing asks nothing for rows that are gone.
    g.setRedraw(false);
    g.setRows(11);
    g.setRedraw(true);
    maxRow = 0;
    g.view()->repaint();
    QCoreApplication::processEvents();
    QVERIFY(maxRow <= 10);
}

void GridTest::notificationsOnCellChange()
{
    Grid g;
    g.setCols(4);
    g.setRows(5);
    QSignalSpy firstLeave(&g, &Grid::leaveCell);
    g.setCurrentCell(1, 1);
    QCOMPARE(firstLeave.count(), 1);
    QCOMPARE(firstLeave.first().at(0).toInt(), 0); // no cell was current before
    QCOMPARE(firstLeave.first().at(1).toInt(), 0);
    showGrid(g);
    QSignalSpy rowSpy(&g, &Grid::rowChanged);
    QSignalSpy leaveSpy(&g, &Grid::leaveCell);
    QSignalSpy dbl(&g, &Grid::doubleClicked);

    g.setCurrentCell(2, 3);
    QCOMPARE(rowSpy.count(), 1);
    QCOMPARE(rowSpy.last().first().toInt(), 2);
    QCOMPARE(leaveSpy.count(), 1);
    g.setCurrentCell(2, 1);
    QCOMPARE(rowSpy.count(), 1); // same row
    QCOMPARE(leaveSpy.count(), 2);
    QCOMPARE(leaveSpy.last().at(0).toInt(), 2);
    QCOMPARE(leaveSpy.last().at(1).toInt(), 3);

    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cellCentre(g, 4, 2));
    QTest::mouseDClick(g.view()->viewport(), Qt::LeftButton, {}, cellCentre(g, 4, 2));
    QCOMPARE(dbl.count(), 1);
    QCOMPARE(g.currentRow(), 4);
    QCOMPARE(rowSpy.last().first().toInt(), 4);
    // Double-click is a notification only: no editor opens.
    QVERIFY(!g.view()->indexWidget(g.view()->model()->index(3, 1)));
}

// Every change the pages make goes through the model checker: wrong counts, stale indexes or
// change signals out of order fail the test.
void GridTest::modelKeepsTheItemModelContract_data()
{
    QTest::addColumn<bool>("virtualCells");
    QTest::newRow("stored cells") << false;
    QTest::newRow("virtual cells") << true;
}

void GridTest::modelKeepsTheItemModelContract()
{
    QFETCH(bool, virtualCells);
    Grid g;
    QAbstractItemModelTester tester(g.view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (virtualCells)
        g.setCellSource([](int row, int col) { return QStringLiteral("%1/%2").arg(row).arg(col); });
    g.setCols(5);
    g.setRows(40);
    g.setColumnKind(2, Grid::ColumnKind::CheckBox);
    g.setColumnKind(3, Grid::ColumnKind::DropDown);
    g.addDropDownItem(3, QStringLiteral("a"));
    g.setHeaderText(1, QStringLiteral("姓名"));
    g.mergeHeader(1, 2);
    g.setCellText(3, 1, QStringLiteral("x"));
    g.setCellText(4, 2, QStringLiteral("1"));
    g.setRedraw(false);
    g.setRows(1);
    g.setRows(1000);
    g.setRedraw(true);
    g.refresh();
    g.setCols(3);
    g.setCols(8);
    g.setRows(12);
    g.clearCells();
    g.clearHeaderMerges();
    QCOMPARE(g.view()->model()->rowCount(), 11);
    QCOMPARE(g.view()->model()->columnCount(), 7);
}

QTEST_MAIN(GridTest)
#include "GridTest.moc"
