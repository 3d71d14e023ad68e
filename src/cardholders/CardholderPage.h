#pragma once

#include <QList>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class Grid;

// Page 0 of the main window: the frame "添加用户" with the edit fields of one cardholder,
// the frame "检索" with the search fields and list buttons, and the list GridU.
// The main window owns the data behind the grid and wires the buttons.
class CardholderPage : public QWidget
{
    Q_OBJECT
public:
    explicit CardholderPage(QWidget* parent = nullptr);

    // Search texts of the four fields (name, card number, department, address).
    QStringList searchTexts() const;
    void clearSearch();

    QGroupBox* frameAdd = nullptr;      // "添加用户"
    QGroupBox* frameSearch = nullptr;   // "检索"
    QLineEdit* TxtName = nullptr;
    QComboBox* Combo1 = nullptr;
    QLineEdit* TxtDp = nullptr;
    QLineEdit* TxtJob = nullptr;
    QLineEdit* txtAd = nullptr;
    QLineEdit* txtTel = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* btnInsert = nullptr;
    QPushButton* BtnUpdate = nullptr;
    QPushButton* btnCls = nullptr;
    QList<QComboBox*> CmbF;             // indices 0..3
    QPushButton* btndel = nullptr;
    QPushButton* btnInput = nullptr;
    QPushButton* btnEx = nullptr;
    QPushButton* btnPrint = nullptr;
    Grid* GridU = nullptr;

signals:
    // A text change or list choice in one of the search fields.
    void searchChanged();
};

} // namespace k27
