// The records page in the main window: mode switching, query, import, deletion and export
// as the operator meets them (the operations themselves are tested without a window).

#include "MainWindowFixture.h"

#include "mainwin/Frmmain.h"
#include "mainwin/ProgressPanel.h"
#include "platform/Grid.h"
#include "records/RecordPage.h"
#include "records/RecordRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace k27;
using namespace k27::test;

namespace {

using Kind = ScriptedDialogs::Kind;
using Icon = Dialogs::Icon;

void exec(const MainWindowFixture& fx, const QString& sql, const QVariantList& params = {})
{
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QVERIFY2(db.exec(sql, params), qPrintable(sql));
}

QString writeFile(const MainWindowFixture& fx, const QString& name, const QByteArray& bytes)
{
    const QString path = fx.folder.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray recordLines(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QStringLiteral("0007,C%1,2024-05-01,08:%2:%3,星期三\r\n")
                   .arg(i).arg(i / 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    return out;
}

// Rows first..last selected as by a drag from `first` to `last`.
void dragSelect(Grid* grid, int first, int last)
{
    QAbstractItemModel* model = grid->view()->model();
    QItemSelectionModel* sm = grid->view()->selectionModel();
    sm->select(QItemSelection(model->index(qMin(first, last) - 1, 0), model->index(qMax(first, last) - 1, 0)),
               QItemSelectionModel::ClearAndSelect);
    sm->setCurrentIndex(model->index(last - 1, 0), QItemSelectionModel::NoUpdate);
}

const ScriptedDialogs::Call& lastCall(const MainWindowFixture& fx) { return fx.dialogs.calls.last(); }

} // namespace

class RecordPageTest : public QObject
{
    Q_OBJECT

private slots:
    void loadValuesAndModeSwitching();
    void queryListsNewestFirstOrWarns();
    void importShowsSummaryRowsAndLocksTheButtons();
    void deletionChecksAsksAndReports();
    void exportReportsSuccessAndFailure();
    void ordinaryOperatorQueriesImportsAndExportsButNeverDeletes();
};

void RecordPageTest::loadValuesAndModeSwitching()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();

    QCOMPARE(p->DT[0]->dateTime(), QDateTime(QDate::currentDate(), QTime(0, 0)));
    QCOMPARE(p->DT[1]->dateTime(), QDateTime(QDate(2011, 3, 15), QTime(0, 0)));
    QCOMPARE(p->DT[0]->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(p->DT[1]->minimumDate(), QDate(2009, 12, 30));
    QCOMPARE(p->DT[1]->maximumDate(), QDate(2099, 12, 30));
    QCOMPARE(p->T_No->maxLength(), 3);
    QCOMPARE(p->TxtCode->maxLength(), 20);
    QCOMPARE(p->CmbNum->count(), 7);
    QCOMPARE(p->CmbNum->currentText(), QStringLiteral("200"));

    const QList<QWidget*> filters = {p->L_Code, p->L_Name, p->L_Dpt, p->L_No,
                                     p->TxtCode, p->T_Name, p->T_Dpt, p->T_No};
    const auto filtersEnabled = [&](bool on) {
        for (QWidget* f : filters)
            if (f->isEnabled() != on)
                return false;
        return true;
    };
    // Neither mode at first.
    QVERIFY(!p->DT[0]->isEnabled() && !p->DT[1]->isEnabled() && !p->CmbNum->isEnabled());
    QVERIFY(filtersEnabled(true));

    p->CKD->click();
    QVERIFY(p->DT[0]->isEnabled() && p->DT[1]->isEnabled());
    // Recent mode clears the time span and disables the filters.
    p->CKNum->click();
    QVERIFY(!p->CKD->isChecked());
    QVERIFY(!p->DT[0]->isEnabled() && !p->DT[1]->isEnabled());
    QVERIFY(p->CmbNum->isEnabled());
    QVERIFY(filtersEnabled(false));
    // ... and the time span clears the recent mode.
    p->CKD->click();
    QVERIFY(!p->CKNum->isChecked() && !p->CmbNum->isEnabled());
    QVERIFY(filtersEnabled(true));
    QVERIFY(p->DT[0]->isEnabled());
    p->CKD->click();
    QVERIFY(!p->DT[0]->isEnabled());
}

void RecordPageTest::queryListsNewestFirstOrWarns()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();

    p->BtnFind->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(lastCall(fx).text, fx.context->message(120));
    QCOMPARE(lastCall(fx).icon, Icon::Warning);
    QCOMPARE(p->GridIO->rows(), 1);

    exec(fx, QStringLiteral("INSERT INTO 用户信息 (姓名, 部门, 卡号) VALUES ('张三', '财务', 'A1')"));
    exec(fx, QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (7, '东门')"));
    exec(fx, QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES"
                            " ('A1', '2024-05-01 08:00:00', 7, '星期三'),"
                            " ('B2', '2024-05-02 09:00:00', 7, '星期四'),"
                            " ('A1', '2024-04-30 18:00:00', 3, '星期二')"));
    fx.dialogs.clear();
    p->BtnFind->click();
    QVERIFY(fx.dialogs.calls.isEmpty());
    Grid* g = p->GridIO;
    QCOMPARE(g->rows(), 4);
    QCOMPARE(g->cellText(1, 1), QStringLiteral("2024-05-02 09:00:00"));
    QCOMPARE(g->cellText(1, 6), QStringLiteral("0007"));
    QCOMPARE(g->cellText(1, 7), QStringLiteral("东门"));
    QVERIFY(g->cellText(1, 3).isEmpty());
    QCOMPARE(g->cellText(2, 3), QStringLiteral("张三"));
    QCOMPARE(g->cellText(3, 6), QStringLiteral("0003"));

    // Terminal filter 007; then recent mode with no number does nothing at all.
    p->T_No->setText(QStringLiteral("007"));
    p->BtnFind->click();
    QCOMPARE(g->rows(), 3);
    p->CKNum->click();
    p->CmbNum->setEditText(QStringLiteral("abc"));
    p->BtnFind->click();
    QCOMPARE(g->rows(), 3);
    QVERIFY(fx.dialogs.calls.isEmpty());
}

void RecordPageTest::importShowsSummaryRowsAndLocksTheButtons()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();

