#pragma once

#include "db/ServerWait.h"

#include <QPointer>
#include <QString>

class QProgressDialog;

namespace k27 {

class Dialogs;
class LanguageTable;

// The window's wait for a slow answer of the shared register's server: a small box over the
// active window, "waiting for the server" with a moving bar and Cancel (Escape too). It is
// application-modal, so while it shows the operator can only cancel; timers and the device's
// replies still run. After a cancel the operator is told, once the cancelled click has
// returned, that the page may show less than is stored.
class ServerWaitDialog final : public ServerWait
{
public:
    ServerWaitDialog(const LanguageTable& language, Dialogs& dialogs) : m_language(language), m_dialogs(dialogs) {}
    ~ServerWaitDialog() override;

    void begin() override;
    bool cancelRequested() override;
    void end() override;

private:
    const LanguageTable& m_language;
    Dialogs& m_dialogs;
    QPointer<QProgressDialog> m_dialog;
    bool m_cancelled = false;
};

} // namespace k27
