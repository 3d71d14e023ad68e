#include "FrmLogin.h"

#include "audit/AuditTrail.h"
#include "db/DatabaseSession.h"
#include "platform/Dialogs.h"
#include "signin/OperatorTable.h"
#include "platform/ProcessSafety.h"
#include "signin/PasswordHash.h"
#include "startup/AppContext.h"
#include "startup/Captions.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"
#include "startup/Utilities.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace k27 {

static constexpr int px(double twips)
{
    return int(twips / FrmLogin::Twips + 0.5);
}

template <typename W>
static W* place(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

static QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int w)
{
    auto* l = place<QLabel>(parent, name, x, y, w, 20);
    l->setText(text);
    return l;
}

FrmLogin::FrmLogin(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("用户登录"));
    buildControls();

    if (m_context.settings.language != 0)
        ApplyCaptions(this, m_context.language);

    loadOperators();
    // The operator types at once: the name of the first operator, or the password.
    (m_firstUse ? m_txtName : m_txtPassword)->setFocus();
    if (m_firstUse && m_context.firstStart)
        beginLanguageStep();

    // Placed from the dialog's full height, then grown by the opening animation.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.x() + (screen.width() - px(FullHeight)) / 2, screen.y() + (screen.height() - px(FullHeight)) / 2);
    resize(px(423), px(315));
}

