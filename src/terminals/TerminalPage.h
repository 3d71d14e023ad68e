#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace k27 {

class Grid;

// Page 1 of the main window: the terminal entry frame Frame3 and the list GridM.
class TerminalPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int AddressMaxLength = 100;

    explicit TerminalPage(QWidget* parent = nullptr);

    QGroupBox* Frame3 = nullptr;
    QLabel* Label30 = nullptr;
    QLineEdit* TxtNo = nullptr;
    QLabel* Label31 = nullptr;
    QPlainTextEdit* TxtAdd = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdD = nullptr;
    QPushButton* cmdIn = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdEx = nullptr;
    QLabel* lblNote = nullptr;
    Grid* GridM = nullptr;
};

} // namespace k27
