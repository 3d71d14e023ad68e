#pragma once

#include "issuing/CardFrame.h"

#include <QColor>
#include <QList>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace k27 {

class Grid;

// Page 2 of the main window: the frames "设置" and "命令类型", the terminal grid GridZ of
// one range of 46 terminals and the target cardholder list GridU2.
class IssuingPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RangeCount = 8;
    static constexpr int TerminalsPerRange = 46;
    static constexpr int GridZRows = 16;

    // The terminal grid: tick, number and address of three groups, plus its frame.
    static constexpr int TickWidth = 20;
    static constexpr int NumberWidth = 50;
    static constexpr int TerminalGridFrame = 24;
    static constexpr int TerminalGridWidth = 3 * (TickWidth + NumberWidth + 160) + TerminalGridFrame;
    static constexpr int TerminalGridMinimumWidth = 3 * (TickWidth + NumberWidth + 70) + TerminalGridFrame;
    // Columns of the target list that stay in view beside the terminal grid.
    static constexpr int TargetColumnsInView = 4;
    static constexpr int ListSpacing = 10;

    explicit IssuingPage(QWidget* parent = nullptr);

    // Shares the width between the terminal grid and the target list (after a resize and
    // after the lists' columns were set up).
    void fitLists();

    // The terminal number shown in group 0..2, row 1..16 for a range index, 0 for the two
    // empty cells at the end of group 3.
    static int terminalAt(int range, int group, int row);
    // Column of a group's tick cell (1, 5, 9); the number, address and hidden cells follow.
    static int tickColumn(int group) { return 1 + 4 * group; }

    // Writes the numbers of the range and their install addresses into GridZ.
    void fillTerminalGrid(int range, const std::function<QString(int number)>& addressOf);
    // Every tick cell of rows 1..16 to "0".
    void clearTicks();
    // Numbers of the ticked terminals in grid order (rows 1..16, groups left to right).
    QList<int> tickedTerminals() const;
    QStringList searchTexts() const;
    void clearSearch();
    int rangeIndex() const;

    // The chosen option of the frame "命令类型".
    CardFrame::CommandType commandType() const;
    // Renewals and restores list only cardholders who have a card.
    bool cardOnly() const;

    // The status line's colours: green for success, red for failure, dark enough to read on
    // the page (contrast at least 4.5:1; pure green on grey is 1.2:1).
    static inline const QColor SuccessColour{0, 120, 0};
    static inline const QColor FailureColour{200, 0, 0};

    // The status line: a text in the given colour (an invalid colour keeps the last one).
    void showTip(const QString& text, const QColor& colour = QColor());
    QColor tipColour() const { return m_tipColour; }

    QGroupBox* frameSettings = nullptr; // "设置"
    QGroupBox* frameCommand = nullptr;  // "命令类型"
    QGroupBox* frameSearch = nullptr;   // "检索"
    QComboBox* CmbNo = nullptr;
    QLineEdit* TxtC = nullptr;
    QRadioButton* OptN = nullptr;
    QRadioButton* OptT = nullptr;
    QRadioButton* OptO = nullptr;
    QRadioButton* OptR = nullptr;
    QCheckBox* Check1 = nullptr;
    QDateEdit* DT1 = nullptr;
    QLineEdit* txtUser = nullptr;
    QList<QComboBox*> CmbF; // indices 4..7 of the array, stored 0..3
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QLabel* Lbltip = nullptr;
    Grid* GridZ = nullptr;
    Grid* GridU2 = nullptr;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A search field (array index 4..7) changed: typed text, or a choice from its list.
    void searchChanged(int field, bool typed);

private:
    void buildSettingsFrame();
    // The command types with the run's buttons under them.
    QLayout* buildRunBox();
    void buildSearchFrame();

    QColor m_tipColour;
};

} // namespace k27
