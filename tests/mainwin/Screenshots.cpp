// k27-shots PROGRAM_FOLDER LANGUAGE ADMIN OUTDIR: opens the main window on a program folder
// as an administrator (ADMIN=1) or ordinary operator and saves a picture of each page.
#include "ScriptedDialogs.h"
#include "mainwin/Frmmain.h"
#include "startup/AppContext.h"

#include <QApplication>
#include <QDir>
#include <QTest>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 5)
        return 1;
    k27::test::ScriptedDialogs dialogs;
    k27::AppContext context(QString::fromLocal8Bit(argv[1]), dialogs);
    context.settings.language = quint8(QByteArray(argv[2]).toInt());
    context.loadLanguage();
    const bool admin = QByteArray(argv[3]) == "1";
    context.signedIn = {admin ? QStringLiteral("admin") : QStringLiteral("clerk"), admin};
    const QString out = QString::fromLocal8Bit(argv[4]);
    QDir().mkpath(out);
    k27::Frmmain window(context);
    window.show();
    QTest::qWait(300);
    for (int page = 1; page <= 5; ++page) {
        window.TabClick(QString::number(page));
        QTest::qWait(250);
        window.grab().save(QStringLiteral("%1/page%2-lang%3-%4.png").arg(out).arg(page).arg(argv[2])
                               .arg(admin ? QStringLiteral("admin") : QStringLiteral("operator")));
    }
    return 0;
}
