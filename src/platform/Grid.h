#pragma once

#include <utility>

#include "platform/GridExportResult.h"
#include "platform/GridPageSetup.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QPrinter;
class QTableView;

namespace k27 {

class Dialogs;
class GridModel;
class GridHeaderView;
class GridDelegate;

// The table control of every page. Rows and columns count the header row and
// the row-number column as the pages see them: row 0 is the header row (drawn
// by the horizontal header), column 0 the row-number column (the vertical
// header, hidden when its width is 0). Data cells are rows 1..rows()-1 and
// columns 1..cols()-1.
//
// A grid either stores its cells, or is virtual (setCellSource): then it holds
// no texts at all, asks the source for each visible cell and hands edits to
// the edited callback, so a million rows cost nothing but a row count.
class Grid : public QWidget
{
    Q_OBJECT

public:
    enum class ColumnKind { Text, CheckBox, DropDown };
    using CellSource = std::function<QString(int row, int col)>;
    using CellEdited = std::function<void(int row, int col, const QString& text)>;

    explicit Grid(QWidget* parent = nullptr);
    ~Grid() override;

    // Counts include the header row / row-number column: setRows(n) gives n - 1 data rows.
    int rows() const;
    void setRows(int n);
    int cols() const;
    void setCols(int n);

    // Row 0 reads and writes the header text, column 0 reads the row number.
    // On a virtual grid data cells come from the source and writes go to the
    // edited callback.
    QString cellText(int row, int col) const;
    void setCellText(int row, int col, const QString& text);
    // Empties every stored data cell (headers stay).
    void clearCells();

    // Width in pixels; 0 hides the column (column 0: the row-number column).
    void setColumnWidth(int col, int width);
    int columnWidth(int col) const;
    bool isColumnHidden(int col) const;
    void setHeaderText(int col, const QString& text);
    QString headerText(int col) const;
    // Draws the header cells of columns c1..c2 as one cell showing the first
    // non-empty header text of the range.
    void mergeHeader(int c1, int c2);
    void clearHeaderMerges();
    // The merged range that holds `col` as {first, last}, or {col, col}.
    std::pair<int, int> headerMergeOf(int col) const;
    // Pixels the header caption of `col` (of its merged range) needs to show whole.
    int headerCaptionWidth(int col) const;
    // Shows column `col` at display position `position` (1 = first after the row numbers);
    // cell addresses stay as they are.
    void setColumnPosition(int col, int position);

    // CheckBox cells hold "1" (ticked) or "0"; DropDown cells offer the column's list.
    void setColumnKind(int col, ColumnKind kind);
    ColumnKind columnKind(int col) const;
    void clearDropDownList(int col);
    void addDropDownItem(int col, const QString& item);
    QStringList dropDownList(int col) const;

    // Virtual mode; both callbacks see rows >= 1 and columns >= 1 only.
    void setCellSource(CellSource source);
    void setCellEdited(CellEdited edited);
    bool isVirtual() const;

    // Redraw off while rows change, then on again (which redraws); refresh redraws.
    void setRedraw(bool on);
    bool redraw() const;
    void refresh();

    // Current cell: 0 when there is none.
    int currentRow() const;
    int currentCol() const;
    void setCurrentCell(int row, int col);
    // The selection's first row is where it started, the last where it ended,
    // so first > last after dragging upwards. Without a selection both are the
    // current row.
    int selectionFirstRow() const;
    int selectionLastRow() const;
    // Selects the whole row (all columns) and makes it current.
    void selectRow(int row);

    // Enter and F2 on the current row raise doubleClicked (the row chosen whole) instead of
    // editing: for lists whose double-click takes a row up for a change.
    void setEnterOpensRow(bool on);

    // Text cells take no typing unless their column is made editable here (edits reach the
    // page through the edited callback); tick boxes and drop-down lists always work.
    void setColumnEditable(int col, bool editable);
    bool isColumnEditable(int col) const;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    void setRowHeight(int pixels);
    int rowHeight() const;

    // Printing: the page set-up (see SetPrin), a print preview that can print
    // or write PDF, and straight PDF output.
    GridPageSetup& pageSetup();
    const GridPageSetup& pageSetup() const;
    void setPageSetup(const GridPageSetup& setup);
    void print(QWidget* parent = nullptr);
    // Where the print preview opens on a screen with this available area: its preferred size
    // where there is room, always whole within the area, title bar and borders included.
    static QRect previewGeometry(const QRect& available);
    bool printToPdf(const QString& path);
    // Renders every row onto `printer` (its page layout is set from the page set-up), or the
    // first pages the operator chose for a long print.
    void renderTo(QPrinter* printer) const;

    // A print of more pages than this asks first how many of them to print: a long list on
    // paper is rarely meant whole, and a million rows would be some 22,000 sheets.
    static constexpr int LargePrintPages = 1000;
    // The question; answers the operator's text. Set once by the main window; unset, every page prints.
    using PrintPagesQuestion = std::function<QString(QWidget* parent, int pages)>;
    static void setPrintPagesQuestion(PrintPagesQuestion question);
    // How many pages a print on `printer` gives, asking when there are more than
    // LargePrintPages; 0 prints nothing. renderTo() keeps to it until the next call.
    int choosePrintPages(QPrinter* printer, QWidget* parent);

    // Writes the header row and all data rows to .xlsx or .csv (UTF-8). With an
    // empty file name the operator chooses the file. Column 0 (row numbers) is
    // written only when `withRowNumbers`; hidden columns never. The old file is
    // replaced only when the new one was written completely.
    // `progress`, when set, hears of the rows written every so often (a large grid takes a while);
    // false from it stops the export, which then writes no file.
    using RowProgress = std::function<bool(int done, int total)>;
    GridExportResult exportToFile(Dialogs& dialogs, const QString& fileName = {}, bool withHeaderRow = true,
                                  bool withRowNumbers = false, const QString& dialogTitle = {},
                                  const RowProgress& progress = {});
    // Hears of every export written and every print made (the operator log): the grid, how many
    // data rows it holds, the file (or printer). Set once by the program; unset, nobody hears.
    enum class Output { Export, Print };
    using OutputObserver = std::function<void(const Grid& grid, Output kind, int rows, const QString& file)>;
    static void setOutputObserver(OutputObserver observer);

    // The file types an export offers.
    static QString exportFilter();

    QTableView* view() const;

signals:
    void clicked();
    void doubleClicked();
    void dropDownChosen(int col);
    void rowChanged(int row);
    // The current cell changed; carries the cell that was left (0, 0 when none).
    void leaveCell(int row, int col);

private:
    void tellOutput(Output kind, const QString& file) const;
    void onCurrentChanged(int oldModelRow, int oldModelCol, int newModelRow, int newModelCol);
    void onViewClicked(int modelRow, int modelCol);
    // The row numbers' column keeps the width set, and widens where the last row's number
    // would not fit in it (a million rows and more) rather than lose its leading digits.
    void fitRowNumbers();
    void applyColumnWidth(int col);
    std::pair<int, int> selectionEnds() const;

    GridModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    GridHeaderView* m_header = nullptr;
    GridDelegate* m_delegate = nullptr;
    QList<int> m_widths; // per column incl. column 0, -1 = default
    GridPageSetup m_pageSetup;
    bool m_redraw = true;
    bool m_readOnly = false;
    int m_printPages = 0;         // 0: every page
    QObject* m_rowKeys = nullptr; // the Enter/F2 filter while setEnterOpensRow is on
};

} // namespace k27
