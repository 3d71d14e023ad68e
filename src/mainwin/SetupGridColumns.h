#pragma once

namespace k27 {

class Grid;
class LanguageTable;

// The grids of the main window whose columns the language decides. GridP lives on the
// settings page and may be missing.
struct MainGrids
{
    Grid* GridU = nullptr;
    Grid* GridU2 = nullptr;
    Grid* GridM = nullptr;
    Grid* GridZ = nullptr;
    Grid* GridP = nullptr;
    Grid* GridIO = nullptr;
};

// Column counts, header texts (messages of the language) and widths of every grid, the
// merged headers, check-box and drop-down columns of GridZ and the drop-down columns of the
// cardholder lists. Each grid is redrawn once afterwards.
void SetupGridColumns(const MainGrids& grids, const LanguageTable& language);

} // namespace k27
