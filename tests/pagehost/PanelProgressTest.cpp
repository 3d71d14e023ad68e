// The one progress of the long runs: the panel over the page while the run works, gone when
// it ends or is abandoned; a close request reaches the run; which runs hold the database.

#include "pagehost/PanelProgress.h"
#include "pagehost/ProgressPanel.h"
#include "platform/RunGuard.h"

#include <QLabel>
#include <QTest>

using namespace k27;
using Run = RunGuard::Run;

class PanelProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void panelFollowsTheRun_data()
    {
        QTest::addColumn<bool>("ended");
        QTest::newRow("ended") << true;
        // A run that returns early (a refused file) leaves no panel standing.
        QTest::newRow("abandoned") << false;
    }

    void panelFollowsTheRun()
    {
        QFETCH(bool, ended);
        QWidget window;
        window.resize(600, 400);
        window.show();
        ProgressPanel panel(&window);
        {
            PanelProgress progress(&panel, &window, QStringLiteral("caption"), nullptr);
            progress.begin(4);
            QVERIFY(panel.isVisible());
            QCOMPARE(panel.LblPrg->text(), QStringLiteral("caption"));
            progress.advance(3, 4);
            QCOMPARE(panel.LblCount->text(), QStringLiteral("3/4"));
            if (ended) {
                progress.end(4, 4);
                QCOMPARE(panel.LblCount->text(), QStringLiteral("4/4"));
                QVERIFY(!panel.isVisible());
            }
        }
        QVERIFY(!panel.isVisible());
    }

    void stopRequestReachesTheRun()
    {
        RunGuard runs;
        const RunGuard::Scope scope = runs.start(Run::RecordImport);
        PanelProgress progress(nullptr, nullptr, {}, &runs);
        QVERIFY(!progress.stopRequested());
        runs.requestStop();
        QVERIFY(progress.stopRequested());
        QVERIFY(!PanelProgress(nullptr, nullptr, {}, nullptr).stopRequested());
    }

    // A device reply waits for a run that writes (it holds its transaction open between
    // commits), never for the issuing run or an export beside it.
    void writingRuns_data()
    {
        QTest::addColumn<int>("run");
        QTest::addColumn<bool>("writing");
        QTest::newRow("none") << int(Run::None) << false;
        QTest::newRow("issuing") << int(Run::Issuing) << false;
        QTest::newRow("record export") << int(Run::RecordExport) << false;
        QTest::newRow("cardholder import") << int(Run::CardholderImport) << true;
        QTest::newRow("record deletion") << int(Run::RecordDeletion) << true;
        QTest::newRow("restore") << int(Run::Restore) << true;
    }

    void writingRuns()
    {
        QFETCH(int, run);
        QFETCH(bool, writing);
        RunGuard runs;
        const RunGuard::Scope scope = runs.start(Run(run));
        QCOMPARE(runs.writing(), writing);
    }
};

QTEST_MAIN(PanelProgressTest)
#include "PanelProgressTest.moc"
