#pragma once

#include "cardholders/AutoName.h"
#include "cardholders/CardholderStore.h"

#include <QImage>
#include <QList>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class AppContext;
class CardholderTable;
class Grid;
class PageHost;

// Page 0 of the main window: the frame "添加用户" with the edit fields of one cardholder,
// the frame "检索" with the search fields and list buttons, and the list GridU.
// The main window owns the data behind the grid and hands it in with its host; the page
// answers the grid's notifications and its buttons. The statements live in CardholderStore.
class CardholderPage : public QWidget
{
    Q_OBJECT
public:
    CardholderPage(PageHost& host, CardholderTable& cardholders, QWidget* parent = nullptr);

    // Search texts of the four fields (name, card number, department, address).
    QStringList searchTexts() const;
    void clearSearch();

    // Grid notifications of GridU.
    void GridU_Click();
    void GridU_DropDownChosen(int col);
    void GridU_DblClick();
    // Fills the edit fields with a row's six fields (name ... phone).
    void showEdited(const QStringList& columns);
    void GridU_LeaveCell(); // the notification with two arguments
    // HolderTerminals and HolderValidity for the cardholder of GridU's row.
    void LoadRowPermissions(int row);
    const QStringList& holderTerminals() const { return m_holderTerminals; }
    const QStringList& holderValidity() const { return m_holderValidity; }

    // Buttons.
    void insertCardholder();  // btnInsert
    void updateCardholder();  // BtnUpdate
    void clearFields();       // btnCls
    void deleteCardholders(); // btndel
    void exportCardholders(); // btnEx
    void preparePrint();      // btnPrint before the preview: SetPrin
    void printCardholders();  // btnPrint
    void choosePhoto();       // Image1 double-click

    // The picture in Image1; null when it shows none. Loading stretches it to the frame.
    QImage photo() const;
    void setPhoto(const QImage& picture);
    // Name and phone of the cardholder loaded by a double-click; empty when none is.
    const CardholderStore::Key& editKey() const { return m_editKey; }
    AutoName& autoName() { return m_autoName; }
    CardholderStore store() const;

    // The file filter of the photo choice.
    // Every picture format the program reads first (under `picturesCaption`), then the
    // JPG, bitmap, GIF and PNG entries; letters in any case.
    static QString photoFilter(const QString& picturesCaption);

    QGroupBox* frameAdd = nullptr;    // "添加用户"
    QGroupBox* frameSearch = nullptr; // "检索"
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
    QList<QComboBox*> CmbF; // indices 0..3
    QPushButton* btndel = nullptr;
    QPushButton* btnInput = nullptr;
    QPushButton* btnEx = nullptr;
    QPushButton* btnPrint = nullptr;
    Grid* GridU = nullptr;
    Grid* GridTemp = nullptr; // hidden: the export buffer

signals:
    // A text change or list choice in one of the search fields.
    void searchChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildAddFrame();
    void buildSearchFrame();
    void connectHandlers();
    bool isAdministrator() const;
    QString message(int number) const;
    void filter();
    void endEdit();

    PageHost& m_host;
    CardholderTable& m_cardholders;
    AutoName m_autoName;
    CardholderStore::Key m_editKey;
    // The row being edited as it was read when the edit began (what a save may change).
    std::optional<CardholderStore::Reading> m_reading;
    QStringList m_holderTerminals;
    QStringList m_holderValidity;
    QString m_imageHint;
    bool m_deleting = false;
};

} // namespace k27
