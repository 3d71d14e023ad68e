#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace k27 {

class Database;
class Grid;
class PageHost;

// The operator log for administrators: the rows by time span, operator, action and subject
// text in a grid that exports and prints, and the check of the whole chain with its head code.
class AuditPage : public QWidget
{
    Q_OBJECT
public:
    explicit AuditPage(PageHost& host, QWidget* parent = nullptr);

    // Fills the filter lists and the grid anew (on showing the page).
    void search();
    // Walks the whole chain, showing progress; the verdict and the head code go under the grid.
    void verify();
    // The list's print set-up: its title carries the chain's head code as it stands, so the
    // paper is what an auditor keeps to prove later that nothing up to that row changed.
    void preparePrint();
    void applyLanguage();

    QCheckBox* CKSpan = nullptr;
    QDateTimeEdit* DTFrom = nullptr;
    QDateTimeEdit* DTTo = nullptr;
    QComboBox* CmbOperator = nullptr;
    QComboBox* CmbAction = nullptr;
    QLineEdit* TxtSubject = nullptr;
    QPushButton* btnSearch = nullptr;
    QPushButton* btnEx = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnVerify = nullptr;
    Grid* GridLog = nullptr;
    QProgressBar* PBVerify = nullptr;
    QLabel* LblVerdict = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // "Head code: …" of the chain's head row; empty when it cannot be read.
    QString headCodeText(Database& db) const;

private:
    QLabel* m_lblOperator = nullptr;
    QLabel* m_lblAction = nullptr;
    QLabel* m_lblSubject = nullptr;
    PageHost& m_host;
};

} // namespace k27