    // Unreadable file: a warning, nothing shown.
    fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("missing.txt"));
    p->btnInputD->click();
    QCOMPARE(fx.dialogs.calls.first().kind, Kind::OpenFile);
    QCOMPARE(fx.dialogs.calls.first().text, RecordPage::importFilter());
    QCOMPARE(lastCall(fx).text, fx.context->message(112));
    QCOMPARE(lastCall(fx).icon, Icon::Warning);
    QVERIFY(w.progressPanel()->isHidden());

    // 60 lines: the progress lets events through at line 50, the buttons are locked then.
    // The file ends with a bad date and a line already imported.
    QByteArray bytes = recordLines(60);
    bytes += "0007,X,2011-02-30,08:00:00,星期一\r\n";
    bytes += recordLines(1);
    fx.dialogs.fileAnswers << writeFile(fx, QStringLiteral("a.TXT"), bytes);
    QList<bool> seenEnabled;
    bool panelSeen = false;
    QTimer::singleShot(0, &w, [&] {
        for (QPushButton* b : {p->BtnFind, p->btnInputD, p->BtnDelD, p->btnOutD})
            seenEnabled << b->isEnabled();
        panelSeen = !w.progressPanel()->isHidden();
        p->BtnFind->click();   // ignored while the import runs
        w.LoadCardholders();   // another page uses the window's connection meanwhile
    });
    fx.dialogs.clear();
    p->btnInputD->click();
    QCOMPARE(seenEnabled, QList<bool>({false, false, false, false}));
    QVERIFY(panelSeen);
    QVERIFY(w.progressPanel()->isHidden());
    QCOMPARE(w.progressPanel()->LblPrg->text(), fx.context->message(126));
    for (QPushButton* b : {p->BtnFind, p->btnInputD, p->BtnDelD, p->btnOutD})
        QVERIFY(b->isEnabled());

    QCOMPARE(fx.dialogs.calls.size(), 2);   // the file dialog and the summary: no query ran
    QCOMPARE(lastCall(fx).text, fx.context->message(113) + QStringLiteral("60") + fx.context->message(114)
                                    + QStringLiteral("2") + fx.context->message(115));
    QCOMPARE(lastCall(fx).icon, Icon::None);
    QCOMPARE(p->GridIO->rows(), 61);
    QCOMPARE(p->GridIO->cellText(1, 1), QStringLiteral("2024-05-01 08:00:00"));
    QCOMPARE(p->GridIO->cellText(1, 6), QStringLiteral("0007"));
    QCOMPARE(p->GridIO->cellText(1, 8), QStringLiteral("C0"));
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), 60);
}

