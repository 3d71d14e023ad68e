#pragma once

#include "RecordQuery.h"

#include <QObject>
#include <QString>
#include <functional>

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace k27 {

class AppContext;
class Database;
class Grid;
class RecordChart;

// The records page's pictures: the activity chart ChartIO (shown and hidden by btnChart, as
// each operator left it) and the "last seen" list GridLast (btnLast). Both follow the filter
// of the page's last query; the chart is counted again after an import or a deletion.
class RecordPictures : public QObject
{
    Q_OBJECT
public:
    struct Page
    {
        QWidget* widget = nullptr; // the records page: parent of the chart and the list's window
        AppContext* context = nullptr;
        std::function<Database*()> reader;
        // The page's fields set as if typed, then its query run.
        std::function<void(const RecordFilter&)> query;
        Grid* pageSetupFrom = nullptr; // the chart prints on the record list's page set-up
        // Runs `work` as the window's one long run on the connection of the long runs (the
        // page busy meanwhile); false without running it when another run is going on.
        std::function<bool(const std::function<bool(Database&)>& work)> longRun;
        std::function<bool()> closing; // a close asked the window's run to stop
    };

    explicit RecordPictures(QWidget* page);

    void attach(Page page);
    // The two buttons, for the page's button block.
    QHBoxLayout* buttons() const { return m_buttons; }

    // The page ran a query with `filter`.
    void queried(const RecordFilter& filter);
    // Records were added or deleted.
    void recordsChanged();
    // The database was replaced: nothing shown belongs to it any more.
    void clear();

    // Counts again now (when shown); true when the count was done, not stopped or refused.
    bool refresh();
    void showLastSeen();

    QPushButton* btnChart = nullptr;
    QPushButton* btnLast = nullptr;
    RecordChart* ChartIO = nullptr;
    QDialog* FrmLast = nullptr;
    Grid* GridLast = nullptr;

private:
    void setChartShown(bool shown);
    QString settingsKey() const;
    QString message(int number) const;
    void saveChart();
    void printChart();
    void narrow(const RecordFilter& filter);
    using Build = std::function<bool(Database&, const std::function<bool(int permille)>& step)>;
    bool ensureKept(const char* table, const Build& build);

    Page m_page;
    QHBoxLayout* m_buttons = nullptr;
    RecordFilter m_filter;
    bool m_counting = false;
    bool m_again = false; // a new count was asked for while one ran
    bool m_cancel = false;
    bool m_building = false;  // "last seen" waits for its table
    bool m_stopBuild = false; // Cancel clicked while a kept table was being made
};

} // namespace k27
