#include "SetupGridColumns.h"

#include "cardholders/CardholderTable.h"
#include "platform/Grid.h"
#include "settings/SettingsPage.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"

#include <QFontMetrics>
#include <QTableView>
#include <algorithm>
#include <initializer_list>
#include <utility>

namespace k27 {

namespace {

using Column = std::pair<int, int>; // header message (-1: empty), width

// Pixels per width unit. The lists get a little more room than one pixel per unit so that
// an 11-digit phone number or a 10-digit card number is not cut; the terminal grid of the
// issuing page keeps one pixel per unit so that its three groups fit beside the target list.
constexpr double ListUnit = 1.2;
constexpr double TerminalGridUnit = 1.0;
// The department in the narrow issuing list: enough to tell two namesakes apart.
constexpr int IssuingListDepartmentWidth = 100;

void setColumns(Grid* grid, const LanguageTable& language, std::initializer_list<Column> columns,
                double unit = ListUnit)
{
    if (!grid)
        return;
    grid->setRedraw(false);
    grid->setCols(int(columns.size()));
    int col = 0;
    for (const Column& c : columns) {
        grid->setHeaderText(col, c.first < 0 ? QString() : language.message(c.first));
        grid->setColumnWidth(col, int(c.second * unit + 0.5));
        ++col;
    }
}

// A width too narrow for the caption in this language (say "Terminal No." in 60 pixels)
// grows to it; a merged caption widens the last visible column of its range.
void fitCaptions(Grid* grid)
{
    for (int col = 0; col < grid->cols(); ++col) {
        const auto [first, last] = grid->headerMergeOf(col);
        if (col != first)
            continue;
        int width = 0;
        int widest = -1;
        for (int c = first; c <= last; ++c) {
            if (grid->isColumnHidden(c))
                continue;
            width += grid->columnWidth(c);
            widest = c;
        }
        const int needed = grid->headerCaptionWidth(first);
        if (widest >= 0 && needed > width)
            grid->setColumnWidth(widest, grid->columnWidth(widest) + needed - width);
    }
}

// Room left and right of a cell's text, on screen and (scaled alike) on paper.
constexpr int CellPadding = 12;

// A column whose values come from a fixed vocabulary shows the longest of them whole.
void fitValues(Grid* grid, int col, const QStringList& values)
{
    if (!grid)
        return;
    const QFontMetrics metrics(grid->view()->font());
    int widest = 0;
    for (const QString& value : values)
        widest = std::max(widest, metrics.horizontalAdvance(value));
    grid->setColumnWidth(col, std::max(grid->columnWidth(col), widest + CellPadding));
}

// The sexes as either language's gender list writes them: a row keeps the words it was
// entered with whatever language is shown now.
const QStringList& sexes()
{
    static const QStringList words = {QStringLiteral("男"), QStringLiteral("女"), QStringLiteral("man"),
                                      QStringLiteral("woman")};
    return words;
}

// Weekdays as terminals write them.
const QStringList& weekdays()
{
    static const QStringList words = {
        QStringLiteral("星期一"),   QStringLiteral("星期二"),    QStringLiteral("星期三"),   QStringLiteral("星期四"),
        QStringLiteral("星期五"),   QStringLiteral("星期六"),    QStringLiteral("星期日"),   QStringLiteral("Monday"),
        QStringLiteral("Tuesday"),  QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
        QStringLiteral("Saturday"), QStringLiteral("Sunday")};
    return words;
}

void finish(Grid* grid)
{
    if (!grid)
        return;
    fitCaptions(grid);
    grid->setRedraw(true);
    grid->refresh();
}

void setupCardholderList(Grid* grid, const LanguageTable& language, bool issuingList)
{
    setColumns(grid, language,
               {{Msg::HeaderNo, 50},
                {Msg::HeaderName, 80},
                {Msg::HeaderSex, 35},
                {Msg::HeaderDepartment, 180},
                {Msg::HeaderPosition, 100},
                {Msg::HeaderAddress, 200},
                {Msg::HeaderPhone, 90},
                {Msg::HeaderCard, 70},
                {Msg::HeaderTerminals, 70},
                {Msg::HeaderValidity, 100}});
    if (!grid)
        return;
    fitValues(grid, CardholderColumn::Gender, sexes());
    grid->setColumnKind(CardholderColumn::Terminal, Grid::ColumnKind::DropDown);
    grid->setColumnKind(CardholderColumn::Validity, Grid::ColumnKind::DropDown);
    if (issuingList) {
        // The issuing list sits beside the terminal grid: card number, department and phone
        // follow the name, so that a target who already has a card shows it and two people
        // of the same name are told apart without scrolling; terminals and validity come next.
        grid->setColumnPosition(CardholderColumn::Card, 2);
        grid->setColumnPosition(CardholderColumn::Department, 3);
        grid->setColumnPosition(CardholderColumn::Phone, 4);
        grid->setColumnPosition(CardholderColumn::Terminal, 5);
        grid->setColumnPosition(CardholderColumn::Validity, 6);
        grid->setColumnWidth(CardholderColumn::Department, int(IssuingListDepartmentWidth * ListUnit + 0.5));
    }
    finish(grid);
}

} // namespace

void SetupGridColumns(const MainGrids& grids, const LanguageTable& language)
{
    setupCardholderList(grids.GridU, language, false);
    setupCardholderList(grids.GridU2, language, true);

    setColumns(grids.GridM, language,
               {{Msg::HeaderTerminalListNo, 50}, {Msg::HeaderTerminalNumber, 100}, {Msg::InstallationAddress, 600}});
    finish(grids.GridM);

    if (Grid* z = grids.GridZ) {
        constexpr int Terminal = Msg::HeaderTerminal;
        constexpr int Location = Msg::HeaderLocation;
        constexpr int Validity = Msg::HeaderTerminalValidity;
        setColumns(z, language,
                   {{-1, 0},
                    {-1, 20},
                    {Terminal, 50},
                    {Location, 160},
                    {Validity, 0},
                    {-1, 20},
                    {Terminal, 50},
                    {Location, 160},
                    {Validity, 0},
                    {-1, 20},
                    {Terminal, 50},
                    {Location, 160},
                    {Validity, 0}},
                   TerminalGridUnit);
        z->clearHeaderMerges();
        for (int group = 0; group < 3; ++group) {
            const int first = 1 + 4 * group;
            z->mergeHeader(first, first + 1);
            z->setColumnKind(first, Grid::ColumnKind::CheckBox);
            const int validity = first + 3;
            z->setColumnKind(validity, Grid::ColumnKind::DropDown);
            z->clearDropDownList(validity);
            for (int m = Msg::January; m <= Msg::December; ++m)
                z->addDropDownItem(validity, language.message(m));
            z->addDropDownItem(validity, language.message(Msg::Permanent));
        }
        finish(z);
    }

    const auto& operators = SettingsPage::OperatorColumns;
    setColumns(grids.GridP, language, {operators[0], operators[1], operators[2], operators[3]});
    fitValues(grids.GridP, 2, {language.message(Msg::Administrator), language.message(Msg::OrdinaryOperator)});
    finish(grids.GridP);

    setColumns(grids.GridIO, language,
               {{Msg::HeaderNo, 40},
                {Msg::HeaderEntryTime, 110},
                {Msg::HeaderDay, 30},
                {Msg::HeaderName, 100},
                {Msg::HeaderDepartment, 100},
                {Msg::HeaderAddress, 235},
                {Msg::HeaderTerminalNumber, 50},
                {Msg::HeaderLocation, 230},
                {Msg::HeaderCard, 80}});
    if (grids.GridIO) {
        // A whole entry time ("2011-03-15 08:30:05") stays readable.
        const QFontMetrics metrics(grids.GridIO->font());
        const int padding = 12;
        grids.GridIO->setColumnWidth(
            1, std::max(grids.GridIO->columnWidth(1),
                        metrics.horizontalAdvance(QStringLiteral("2011-03-15 08:30:05")) + padding));
    }
    fitValues(grids.GridIO, 2, weekdays());
    finish(grids.GridIO);
}

} // namespace k27
