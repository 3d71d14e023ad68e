#include "audit/AuditTrail.h"
#include "db/DatabaseSession.h"
#include "cardholders/CardholderPage.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "platform/ProcessSafety.h"
#include "platform/QtDialogs.h"
#include "signin/FrmLogin.h"
#include "startup/AppContext.h"
#include "startup/ProgramFolders.h"
#include "startup/BenchClicks.h"
#include "startup/ServerWaitDialog.h"
#include "startup/StageTiming.h"
#include "startup/Startup.h"

#include <QApplication>
#include <QIcon>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <optional>

#ifndef K27_VERSION
#define K27_VERSION "0"
#endif

namespace {

// The runs that end before any window: a wrong command line, --help, --version, and no display
// (Qt would abort with a core dump and a page of advice). Empty when the program goes on.
std::optional<int> answeredWithoutWindow(const k27::CommandLine& line, const QStringList& arguments)
{
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "k27center: %s\n%s", qPrintable(line.error), qPrintable(k27::usageText()));
        return 2;
    }
    if (line.help) {
        std::fputs(qPrintable(k27::usageText()), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("k27center %s\n", K27_VERSION);
        return 0;
    }
    const QString noDisplay = k27::missingDisplayReason(arguments);
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr, "k27center: cannot start: %s\n", qPrintable(noDisplay));
        return 1;
    }
    return std::nullopt;
}

// The names and the icon the desktop shows for the program.
void nameTheApplication()
{
    QApplication::setApplicationName(QString::fromLatin1(k27::ApplicationName));
    QApplication::setApplicationDisplayName(QStringLiteral("K27 Center"));
    QApplication::setApplicationVersion(QStringLiteral(K27_VERSION));
    QApplication::setDesktopFileName(QString::fromLatin1(k27::DesktopFileId));
    QIcon icon;
    for (int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/k27center/icons/k27center-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

// Every export and print goes into the operator log.
void logEveryOutput(k27::AppContext& context)
{
    k27::Grid::setOutputObserver(
        [&context](const k27::Grid& grid, k27::Grid::Output kind, int rows, const QString& file) {
            if (k27::Database* db = context.databases().window())
                k27::audit::recordOutput(*db, kind == k27::Grid::Output::Print, grid.objectName(), rows, file);
        });
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything holds a password or a cardholder: no core file, no reading by others.
    k27::refuseCoreDumps();
    // Off unless the window benchmark asks for it.
    k27::StageTiming stages = k27::StageTiming::fromEnvironment();
    stages.mark("main");
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const k27::CommandLine line = k27::parseCommandLine(arguments);
    if (const std::optional<int> exitCode = answeredWithoutWindow(line, arguments))
        return *exitCode;

    QApplication app(argc, argv);
    nameTheApplication();

    const k27::FolderFacts facts = k27::probeFolderFacts(line.folder, QApplication::applicationDirPath());
    const k27::ProgramFolders folders = k27::chooseProgramFolders(facts);

    k27::QtDialogs dialogs;
    k27::AppContext context(folders.programFolder, dialogs);
    context.setResFolder(folders.resFolder);
    context.userDataFolder = k27::manualBackupFolder(facts.userDataHome);
    context.privateProgramFolder = folders.kind == k27::ProgramFolders::Kind::UserData;
    if (!line.registerUrl.isEmpty())
        context.setRegister(line.registerUrl);
    // A click the shared register's server answers slowly shows that it waits, with Cancel.
    k27::ServerWaitDialog serverWait(context.language, dialogs);
    k27::ServerWait::install(&serverWait);

    k27::Startup startup(context);
    if (startup.run() == k27::Startup::Outcome::Exit)
        return 0;

    // The run's first row in the operator log, before anyone signs in.
    if (k27::Database* db = context.databases().window())
        k27::audit::record(*db, k27::audit::Action::ProgramStart, QStringLiteral(K27_VERSION));

    k27::FrmLogin login(context);
    // For the installed-package check: prove that the program reaches its sign-in dialog.
    if (qEnvironmentVariableIsSet("K27CENTER_QUIT_AT_SIGNIN")) {
        QTimer::singleShot(0, &login, [&login, &context] {
            std::printf("sign-in dialog shown (%s, folder %s)\n", login.isFirstUse() ? "first use" : "operators",
                        qPrintable(context.programFolder()));
            std::fflush(stdout);
            login.reject();
        });
    }
    stages.afterFirstPaint(&login, [&] {
        stages.mark("sign-in-dialog-shown");
        stages.signInWhenOpened(&login, k27::FrmLogin::NarrowWidth / k27::FrmLogin::Twips - 2);
    });
    if (login.exec() != QDialog::Accepted)
        return 0;
    stages.mark("signed-in");
    logEveryOutput(context);

    k27::Frmmain mainWindow(context);
    stages.mark("window-built");
    // Usable: the cardholder list, the first page, has been painted.
    stages.afterFirstPaint(mainWindow.cardholderPage()->GridU->view()->viewport(), [&] {
        const k27::CardholderTable& holders = mainWindow.cardholders();
        stages.mark("window-usable", QByteArray("holders=") + QByteArray::number(holders.rowCount())
                                         + " holder-bytes=" + QByteArray::number(qulonglong(holders.memoryBytes())));
        // Signed in by the hook: the records page's clicks when asked, then the end.
        if (stages.signsIn())
            k27::clickRecordQueries(stages, &mainWindow, [] { QApplication::exit(0); });
    });
    mainWindow.show();
    return QApplication::exec();
}
