#include "ServerWaitDialog.h"

#include "startup/LanguageTable.h"
#include "startup/Messages.h"

#include <QApplication>
#include <QProgressDialog>

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
    QObject::connect(m_dialog, &QProgressDialog::canceled, m_dialog, [this] { m_cancelled = true; });
    m_dialog->show();
}

bool ServerWaitDialog::cancelRequested()
{
    QCoreApplication::processEvents();
    return m_cancelled;
}

void ServerWaitDialog::end()
{
    delete m_dialog;
}

} // namespace k27