void FrmLogin::buildControls()
{
    m_lbl1 = label(this, "Lbl1", QStringLiteral("用户权限审核------------------------"), 12, 8, 262);
    m_lbl1->setWordWrap(true);
    m_lbl1->setMinimumHeight(20);
    m_line1 = place<QFrame>(this, "Line1", 12, 40, px(4080) - 12, 2);
    m_line1->setFrameShape(QFrame::HLine);
    m_line1->setFrameShadow(QFrame::Sunken);

    label(this, "Lbl2", QStringLiteral("用户："), 16, 58, 72);
    m_combo1 = place<QComboBox>(this, "Combo1", 90, 54, 172, 26);
    m_txtName = place<QLineEdit>(this, "TxtName", 90, 54, 172, 26);
    m_txtName->hide();
    label(this, "Lbl3", QStringLiteral("密码："), 16, 96, 72);
    m_txtPassword = place<QLineEdit>(this, "txtPassword", 90, 92, 172, 26);
    m_txtPassword->setEchoMode(QLineEdit::Password);

    m_line4 = place<QFrame>(this, "Line4", 12, 130, px(4080) - 12, 2);
    m_line4->setFrameShape(QFrame::HLine);
    m_line4->setFrameShadow(QFrame::Sunken);

    m_cmdOK = place<QPushButton>(this, "cmdOK", 36, 148, 80, 30);
    m_cmdOK->setText(QStringLiteral("确定"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = place<QPushButton>(this, "CmdCancel", 124, 148, 80, 30);
    m_cmdCancel->setText(QStringLiteral("取消"));
    m_cmdGg = place<QPushButton>(this, "cmdGg", 214, 148, 46, 30);
    m_cmdGg->setText(QStringLiteral(">>"));

    // The password change area, to the right of the narrow dialog.
    const int x = px(NarrowWidth) + 6;
    label(this, "lbl4", QStringLiteral("更改登录密码-------------------"), x, 8, 220);
    // Between the two separator lines, which run across this area when it is open.
    label(this, "Lbl5", QStringLiteral("旧密码："), x, 51, 100);
    m_txtOld = place<QLineEdit>(this, "TxtOld", x + 100, 48, 120, 24);
    label(this, "Lbl6", QStringLiteral("新密码："), x, 77, 100);
    m_txt1 = place<QLineEdit>(this, "Txt1", x + 100, 74, 120, 24);
    label(this, "lbl7", QStringLiteral("确认密码："), x, 103, 100);
    m_txt2 = place<QLineEdit>(this, "Txt2", x + 100, 100, 120, 24);
    for (QLineEdit* e : {m_txtOld, m_txt1, m_txt2})
        e->setEchoMode(QLineEdit::Password);
    m_cmdChg = place<QPushButton>(this, "CmdChg", x + 100, 148, 100, 30);
    m_cmdChg->setText(QStringLiteral("修改密码"));
    // Enter in the change area changes the password; it must not sign in (and count a failure).
    for (QLineEdit* e : {m_txtOld, m_txt1, m_txt2})
        e->installEventFilter(this);
    setChangeAreaReachable(false);

    connect(m_combo1, &QComboBox::currentTextChanged, this, &FrmLogin::selectOperator);
    connect(m_cmdOK, &QPushButton::clicked, this, [this] {
        if (m_choosingLanguage)
            finishLanguageStep();
        else
            m_firstUse ? signInFirstUse() : signIn();
    });
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_cmdGg, &QPushButton::clicked, this, &FrmLogin::toggleChangeArea);
    connect(m_cmdChg, &QPushButton::clicked, this, &FrmLogin::changePassword);
}

void FrmLogin::loadOperators()
{
    Database* db = m_context.databases().window();
    const QList<OperatorRecord> operators = db ? k27::loadOperators(*db) : QList<OperatorRecord>();

    m_firstUse = operators.isEmpty();
    if (m_firstUse)
        m_lbl1->setText(m_context.message(Msg::FirstUseCreateAdministrator));
    m_combo1->setVisible(!m_firstUse);
    m_txtName->setVisible(m_firstUse);
    m_cmdGg->setVisible(!m_firstUse);

    QSignalBlocker block(m_combo1);
    for (const OperatorRecord& op : operators)
        m_combo1->addItem(op.name);
    block.unblock();
    if (m_combo1->count() > 0) {
        m_combo1->setCurrentIndex(0);
        selectOperator(m_combo1->currentText());
    }
}

void FrmLogin::selectOperator(const QString& name)
{
    Database* db = m_context.databases().window();
    if (const auto op = db ? findOperator(*db, name) : std::nullopt) {
        m_storedPassword = op->password;
        m_context.signedIn.name = name;
        m_context.signedIn.isAdministrator = op->administrator;
    }
}

void FrmLogin::rereadOperator()
{
    // Operators are shared by every desk of a register: a password changed on another desk
    // since the name was chosen here is the one that counts.
    Database* db = m_context.databases().window();
    if (const auto op = db && !m_context.signedIn.name.isEmpty() ? findOperator(*db, m_context.signedIn.name)
                                                                 : std::nullopt) {
        m_storedPassword = op->password;
        m_context.signedIn.isAdministrator = op->administrator;
    }
}

void FrmLogin::signIn()
{
    Dialogs& dialogs = m_context.dialogs();
    rereadOperator();
    QString typed = m_txtPassword->text();
    const bool right = verifyPassword(m_storedPassword, typed);
    wipe(typed);
    // The operator acts from the sign-in's own row on. The name tried goes into the log,
    // never what was typed as its password.
    if (right)
        audit::setActor({m_context.signedIn.name, {}});
    if (Database* db = m_context.databases().window())
        audit::record(*db, right ? audit::Action::SignIn : audit::Action::SignInFailed, m_combo1->currentText());
    if (!right) {
        dialogs.message(this, m_context.message(Msg::PasswordWrong), Dialogs::Icon::Error);
        m_txtPassword->setFocus();
        m_txtPassword->selectAll();
        if (++m_failures > 2) {
            dialogs.message(this, m_context.message(Msg::ThreeWrongPasswords), Dialogs::Icon::Error);
            reject();
        }
        return;
    }
    // Checked: nothing of it stays in memory.
    QString held = takeSecret(m_txtPassword);
    wipe(held);
    accept();
}

void FrmLogin::signInFirstUse()
{
    Dialogs& dialogs = m_context.dialogs();
    const QString name = trimSpaces(m_txtName->text());
    if (name.isEmpty()) {
        dialogs.message(this, m_context.message(Msg::EnterOperatorName), Dialogs::Icon::Error);
        return;
    }
    QString again = dialogs.input(this, m_context.message(Msg::ConfirmPasswordPrompt),
                                  m_context.message(Msg::ConfirmPasswordTitle), true);
    if (m_txtPassword->text() != again) {
        wipe(again);
        dialogs.message(this, m_context.message(Msg::PasswordsDiffer), Dialogs::Icon::Error);
        return;
    }
    QString password = trimSpaces(again);
    const bool emptyPassword = password.isEmpty();
    const QString stored = hashPassword(password);
    // Hashed: the typed texts are wiped (the shared one last, where it is the only holder).
    QString typed = takeSecret(m_txtPassword);
    for (QString* secret : {&password, &again, &typed})
        wipe(*secret);
    // Nobody is signed in on an account that was not stored, or stored without its password.
    Database* db = m_context.databases().window();
    const bool added = (emptyPassword || !stored.isEmpty()) && db
                       && addOperator(*db, {name, stored, true, m_context.message(Msg::AdministratorCreatedMark)});
    if (!added) {
        dialogs.message(this, m_context.message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    m_context.signedIn = {name, true};
    audit::setActor({name, {}});
    audit::record(*db, audit::Action::SignIn, name);
    dialogs.message(this, m_context.message(Msg::AdministratorCreated), Dialogs::Icon::Information);
    accept();
}

// The language step stands in the place of the operator fields until OK is pressed.
void FrmLogin::beginLanguageStep()
{
    m_choosingLanguage = true;
    m_cmbLag = place<QComboBox>(this, "CmbLag", 16, 54, 246, 26);
    m_cmbLag->addItems({QStringLiteral("简体中文"), QStringLiteral("繁體中文"), QStringLiteral("English")});
    for (const char* name : {"Lbl2", "Lbl3", "TxtName", "txtPassword"})
        findChild<QWidget*>(QLatin1String(name))->hide();
    const int suggested = languageForLocale(QLocale::system());
    m_cmbLag->setCurrentIndex(suggested);
    showLanguage(suggested);
    connect(m_cmbLag, &QComboBox::currentIndexChanged, this, &FrmLogin::showLanguage);
    m_cmbLag->show();
    m_cmbLag->setFocus();
}

// Switches the dialog (and the messages that follow) to the language at once.
void FrmLogin::showLanguage(int language)
{
    if (language < 0 || language > 2)
        return;
    const quint8 previous = m_context.settings.language;
    m_context.settings.language = quint8(language);
    // Simplified Chinese first, as at start-up, so that no message is left empty.
    m_context.language.loadFile(m_context.languagePath(0));
    if (!m_context.loadLanguage()) {
        m_context.settings.language = previous;
        m_context.loadLanguage();
    }
    ApplyCaptions(this, m_context.language);
    m_lbl1->setText(m_context.message(Msg::ChooseLanguage));
}

void FrmLogin::finishLanguageStep()
{
    writeSettingsFile(m_context.settingsPath(), m_context.settings);
    m_choosingLanguage = false;
    m_cmbLag->hide();
    for (const char* name : {"Lbl2", "Lbl3", "TxtName", "txtPassword"})
        findChild<QWidget*>(QLatin1String(name))->show();
    m_lbl1->setText(m_context.message(Msg::FirstUseCreateAdministrator));
    m_txtName->setFocus();
}

void FrmLogin::setLineEnds(int twips)
{
    for (QFrame* line : {m_line1, m_line4})
        line->setFixedWidth(px(twips) - line->x());
}

bool FrmLogin::isChangeAreaOpen() const
{
    return width() > px(4300);
}

void FrmLogin::setChangeAreaReachable(bool open)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_txtOld, m_txt1, m_txt2, m_cmdChg})
        w->setFocusPolicy(open ? Qt::StrongFocus : Qt::NoFocus);
    QWidget* focus = focusWidget();
    if (!open && (focus == m_txtOld || focus == m_txt1 || focus == m_txt2 || focus == m_cmdChg))
        m_txtPassword->setFocus();
}

