// The register frame of the system settings page: this computer's file or a shared server.

#include "SettingsPage.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "platform/Dialogs.h"
#include "platform/ProcessSafety.h"
#include "startup/AppContext.h"
#include "startup/RegisterChoice.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace k27 {

void SettingsPage::showRegisterChoice()
{
    const RegisterChoice choice = readRegisterChoice(registerChoicePath(m_context.programFolder()));
    (choice.server ? m_optReg1 : m_optReg0)->setChecked(true);
    m_txtHost->setText(choice.host);
    m_txtPort->setText(choice.port);
    m_txtDb->setText(choice.database);
    m_txtUser->setText(choice.user);
    m_cmbTls->setCurrentIndex(int(RegisterChoice::tlsModes().indexOf(choice.tls)));
    m_txtCa->setText(choice.caFile);
    enableRegisterFields();
}

RegisterChoice SettingsPage::registerChoice() const
{
    RegisterChoice choice;
    choice.server = m_optReg1->isChecked();
    choice.host = m_txtHost->text().trimmed();
    choice.port = m_txtPort->text().trimmed();
    choice.database = m_txtDb->text().trimmed();
    choice.user = m_txtUser->text().trimmed();
    choice.tls = m_cmbTls->currentText();
    choice.caFile = m_txtCa->text().trimmed();
    return choice;
}

void SettingsPage::enableRegisterFields()
{
    const bool server = m_optReg1->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_txtHost, m_txtPort, m_txtDb, m_txtUser, m_cmbTls, m_btnTest})
        w->setEnabled(server);
    const bool verify = server && m_cmbTls->currentText() == QLatin1String("verify-full");
    m_txtCa->setEnabled(verify);
    m_btnCa->setEnabled(verify);
}

void SettingsPage::chooseCaFile()
{
    const QString file = m_context.dialogs().openFile(this, m_frameRegister->title(),
                                                      QStringLiteral("*.crt *.pem (*.crt *.pem);;* (*)"));
    if (!file.isEmpty())
        m_txtCa->setText(file);
}

// Kept for this program folder; the run goes on with the register it started with.
void SettingsPage::applyRegisterChoice()
{
    if (!isAdministrator())
        return;
    const RegisterChoice choice = registerChoice();
    if (!writeRegisterChoice(registerChoicePath(m_context.programFolder()), choice)) {
        m_context.dialogs().message(this, m_context.message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    if (Database* db = m_context.databases().window())
        audit::record(*db, audit::Action::Settings, registerChoicePath(m_context.programFolder()),
                      QStringLiteral("register: ")
                          + (choice.server ? serverName(choice.url()) : QStringLiteral("file")));
    m_context.dialogs().message(this, m_lblReg->text(), Dialogs::Icon::Information);
}

void SettingsPage::testRegister()
{
    const QString url = registerChoice().url();
    if (url.isEmpty())
        return;
    QString password;
    for (bool typed = false;;) {
        QString tried = typed ? withPassword(url, password) : url;
        Database db;
        QString reason;
        const Database::Fault fault = openServerRegister(db, tried, &reason);
        if (typed)
            wipe(tried);
        if (fault == Database::Fault::Password) {
            const bool refused = typed || !passwordMissing(reason);
            wipe(password);
            password = askServerPassword(m_context, this, url, refused);
            if (password.isEmpty())
                return;
            typed = true;
            continue;
        }
        wipe(password);
        if (fault == Database::Fault::None)
            m_context.dialogs().message(this, m_context.message(Msg::ServerConnectionWorks),
                                        Dialogs::Icon::Information);
        else
            m_context.dialogs().message(this,
                                        m_context.message(serverFaultMessage(fault)) + u'\n'
                                            + (fault == Database::Fault::NoSchema ? serverName(url) : reason),
                                        Dialogs::Icon::Error);
        return;
    }
}

} // namespace k27
