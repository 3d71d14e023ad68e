#include "mainwin/Frmmain.h"
#include "platform/QtDialogs.h"
#include "signin/FrmLogin.h"
#include "startup/AppContext.h"
#include "startup/Startup.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K27Center"));
    QApplication::setApplicationDisplayName(QStringLiteral("K27 Center"));

    k27::QtDialogs dialogs;
    k27::AppContext context(QApplication::applicationDirPath(), dialogs);
    context.userDataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);

    k27::Startup startup(context);
    if (startup.run() == k27::Startup::Outcome::Exit)
        return 0;

    k27::FrmLogin login(context);
    if (login.exec() != QDialog::Accepted)
        return 0;

    k27::Frmmain mainWindow(context);
    mainWindow.show();
    return QApplication::exec();
}
