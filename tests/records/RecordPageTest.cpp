// The records page in the main window as the operator meets it; the operations behind the
// buttons are tested without a window.

#include "MainWindowFixture.h"

#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "issuing/IssuingController.h"
#include "issuing/IssuingPage.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "settings/SettingsPage.h"
#include "platform/Grid.h"
#include "platform/QtDialogs.h"
#include "records/RecordChart.h"
#include "records/RecordPage.h"
#include "records/RecordPictures.h"
#include "terminals/TerminalPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDateTimeEdit>
#include <QFile>
#include <QImage>
#include <QFileDialog>
#include <QListView>
#include <QTemporaryDir>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdio>

using namespace k27;
using namespace k27::test;
using Icon = Dialogs::Icon;

namespace {

// `count` records of terminal 7, one a second from 08:00:00, cards C0, C1, ...
QString recordFile(const MainWindowFixture& fx, int count, const QByteArray& tail = {})
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QStringLiteral("0007,C%1,2024-05-01,08:%2:%3,星期三\r\n")
                     .arg(i)
                     .arg(i / 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .toUtf8();
    const QString path = fx.folder.filePath(QStringLiteral("records.TXT"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes + tail) != bytes.size() + tail.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

bool said(const MainWindowFixture& fx, const QString& text, Icon icon)
{
    return !fx.dialogs.calls.isEmpty() && fx.dialogs.calls.last().text == text && fx.dialogs.calls.last().icon == icon;
}

} // namespace

class RecordPageTest : public QObject
{
    Q_OBJECT

private slots:
    void timeSpanAndRecentModeExcludeEachOther()
    {
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        RecordPage* p = w.recordPage();
        const auto filtersOn = [p](bool on) {
            for (QWidget* f : {(QWidget*)p->L_Code, (QWidget*)p->L_No, (QWidget*)p->TxtCode, (QWidget*)p->T_No})
                if (f->isEnabled() != on)
                    return false;
            return true;
        };
        QVERIFY(!p->DT[0]->isEnabled() && !p->CmbNum->isEnabled() && filtersOn(true));
        p->CKD->click();
        QVERIFY(p->DT[0]->isEnabled() && p->DT[1]->isEnabled());
        p->CKNum->click();
        QVERIFY(!p->CKD->isChecked() && !p->DT[1]->isEnabled() && p->CmbNum->isEnabled() && filtersOn(false));
        p->CKD->click();
        QVERIFY(!p->CKNum->isChecked() && !p->CmbNum->isEnabled() && filtersOn(true) && p->DT[0]->isEnabled());
    }

    // The chart counts what the query lists; a bar clicked sets the filter fields as if typed
    // and runs the query; the panel stays as the operator left it; "last seen" lists the cards.
    void chartFollowsTheQueryAndNarrowsIt()
    {
        MainWindowFixture fx;
        auto w = std::make_unique<Frmmain>(*fx.context);
        RecordPage* p = w->recordPage();
        RecordPictures* pictures = p->pictures();
        RecordChart* chart = pictures->ChartIO;
        fx.dialogs.fileAnswers << recordFile(fx, 60);
        p->btnInputD->click();
        pictures->btnChart->click();
        QVERIFY(!chart->isHidden());
        QCOMPARE(chart->counts().total, qint64(60)); // counted after the import
        // Saved as the name's ending says: SVG as a drawing, PNG otherwise.
        for (const char* name : {"chart.svg", "chart"}) {
            fx.dialogs.fileAnswers << fx.folder.filePath(QString::fromLatin1(name));
            chart->btnChartSave->click();
        }
        QFile svg(fx.folder.filePath(QStringLiteral("chart.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly) && svg.readAll().contains("<svg"));
        QVERIFY(QImage(fx.folder.filePath(QStringLiteral("chart.png"))).width() > 0);
        p->T_No->setText(QStringLiteral("8"));
        p->BtnFind->click();
        QCOMPARE(chart->counts().total, qint64(0));

        p->T_No->clear();
        p->BtnFind->click();
        QCOMPARE(chart->counts().step, RecordCounts::Step::Hour);
        QCOMPARE(chart->counts().timeline.size(), 1);
        const RecordCounts::Bar bar = chart->counts().timeline.value(0);
        QCOMPARE(bar.count, qint64(60));
        emit chart->timeChosen(bar.start, bar.end);
        QVERIFY(p->CKD->isChecked());
        QCOMPARE(p->DT[1]->dateTime(), QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
        QCOMPARE(p->DT[0]->dateTime(), QDateTime(QDate(2024, 5, 1), QTime(8, 59, 59)));
        QCOMPARE(p->GridIO->rows(), 61);
        emit chart->terminalChosen(7);
        QCOMPARE(p->T_No->text(), QStringLiteral("7"));
        QCOMPARE(chart->counts().total, qint64(60));
        emit chart->hourChosen(9); // outside the single day's hour: the span follows it
        QCOMPARE(p->DT[1]->dateTime(), QDateTime(QDate(2024, 5, 1), QTime(9, 0)));
        QCOMPARE(p->GridIO->rows(), 1);

        pictures->btnLast->click();
        QVERIFY(pictures->FrmLast->isVisible());
        // Every holder without a record then; no card seen at 9.
        const int holders =
            fx.context->databases().window()->scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toInt();
        QCOMPARE(pictures->GridLast->rows(), 1 + holders);
        p->CKD->setChecked(false);
        p->BtnFind->click();
        pictures->btnLast->click();
        QCOMPARE(pictures->GridLast->rows(), 61 + holders);
        QCOMPARE(pictures->GridLast->cellText(holders + 1, 1), fx.context->message(289));
        QCOMPARE(pictures->GridLast->cellText(holders + 1, 3), QStringLiteral("C59"));
        QCOMPARE(pictures->GridLast->cellText(holders + 1, 4), QStringLiteral("2024-05-01 08:00:59"));
        QCOMPARE(pictures->GridLast->cellText(61 + holders - 1, 3), QStringLiteral("C0"));

        // Remembered for the operator.
        w = std::make_unique<Frmmain>(*fx.context);
        QVERIFY(w->recordPage()->pictures()->btnChart->isChecked());
        w->recordPage()->pictures()->btnChart->click();
        w = std::make_unique<Frmmain>(*fx.context);
        QVERIFY(!w->recordPage()->pictures()->btnChart->isChecked());
    }

    // An older register gets its day counts at the chart's first count and its newest record
    // of each card at the first "last seen", each made as the window's long run.
    void olderRegisterGetsItsKeptTables()
    {
        MainWindowFixture fx;
        auto w = std::make_unique<Frmmain>(*fx.context);
        RecordPage* p = w->recordPage();
        RecordPictures* pictures = p->pictures();
        fx.dialogs.fileAnswers << recordFile(fx, 60);
        p->btnInputD->click();
        Database* db = fx.context->databases().window();
        QVERIFY(db->execScript(QStringLiteral(
            "DROP TRIGGER 进出记录_日计数_加; DROP TRIGGER 进出记录_日计数_删; DROP TRIGGER 进出记录_日计数_改;"
            " DROP TABLE 进出记录_日计数; DROP TRIGGER 进出记录_最近_加; DROP TRIGGER 进出记录_最近_删;"
            " DROP TRIGGER 进出记录_最近_改; DROP TABLE 进出记录_最近;")));
        pictures->btnChart->click();
        QCOMPARE(pictures->ChartIO->counts().total, qint64(60));
        QVERIFY(db->hasTable(QStringLiteral("进出记录_日计数")));
        QVERIFY(!db->hasTable(QStringLiteral("进出记录_最近")));
        pictures->btnLast->click();
        QVERIFY(db->hasTable(QStringLiteral("进出记录_最近")));
        QCOMPARE(pictures->GridLast->cellText(pictures->GridLast->rows() - 1, 3), QStringLiteral("C0"));
        QVERIFY(!pictures->ChartIO->btnChartCancel->isVisible());
    }

    void importQueryDeleteAndExport()
    {
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        RecordPage* p = w.recordPage();
        Grid* g = p->GridIO;
        const auto msg = [&](int n) { return fx.context->message(n); };

        p->BtnFind->click();
        QVERIFY(said(fx, msg(120), Icon::Warning));
        p->BtnDelD->click();
        QVERIFY(said(fx, msg(116), Icon::Warning));
        fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("missing.txt"));
        p->btnInputD->click();
        QVERIFY(said(fx, msg(112), Icon::Warning));

        // 60 lines, a bad date and a line already imported. At line 50 the run lets events
        // through: the buttons are locked, and another page uses the window's connection.
        fx.dialogs.fileAnswers << recordFile(fx, 60,
                                             "0007,X,2011-02-30,08:00:00,a\r\n0007,C0,2024-05-01,08:00:00,b\r\n");
        QList<bool> enabledDuringRun;
        QTimer::singleShot(0, &w, [&] {
            for (QPushButton* b : {p->BtnFind, p->btnInputD, p->BtnDelD, p->btnOutD})
                enabledDuringRun << b->isEnabled();
            enabledDuringRun << w.progressPanel()->isHidden();
            w.LoadCardholders();
        });
        p->btnInputD->click();
        QCOMPARE(enabledDuringRun, QList<bool>({false, false, false, false, false}));
        QVERIFY(w.progressPanel()->isHidden());
        QVERIFY(p->BtnFind->isEnabled() && p->btnInputD->isEnabled() && p->BtnDelD->isEnabled()
                && p->btnOutD->isEnabled());
        QVERIFY(said(fx, msg(113) + QStringLiteral("60") + msg(114) + QStringLiteral("2") + msg(115), Icon::None));
        QCOMPARE(g->rows(), 61);
        QCOMPARE(g->cellText(1, 8), QStringLiteral("C0"));

        // The query (Enter in a filter field searches too) lists them newest first.
        QTest::keyClick(p->T_No, Qt::Key_Return);
        QCOMPARE(g->rows(), 61);
        QCOMPARE(g->cellText(1, 1), QStringLiteral("2024-05-01 08:00:59"));
        QCOMPARE(g->cellText(1, 6), QStringLiteral("0007"));
        // A file that cannot be read changes nothing: the query's list stays.
        fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("missing.txt"));
        p->btnInputD->click();
        QCOMPARE(g->cellText(1, 1), QStringLiteral("2024-05-01 08:00:59"));

        // No current row: the header row. Then rows 3..1 dragged upwards.
        g->view()->selectionModel()->clear();
        p->BtnDelD->click();
        QVERIFY(said(fx, msg(15), Icon::Warning));
        QAbstractItemModel* model = g->view()->model();
        g->view()->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(2, 0)),
                                            QItemSelectionModel::ClearAndSelect);
        g->view()->selectionModel()->setCurrentIndex(model->index(0, 0), QItemSelectionModel::NoUpdate);
        fx.dialogs.questionAnswers << true;
        p->BtnDelD->click();
        const auto& asked = fx.dialogs.calls[fx.dialogs.calls.size() - 2];
        QCOMPARE(asked.text, deletionQuestion(fx.context->language, 61, 3));
        QVERIFY(asked.defaultNo);
        QVERIFY(said(fx, msg(117) + QStringLiteral("3") + msg(118), Icon::None));
        QCOMPARE(g->rows(), 58);
        QCOMPARE(g->cellText(1, 8), QStringLiteral("C56"));
        QCOMPARE(w.progressPanel()->LblPrg->text(), msg(127));
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), 57);

        const QString csv = fx.folder.filePath(QStringLiteral("out.csv"));
        fx.dialogs.fileAnswers << csv << fx.folder.filePath(QStringLiteral("no/such/dir/out.csv"));
        p->btnOutD->click();
        QVERIFY(said(fx, msg(121), Icon::Information));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 58);
        QVERIFY(lines[1].contains("C56"));
        p->btnOutD->click();
        QVERIFY(fx.dialogs.calls.last().text.startsWith(msg(137)));
        QCOMPARE(fx.dialogs.calls.last().icon, Icon::Error);
    }

    // A large result shows its first screen at once and reads the rest while the operator
    // looks; an export writes all of it. The page's connection follows a file put in place of
    // the database (a restore).
    void largeResultArrivesInPortionsAndFollowsARestore()
    {
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        RecordPage* p = w.recordPage();
        Grid* g = p->GridIO;
        const int total = RecordPage::FirstRows + 500;
        {
            Database db;
            QVERIFY(db.open(fx.databasePath()));
            QVERIFY(db.exec(
                QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                               " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号) SELECT 'C' || i,"
                               " strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', '+' || i || ' minutes'), 7 FROM n"),
                {total}));
        }
        p->BtnFind->click();
        // The scroll bar covers about the whole result at once; rows not counted yet are empty.
        QVERIFY2(qAbs(g->rows() - (total + 1)) <= total / 20, qPrintable(QString::number(g->rows())));
        QVERIFY(p->isLoading());
        QCOMPARE(g->cellText(1, 8), QStringLiteral("C%1").arg(total));
        QVERIFY(g->cellText(RecordPage::FirstRows + 1, 8).isEmpty());
        const QString csv = fx.folder.filePath(QStringLiteral("all.csv"));
        fx.dialogs.fileAnswers << csv;
        p->btnOutD->click();
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().trimmed().split('\n').size(), total + 1);
        QCOMPARE(g->rows(), total + 1);

        p->BtnFind->click();
        QTRY_VERIFY(!p->isLoading());
        QCOMPARE(g->rows(), total + 1);
        QCOMPARE(g->cellText(total, 8), QStringLiteral("C1"));

        // A copy with one record more takes the database's place.
        const QString copy = fx.folder.filePath(QStringLiteral("copy.kvd"));
        QVERIFY(QFile::copy(fx.databasePath(), copy));
        {
            Database db;
            QVERIFY(db.open(copy));
            QVERIFY(
                db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间) VALUES ('NEW', '2030-01-01 00:00:00')")));
        }
        QVERIFY(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(fx.databasePath()).constData())
                == 0);
        p->TxtCode->setText(QStringLiteral("NEW"));
        p->BtnFind->click();
        QCOMPARE(g->rows(), 2);

        // A restore through the settings page empties the list until the next query.
        emit w.settingsPage()->databaseRestored();
        QCOMPARE(g->rows(), 1);
        // One that comes while an export reads the list fails the export (the file would mix two
        // databases) and empties the list at the export's end.
        p->TxtCode->clear();
        p->BtnFind->click();
        QTimer::singleShot(0, &w, [&] { emit w.settingsPage()->databaseRestored(); });
        fx.dialogs.fileAnswers << csv;
        p->btnOutD->click();
        QVERIFY(fx.dialogs.calls.last().text.startsWith(fx.context->message(137)));
        QVERIFY(!QFile::exists(csv));
        QCOMPARE(g->rows(), 1);
    }

    // The key is derived once for the window's connection and once for the runs', however many
    // lookups, saves, queries, imports and deletions follow.
    void keyDerivedOncePerConnection()
    {
        MainWindowFixture fx;
        {
            Database db;
            QVERIFY(db.open(fx.databasePath()));
            for (const char* name : {"甲", "乙", "丙"})
                QVERIFY(db.exec(
                    QStringLiteral("INSERT INTO 用户信息 (姓名, 电话, 卡号, 权限终端机) VALUES (?, '1', ?, '7、')"),
                    {QString::fromUtf8(name), QString::fromUtf8(name)}));
        }
        const int before = Database::keyDerivations();
        Frmmain w(*fx.context);
        for (int row = 1; row < w.issuingPage()->GridU2->rows(); ++row)
            w.issuing()->selectTarget(row);
        w.terminalPage()->TxtNo->setText(QStringLiteral("7"));
        w.terminalPage()->cmdAdd->click();
        RecordPage* p = w.recordPage();
        fx.dialogs.fileAnswers << recordFile(fx, 20);
        p->btnInputD->click();
        p->BtnFind->click();
        p->GridIO->setCurrentCell(1, 1);
        p->GridIO->selectRow(1);
        fx.dialogs.questionAnswers << true;
        p->BtnDelD->click();
        w.LoadCardholders();
        QCOMPARE(p->GridIO->rows(), 20);
        QCOMPARE(Database::keyDerivations() - before, 2);
    }

    void deletionWithoutTheDatabaseDeletesNothing()
    {
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        RecordPage* p = w.recordPage();
        Grid* g = p->GridIO;
        fx.dialogs.fileAnswers << recordFile(fx, 3);
        p->btnInputD->click();
        QCOMPARE(g->rows(), 4);
        // A damaged file put in the database's place.
        const QString damagedPath = fx.folder.filePath(QStringLiteral("damaged.kvd"));
        {
            QFile damaged(damagedPath);
            QVERIFY(damaged.open(QIODevice::WriteOnly));
            damaged.write(QByteArray(4096, 'x'));
        }
        QVERIFY(
            std::rename(QFile::encodeName(damagedPath).constData(), QFile::encodeName(fx.databasePath()).constData())
            == 0);
        g->setCurrentCell(1, 1);
        g->selectRow(1);
        fx.dialogs.clear();
        fx.dialogs.questionAnswers << true;
        p->BtnDelD->click();
        QCOMPARE(g->rows(), 4);               // the records stay listed: none was deleted
        QCOMPARE(fx.dialogs.calls.size(), 1); // only the question, no count of deletions
        QVERIFY(p->BtnDelD->isEnabled());
    }

    void ordinaryOperatorWorksWithRecordsButNeverDeletes()
    {
        MainWindowFixture fx(0, false);
        Frmmain w(*fx.context);
        RecordPage* p = w.recordPage();
        QVERIFY(!p->BtnDelD->isEnabled());
        fx.dialogs.fileAnswers << recordFile(fx, 2) << fx.folder.filePath(QStringLiteral("out.csv"));
        p->btnInputD->click();
        p->BtnFind->click();
        QCOMPARE(p->GridIO->rows(), 3);
        p->btnOutD->click();
        QVERIFY(said(fx, fx.context->message(121), Icon::Information));
        QVERIFY(!p->BtnDelD->isEnabled() && p->btnInputD->isEnabled());
    }

    // A close request during an import or a deletion asks whether to stop the run. No: the
    // window and the run go on. Yes: the run stops at its next commit and shows its summary;
    // the window stays until then, and closes after the backup of what is stored.
    void closeDuringARunAsksToStopIt_data()
    {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<bool>("stop");
        QTest::newRow("import, No: it goes on") << false << false;
        QTest::newRow("import, Yes: it stops") << false << true;
        QTest::newRow("deletion, Yes: it stops") << true << true;
    }
    void closeDuringARunAsksToStopIt()
    {
        QFETCH(bool, deletion);
        QFETCH(bool, stop);
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        int backups = 0;
        w.setAutomaticBackup([&] { ++backups; });
        w.show();
        RecordPage* p = w.recordPage();
        const int lines = 3000;
        fx.dialogs.fileAnswers << recordFile(fx, lines);
        if (deletion) { // all imported first, then all selected
            p->btnInputD->click();
            QAbstractItemModel* model = p->GridIO->view()->model();
            p->GridIO->view()->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(lines - 1, 0)),
                                                        QItemSelectionModel::ClearAndSelect);
            fx.dialogs.questionAnswers << true; // message 61
        }
        bool visibleAfterClose = false;
        QTimer::singleShot(0, &w, [&] { // comes while the run lets window events through
            fx.dialogs.questionAnswers << stop;
            w.close();
            visibleAfterClose = w.isVisible();
        });
        fx.dialogs.clear();
        (deletion ? p->BtnDelD : p->btnInputD)->click();

        QVERIFY(fx.dialogs.messageTexts().contains(fx.context->message(203)));
        QVERIFY(visibleAfterClose);
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        const int stored = db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt();
        QCOMPARE(p->GridIO->rows() - 1, stored);
        QString summary = deletion
                              ? fx.context->message(117) + QString::number(lines - stored) + fx.context->message(118)
                              : fx.context->message(113) + QString::number(stored) + fx.context->message(114)
                                    + QStringLiteral("0") + fx.context->message(115);
        // A run the close stopped says that the rest was not done.
        if (stop)
            summary += u'\n' + fx.context->message(204);
        QCOMPARE(fx.dialogs.calls.last().text, summary);
        if (!stop) {
            QCOMPARE(stored, lines);
            QTest::qWait(20);
            QVERIFY(w.isVisible());
            QCOMPARE(backups, 0);
            return;
        }
        QVERIFY(stored > 0 && stored < lines);
        QTRY_VERIFY(!w.isVisible());
        QCOMPARE(backups, 1);
        QVERIFY(!fx.dialogs.messageTexts().contains(fx.context->message(55))); // asked once
    }

    // The import dialog offers text and CSV files in one readable filter, whatever the case
    // of their names.
    void importDialogListsRecordFilesOfAnyCase()
    {
        QCOMPARE(RecordPage::importFilter(), QStringLiteral("Data (*.txt *.csv)"));
        QTemporaryDir dir;
        for (const char* name : {"a.txt", "B.TXT", "c.Csv", "d.CSV", "e.doc", "ftxt"})
            QFile(dir.filePath(QLatin1String(name))).open(QIODevice::WriteOnly);
        QFileDialog dialog(nullptr, QString(), dir.path(), RecordPage::importFilter());
        dialog.setOptions(QtDialogs::openOptions());
        dialog.show();
        auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(list);
        QStringList shown;
        QTRY_VERIFY_WITH_TIMEOUT((shown = listed(list)).size() >= 4, 5000);
        QTest::qWait(50);
        shown = listed(list);
        shown.sort();
        QCOMPARE(shown, (QStringList{"B.TXT", "a.txt", "c.Csv", "d.CSV"}));
    }

private:
    static QStringList listed(QListView* list)
    {
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int r = 0; r < list->model()->rowCount(root); ++r)
            names << list->model()->index(r, 0, root).data().toString();
        return names;
    }
};

QTEST_MAIN(RecordPageTest)
#include "RecordPageTest.moc"