void RecordPageTest::deletionChecksAsksAndReports()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();
    Grid* g = p->GridIO;

    p->BtnDelD->click();
    QCOMPARE(lastCall(fx).text, fx.context->message(116));
    QCOMPARE(lastCall(fx).icon, Icon::Warning);

    fx.dialogs.fileAnswers << writeFile(fx, QStringLiteral("r.csv"), recordLines(5));
    p->btnInputD->click();
    QCOMPARE(g->rows(), 6);

    // No current cell: the header row.
    g->view()->selectionModel()->clear();
    fx.dialogs.clear();
    p->BtnDelD->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(15)});
    QCOMPARE(lastCall(fx).icon, Icon::Warning);

    // Rows 3..1 dragged upwards; No first, then Yes.
    dragSelect(g, 3, 1);
    fx.dialogs.clear();
    fx.dialogs.questionAnswers << false << true;
    p->BtnDelD->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(61)});
    QCOMPARE(g->rows(), 6);
    p->BtnDelD->click();
    QCOMPARE(lastCall(fx).text, fx.context->message(117) + QStringLiteral("3") + fx.context->message(118));
    QCOMPARE(lastCall(fx).icon, Icon::None);
    QCOMPARE(g->rows(), 3);
    QCOMPARE(g->cellText(1, 8), QStringLiteral("C3"));
    QCOMPARE(w.progressPanel()->LblPrg->text(), fx.context->message(127));
    QVERIFY(w.progressPanel()->isHidden());
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(卡号) FROM (SELECT 卡号 FROM 进出记录 ORDER BY 卡号)")).toString(),
             QStringLiteral("C3,C4"));
}

void RecordPageTest::exportReportsSuccessAndFailure()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();
    fx.dialogs.fileAnswers << writeFile(fx, QStringLiteral("r.txt"), recordLines(2));
    p->btnInputD->click();

    const QString csv = fx.folder.filePath(QStringLiteral("out.csv"));
    fx.dialogs.fileAnswers << csv << fx.folder.filePath(QStringLiteral("no/such/dir/out.csv"));
    fx.dialogs.clear();
    p->btnOutD->click();
    QCOMPARE(lastCall(fx).text, fx.context->message(121));
    QCOMPARE(lastCall(fx).icon, Icon::Information);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QRegularExpression(QStringLiteral("\r?\n")),
                                                                   Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains(fx.context->message(104)));
    QVERIFY(lines[2].contains(QStringLiteral("C1")));

    p->btnOutD->click();
    QVERIFY(lastCall(fx).text.startsWith(fx.context->message(137)));
    QCOMPARE(lastCall(fx).icon, Icon::Error);
    // Cancelled: nothing said.
    const int calls = fx.dialogs.calls.size();
    p->btnOutD->click();
    QCOMPARE(fx.dialogs.calls.size(), calls + 1);
    QCOMPARE(lastCall(fx).kind, Kind::SaveFile);
}

void RecordPageTest::ordinaryOperatorQueriesImportsAndExportsButNeverDeletes()
{
    MainWindowFixture fx(0, false);
    Frmmain w(*fx.context);
    RecordPage* p = w.recordPage();
    QVERIFY(!p->BtnDelD->isEnabled());

    fx.dialogs.fileAnswers << writeFile(fx, QStringLiteral("r.txt"), recordLines(2));
    p->btnInputD->click();
    QCOMPARE(p->GridIO->rows(), 3);
    QVERIFY(!p->BtnDelD->isEnabled());
    QVERIFY(p->BtnFind->isEnabled() && p->btnInputD->isEnabled() && p->btnOutD->isEnabled());

    p->BtnFind->click();
    QCOMPARE(p->GridIO->rows(), 3);
    fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("out.csv"));
    p->btnOutD->click();
    QCOMPARE(lastCall(fx).text, fx.context->message(121));
    QVERIFY(!p->BtnDelD->isEnabled());
}

QTEST_MAIN(RecordPageTest)
#include "RecordPageTest.moc"
