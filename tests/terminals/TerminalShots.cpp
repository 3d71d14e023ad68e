// k27-terminal-shots OUTDIR LANGUAGE: the terminal page with a few terminals, a row taken
// for a change, the duplicate question of a workbook import and the progress panel of a
// cardholder import, saved as pictures (not a test; run it under Xvfb to look).
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "Workbooks.h"

#include "cardholders/CardholderImportAction.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Grid.h"
#include "startup/AppContext.h"
#include "terminals/TerminalPage.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace k27;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 1;
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString lang = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    test::ProgramFolder folder;
    {
        Database db;
        db.open(folder.databasePath());
        const char* places[] = {"东门岗亭", "北门入口", "地下车库A区", "办公楼一层大厅", "实验楼3楼", "食堂后门"};
        for (int i = 0; i < 6; ++i)
            db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"),
                    {i * 3 + 1, QString::fromUtf8(places[i])});
    }
    test::ScriptedDialogs dialogs;
    AppContext context(folder.path(), dialogs);
    context.settings.language = quint8(lang.toInt());
    context.loadLanguage();
    context.signedIn = {QStringLiteral("admin"), true};
    Frmmain window(context);
    window.show();
    auto shot = [&](const QString& name) {
        QTest::qWait(200);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QStringLiteral("%1/%2-lang%3.png").arg(out, name, lang)});
    };
    window.TabClick(QStringLiteral("2"));
    TerminalPage* page = window.terminalPage();
    page->TxtNo->setText(QStringLiteral("12"));
    page->TxtAdd->setPlainText(QStringLiteral("西门 临时岗"));
    page->cmdAdd->click();
    shot(QStringLiteral("terminal-added"));
    page->GridM->selectRow(2);
    emit page->GridM->doubleClicked();
    shot(QStringLiteral("terminal-selected"));

    // Import: terminal 4 again and a new one; the question stays open for the picture.
    const QString sheet = folder.path(QStringLiteral("terminals.xls"));
    test::makeSheet1(sheet, {"终端机号", "地址"}, {QJsonArray{"0004", "北门（新）"}, QJsonArray{30, "新楼"}});
    page->workbookReader().setToolPath(test::workbookTool());
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (window.duplicatePrompt()->isVisible()) {
            answer.stop();
            shot(QStringLiteral("import-question"));
            window.duplicatePrompt()->CmdTip[DuplicatePrompt::SkipAll]->click();
        }
    });
    answer.start(50);
    dialogs.fileAnswers << sheet;
    page->cmdIn->click();
    shot(QStringLiteral("terminal-imported"));

    // Cardholder import: the progress panel over the cardholder page.
    window.TabClick(QStringLiteral("1"));
    const QString people = folder.path(QStringLiteral("people.xls"));
    QList<QJsonArray> rows;
    for (int i = 1; i <= 400; ++i)
        rows << QJsonArray{QStringLiteral("用户%1").arg(i),    "男", "保卫科", "职员", "一号楼",
                           QString::number(13800000000LL + i), "",   "",       ""};
    test::makeSheet1(people, {"姓名", "性别", "部门", "职位", "住址", "电话", "卡号", "权限终端机", "时间期限"}, rows);
    auto* action = window.findChild<CardholderImportAction*>();
    action->workbookReader().setToolPath(test::workbookTool());
    bool taken = false;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        if (!taken && window.progressPanel()->isVisible()) {
            taken = true;
            window.grab().save(QStringLiteral("%1/cardholder-progress-lang%2.png").arg(out, lang));
        }
    });
    progress.start(0);
    dialogs.fileAnswers << people;
    QMetaObject::invokeMethod(action, &CardholderImportAction::run, Qt::QueuedConnection);
    QTest::qWait(4000);
    shot(QStringLiteral("cardholder-imported"));
    for (const auto& call : dialogs.calls)
        qInfo("%s", qPrintable(call.text));
    return 0;
}
