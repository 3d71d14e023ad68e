#include "ServerWaitDialog.h"

#include "platform/Dialogs.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

namespace k27 {

ServerWaitDialog::~ServerWaitDialog()
{
    if (installed() == this)
        install(nullptr);
    end();
}

void ServerWaitDialog::begin()
{
    m_cancelled = false;
    m_dialog = new QProgressDialog(m_language.message(Msg::ServerWaiting), m_language.message(Msg::ServerWaitCancel), 0,
                                   0, QApplication::activeWindow());
    m_dialog->setObjectName(QStringLiteral("FrmServerWait"));
    m_dialog->setWindowTitle(QApplication::applicationDisplayName());
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    // Cancel, Escape and the window's close button all cancel.
    QObject::connect(m_dialog, &QProgressDialog::canceled, m_dialog, [this] { m_cancelled = true; });
    QObject::connect(m_dialog, &QDialog::rejected, m_dialog, [this] { m_cancelled = true; });
    m_dialog->show();
}

bool ServerWaitDialog::cancelRequested()
{
    QCoreApplication::processEvents();
    return m_cancelled;
}

void ServerWaitDialog::end()
{
    QWidget* parent = m_dialog ? m_dialog->parentWidget() : nullptr;
    delete m_dialog;
    if (!m_cancelled)
        return;
    m_cancelled = false;
    // Not here: the cancelled statement's caller still waits for its answer on this connection.
    QTimer::singleShot(0, qApp, [this, parent = QPointer<QWidget>(parent)] {
        m_dialogs.message(parent, m_language.message(Msg::ServerWaitCancelled), Dialogs::Icon::Information);
    });
}

} // namespace k27
