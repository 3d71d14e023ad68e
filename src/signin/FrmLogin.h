#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k27 {

class AppContext;

// The sign-in dialog: signs an operator in, creates the first operator on first use, and
// changes the chosen operator's password in its expandable area. Accepted = signed in;
// rejected = the program ends (cancel, close, or the third wrong password).
class FrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit FrmLogin(AppContext& context, QWidget* parent = nullptr);

    bool isFirstUse() const { return m_firstUse; }
    // On the first start in a new folder the dialog asks for the language before the first
    // operator; true while it does.
    bool isChoosingLanguage() const { return m_choosingLanguage; }
    int failureCount() const { return m_failures; }

    // Twips as the dialog's sizes are given (15 per pixel).
    static constexpr int Twips = 15;
    static constexpr int NarrowWidth = 4230;
    static constexpr int WideWidth = 7740;
    static constexpr int FullHeight = 3150;

    // Plays the opening animation when the dialog is still small (runs on activation).
    void playOpeningAnimation();

    bool isChangeAreaOpen() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The chosen operator's stored password and rights as the register holds them now.
    void rereadOperator();
    void buildControls();
    void loadOperators();
    void selectOperator(const QString& name);
    void signIn();
    void signInFirstUse();
    void toggleChangeArea();
    void changePassword();
    void setLineEnds(int twips);
    // Only an open change area takes the focus: Tab never walks into fields beyond the edge.
    void setChangeAreaReachable(bool open);
    void beginLanguageStep();
    void showLanguage(int language);
    void finishLanguageStep();

    AppContext& m_context;
    bool m_firstUse = false;
    int m_failures = 0;
    bool m_animating = false;
    bool m_choosingLanguage = false;
    QString m_storedPassword; // stored form of the chosen operator's password

    QLabel* m_lbl1 = nullptr;
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_cmbLag = nullptr;
    QLineEdit* m_txtName = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QPushButton* m_cmdGg = nullptr;
    QLineEdit* m_txtOld = nullptr;
    QLineEdit* m_txt1 = nullptr;
    QLineEdit* m_txt2 = nullptr;
    QPushButton* m_cmdChg = nullptr;
    QFrame* m_line1 = nullptr;
    QFrame* m_line4 = nullptr;
};

} // namespace k27