void FrmLogin::toggleChangeArea()
{
    if (isChangeAreaOpen()) {
        resize(px(NarrowWidth), height());
        setLineEnds(4080);
        m_cmdGg->setText(QStringLiteral(">>"));
        setChangeAreaReachable(false);
    } else {
        resize(px(WideWidth), height());
        setLineEnds(7560);
        m_cmdGg->setText(QStringLiteral("<<"));
        setChangeAreaReachable(true);
    }
}

bool FrmLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_cmdChg->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmLogin::changePassword()
{
    SignedInOperator& op = m_context.signedIn;
    if (op.name.isEmpty())
        return;
    Dialogs& dialogs = m_context.dialogs();
    rereadOperator();
    QString old = trimSpaces(m_txtOld->text());
    const bool oldRight = verifyPassword(m_storedPassword, old);
    wipe(old);
    if (!oldRight) {
        dialogs.message(this, m_context.message(Msg::OldPasswordWrong), Dialogs::Icon::Warning);
        m_txtOld->setFocus();
        m_txtOld->selectAll();
        return;
    }
    if (TrimAtNul(m_txt1->text()) != TrimAtNul(m_txt2->text())) {
        dialogs.message(this, m_context.message(Msg::NewPasswordsDiffer), Dialogs::Icon::Warning);
        m_txt2->setFocus();
        return;
    }
    // Stored trimmed, like every other password, so the session and later sign-ins agree.
    QString plain = trimSpaces(m_txt1->text());
    const QString stored = hashPassword(plain);
    const bool emptyPassword = plain.isEmpty();
    wipe(plain);
    Database* db = m_context.databases().window();
    const bool written = (emptyPassword || !stored.isEmpty()) && db && setOperatorPassword(*db, op.name, stored);
    if (!written) {
        dialogs.message(this, m_context.message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    m_storedPassword = stored;
    // Stored: the three fields are emptied and what they held wiped.
    for (QLineEdit* field : {m_txtOld, m_txt1, m_txt2}) {
        QString held = takeSecret(field);
        wipe(held);
    }
    dialogs.message(this, m_context.message(Msg::PasswordChanged), Dialogs::Icon::Information);
}

void FrmLogin::playOpeningAnimation()
{
    if (m_animating || width() >= px(500))
        return;
    m_animating = true;
    for (int i = 1; i <= 50 && isVisible(); ++i) {
        resize(px(i * 84.6), px(i * 63));
        DelayMs(10);
    }
    m_animating = false;
}

void FrmLogin::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QMetaObject::invokeMethod(this, &FrmLogin::playOpeningAnimation, Qt::QueuedConnection);
}

void FrmLogin::closeEvent(QCloseEvent* event)
{
    // Closing the dialog is the same as Cancel: the program ends.
    event->accept();
    reject();
}

} // namespace k27
