// A click's read that the server answers slowly: shown after a moment, cancelled on request,
// and a statement the window's events send meanwhile gets its own answer.
#include "TestRegister.h"
#include "db/Database.h"
#include "db/ServerWait.h"

#include <QElapsedTimer>
#include <QtTest>
#include <functional>

using namespace k27;

namespace {

struct RecordingWait final : ServerWait
{
    int begun = 0;
    int looks = 0;
    int ended = 0;
    std::function<bool(int look)> onLook = [](int) { return false; };

    void begin() override { ++begun; }
    bool cancelRequested() override { return onLook(++looks); }
    void end() override { ++ended; }
};

} // namespace

class ServerWaitTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!test::onServer())
            QSKIP("a server's wait only");
        m_schema = std::make_unique<test::ServerSchema>();
        QVERIFY2(m_db.open(m_schema->url()), qPrintable(m_db.lastError()));
        ServerWait::install(&m_wait);
    }
    void cleanup()
    {
        ServerWait::install(nullptr);
        m_db.close();
        m_schema.reset();
        m_wait = {};
    }

    void onlyALongReadOutsideATransactionIsShown_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("inTransaction");
        QTest::addColumn<bool>("shown");
        QTest::newRow("short read") << 0.0 << false << false;
        QTest::newRow("long read") << 0.4 << false << true;
        QTest::newRow("long statement of a run") << 0.4 << true << false;
    }
    void onlyALongReadOutsideATransactionIsShown()
    {
        QFETCH(double, seconds);
        QFETCH(bool, inTransaction);
        QFETCH(bool, shown);
        QVERIFY(!inTransaction || m_db.beginTransaction());
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT 7 FROM (SELECT pg_sleep(?)) s"), {seconds}).toInt(), 7);
        QCOMPARE(m_wait.begun, shown ? 1 : 0);
        QCOMPARE(m_wait.ended, m_wait.begun);
        QVERIFY(shown ? m_wait.looks > 0 : m_wait.looks == 0);
    }

    void cancelStopsTheStatementAndTheLinkStays()
    {
        m_wait.onLook = [](int look) { return look >= 3; };
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!m_db.scalar(QStringLiteral("SELECT 7 FROM (SELECT pg_sleep(30)) s")).isValid());
        QVERIFY2(clock.elapsed() < 5000, "the cancel did not reach the server");
        QVERIFY2(m_db.lastError().contains(QStringLiteral("cancel")), qPrintable(m_db.lastError()));
        QCOMPARE(m_wait.ended, 1);
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT 8")).toInt(), 8);
    }

    void aStatementSentDuringTheWaitGetsItsOwnAnswer()
    {
        QVariant inner;
        m_wait.onLook = [&](int look) {
            if (look == 1)
                inner = m_db.scalar(QStringLiteral("SELECT 2"));
            return false;
        };
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT 1 FROM (SELECT pg_sleep(0.4)) s")).toInt(), 1);
        QCOMPARE(inner.toInt(), 2);
        QCOMPARE(m_wait.ended, 1);
        QCOMPARE(m_db.scalar(QStringLiteral("SELECT 3")).toInt(), 3);
    }

private:
    std::unique_ptr<test::ServerSchema> m_schema;
    Database m_db;
    RecordingWait m_wait;
};

QTEST_GUILESS_MAIN(ServerWaitTest)
#include "ServerWaitTest.moc"
