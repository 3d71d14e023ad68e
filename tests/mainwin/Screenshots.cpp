// k27-shots PROGRAM_FOLDER LANGUAGE ADMIN OUTDIR: opens the main window on a program folder
// as an administrator (ADMIN=1) or ordinary operator and saves a picture of each page, then
// of the whole screen with each page and with the cardholder list's print preview (run it
// under a window manager to see the window as the operator does).
#include "ScriptedDialogs.h"
#include "cardholders/CardholderPage.h"
#include "issuing/IssuingPage.h"
#include "records/RecordChart.h"
#include "records/RecordPage.h"
#include "records/RecordPictures.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "ribbon/VelRibbon.h"
#include "startup/AppContext.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QDir>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 5)
        return 1;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    // The window opens where the defaults put it, not where the last run left it.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + QStringLiteral("/user"));
    k27::test::ScriptedDialogs dialogs;
    k27::AppContext context(folder, dialogs);
    context.settings.language = quint8(QByteArray(argv[2]).toInt());
    context.loadLanguage();
    const bool admin = QByteArray(argv[3]) == "1";
    context.signedIn = {admin ? QStringLiteral("admin") : QStringLiteral("clerk"), admin};
    const QString out = QString::fromLocal8Bit(argv[4]);
    QDir().mkpath(out);
    const QString who = admin ? QStringLiteral("admin") : QStringLiteral("operator");
    const auto screenShot = [&](const QString& name) {
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QStringLiteral("%1/screen-%2-lang%3-%4.png").arg(out, name).arg(argv[2]).arg(who));
    };
    k27::Frmmain window(context);
    window.show();
    QTest::qWait(500);
    // The status line as after a card written, to see its colour.
    window.issuingPage()->showTip(context.message(53) + QStringLiteral("0000012345"), k27::IssuingPage::SuccessColour);
    for (int page = 1; page <= 5; ++page) {
        window.ribbon()->selectTab(page - 1); // as a click on the tab: the bar shows it too
        QTest::qWait(250);
        window.grab().save(QStringLiteral("%1/page%2-lang%3-%4.png").arg(out).arg(page).arg(argv[2]).arg(who));
        screenShot(QStringLiteral("page%1").arg(page));
    }
    // The records page with its activity chart for the whole register, then "last seen".
    window.ribbon()->selectTab(3);
    k27::RecordPage* records = window.recordPage();
    records->BtnFind->click();
    records->pictures()->btnChart->setChecked(true);
    QTest::qWait(400);
    window.grab().save(QStringLiteral("%1/chart-lang%2-%3.png").arg(out).arg(argv[2]).arg(who));
    screenShot(QStringLiteral("chart"));
    records->pictures()->btnLast->click();
    QTest::qWait(400);
    records->pictures()->FrmLast->grab().save(
        QStringLiteral("%1/lastseen-lang%2-%3.png").arg(out).arg(argv[2]).arg(who));
    screenShot(QStringLiteral("lastseen"));
    records->pictures()->FrmLast->close();
    records->pictures()->btnChart->setChecked(false);
    window.ribbon()->selectTab(0);
    QTimer::singleShot(1500, [&] {
        screenShot(QStringLiteral("preview"));
        if (QWidget* preview = QApplication::activeModalWidget())
            preview->close();
    });
    window.cardholderPage()->GridU->print(&window);
    return 0;
}
