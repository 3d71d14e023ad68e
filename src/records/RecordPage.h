#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class Grid;

// Page 3 of the main window: the query options FrmIO and the record list GridIO.
class RecordPage : public QWidget
{
    Q_OBJECT
public:
    explicit RecordPage(QWidget* parent = nullptr);

    QGroupBox* FrmIO = nullptr;
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
};

} // namespace k27
