#pragma once

#include "RecordQuery.h"
#include "db/Database.h"
#include "platform/RunGuard.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class AppContext;
class Grid;
class RecordRows;

// Page 3 of the main window: the query options FrmIO and the record list GridIO, with the
// query, import, deletion and export of the records.
class RecordPage : public QWidget
{
    Q_OBJECT
public:
    // What the page uses of the main window: the run's context, the window's record table
    // (shown by GridIO) and the window's progress panel.
    struct Window {
        AppContext* context = nullptr;
        RecordRows* rows = nullptr;
        RunGuard* runs = nullptr;   // the window's one long run
        std::function<void(QWidget* page, const QString& caption, int total)> progressStart;
        std::function<void(int done)> progressValue;
        std::function<void()> progressFinish;
    };

    // Files of the record import; the terminals write .txt or .csv in any letter case.
    static const QString& importFilter();

    explicit RecordPage(QWidget* parent = nullptr);

    // The buttons do nothing until the window is attached.
    void attach(Window window);

    // BtnFind, btnInputD, BtnDelD and btnOutD.
    void find();
    void importFile();
    void deleteRows();
    void exportGrid();

    // An import, deletion or query is running (window events are let through meanwhile).
    bool isBusy() const { return m_busy; }
    // The last query's result is not fully read yet (the rest arrives in portions).
    bool isLoading() const { return !m_rest.atEnd(); }
    // Reads what is left of the last query's result into the table now.
    void completeRows();

    // The first screen of a query, and each later portion read while the operator looks.
    static constexpr int FirstRows = 2000;
    static constexpr int PortionRows = 20000;
    // Read on without the operator up to this many rows; past it only as he scrolls near the end.
    static constexpr int BackgroundRows = 1000000;

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
    QDateTimeEdit* DT[2] = {nullptr, nullptr};   // 0 end, 1 start
    QCheckBox* CKNum = nullptr;
    QComboBox* CmbNum = nullptr;
    QPushButton* BtnFind = nullptr;
    QPushButton* btnInputD = nullptr;
    QPushButton* BtnDelD = nullptr;
    QPushButton* btnOutD = nullptr;
    Grid* GridIO = nullptr;

private:
    class Operation;

    void onTimeSpanToggled(bool on);
    void onRecentToggled(bool on);
    void showRowCount(bool pump);
    Database* reader();
    void loadPortion();
    void scheduleLoad();
    void setOperationButtonsEnabled(bool on);
    QString message(int number) const;

    Window m_window;
    bool m_busy = false;
    // The page's own connection for queries, opened once: deriving the key costs more than a
    // query. Opened again when the file was replaced (a restore puts a new file in place).
    RecordCursor m_rest;
    QTimer m_loader;
};

} // namespace k27
