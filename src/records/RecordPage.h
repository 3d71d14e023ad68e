#pragma once

#include "RecordList.h"
#include "RecordQuery.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class AppContext;
class Database;
class Grid;
class PageHost;
class RecordPictures;
class RecordRows;
class RegisterLock;

// Page 3 of the main window: the query options FrmIO and the record list GridIO, with the
// query, import, deletion and export of the records.
class RecordPage : public QWidget
{
    Q_OBJECT
public:
    // Files of the record import; the terminals write .txt or .csv in any letter case.
    static const QString& importFilter();

    // `rows` is the window's record table, shown by GridIO.
    RecordPage(PageHost& host, RecordRows& rows, QWidget* parent = nullptr);

    // BtnFind, btnInputD, BtnDelD and btnOutD.
    void find();
    void importFile();
    void deleteRows();
    void exportGrid();
    // A restore replaced the database: the shown result's positions belong to the old file,
    // so the list empties until the next query.
    void databaseReplaced();
    // Another desk changed the records: the query shown runs again, the chosen record kept
    // chosen, and the chart with it. Not while the operator's typing is in the list (it would
    // be lost); the next Find shows the changes then.
    void showOthersChanges();

    // An import, deletion, export or query is running (window events are let through meanwhile).
    bool isBusy() const { return m_busy; }
    // The last query's result is not fully counted yet (the count goes on in portions).
    bool isLoading() const { return m_list.isCounting(); }
    // What GridIO shows.
    RecordList& list() { return m_list; }

    // The first screen of a query is the first block of the list; the rest of the result is
    // counted while the operator looks, the scroll bar growing with it, a portion never holding
    // the window for longer than this.
    static constexpr int FirstRows = RecordList::FirstRows;
    static constexpr int PortionMilliseconds = 40;

    QGroupBox* FrmIO = nullptr;
    QLabel* L_Code = nullptr;
    QLabel* L_Name = nullptr;
    QLabel* L_Dpt = nullptr;
    QLabel* L_No = nullptr;
    QLineEdit* TxtCode = nullptr;
    QLineEdit* T_Name = nullptr;
    QLineEdit* T_Dpt = nullptr;
    QLineEdit* T_No = nullptr;
    QCheckBox* CKD = nullptr;
    QDateTimeEdit* DT[2] = {nullptr, nullptr}; // 0 end, 1 start
    QCheckBox* CKNum = nullptr;
    QComboBox* CmbNum = nullptr;
    QPushButton* BtnFind = nullptr;
    QPushButton* btnInputD = nullptr;
    QPushButton* BtnDelD = nullptr;
    QPushButton* btnOutD = nullptr;
    Grid* GridIO = nullptr;

    // The activity chart and "last seen" (btnChart, ChartIO, btnLast, GridLast).
    RecordPictures* pictures() const { return m_pictures; }
    // The query options as the fields hold them, and the fields set as if typed.
    RecordFilter filterFields() const;
    void setFilterFields(const RecordFilter& filter);

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Busy;
    void buildOptionsFrame();
    void connectHandlers();
    class Operation;

    void onTimeSpanToggled(bool on);
    void onRecentToggled(bool on);
    void showRowCount(bool pump);
    Database* reader();
    // The count of a result goes on beside the clicks, through a page cache of its own.
    Database* counter();
    bool m_warmed = false; // the list of cards read once since the page was first shown
    void loadPortion();
    void scheduleLoad();
    void setOperationButtonsEnabled(bool on);
    bool countAll();
    QString message(int number) const;
    // Another desk holds the run this one wanted: says which computer.
    void refuseBeside(const RegisterLock& lock);

    PageHost& m_host;
    RecordRows& m_rows;
    bool m_busy = false;
    bool m_replaced = false; // a restore came while busy
    // The query the list shows (none when it shows an import's lines).
    std::optional<RecordFilter> m_shownQuery;
    RecordList m_list;
    QTimer m_loader;
    RecordPictures* m_pictures = nullptr;
};

} // namespace k27
