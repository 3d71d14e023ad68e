// The log page's search narrows by each filter, and its check shows the verdict and head code.
#include "audit/AuditQuery.h"
#include "audit/AuditTrail.h"
#include "auditpage/AuditPage.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "platform/Grid.h"
#include "ScriptedDialogs.h"
#include "TestPageHost.h"
#include "startup/AppContext.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;

Q_DECLARE_METATYPE(k27::audit::LogFilter)

class TestAuditPage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<AppContext> m_context;

    Database& db() { return *m_context->databases().window(); }

private slots:
    void initTestCase()
    {
        m_context = std::make_unique<AppContext>(m_dir.path(), m_dialogs);
        // The English texts, so the page's captions are seen to come from the language table.
        QDir(m_dir.path()).mkpath(QStringLiteral("res"));
        for (const char* name : {"Smp_Chs.lag", "big_Chs.lag", "English.lag"})
            QFile::copy(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/") + QLatin1String(name),
                        m_dir.filePath(QStringLiteral("res/") + QLatin1String(name)));
        m_context->settings.language = 2;
        m_context->loadLanguage();
        QDir().mkpath(QFileInfo(m_context->databasePath()).absolutePath());
        QVERIFY(createProgramDatabase(m_context->databasePath()));
        const struct
        {
            const char* op;
            const char* action;
            const char* subject;
            const char* time;
        } rows[] = {
            {"甲", "holder.add", "张三 138", "2026-12-01T08:00:00.000Z"},
            {"乙", "holder.change", "李四 139", "2026-12-02T08:00:00.000Z"},
            {"甲", "terminal.add", "5", "2026-12-03T08:00:00.000Z"},
            {"甲", "holder.delete", "100%_off", "2026-12-04T08:00:00.000Z"},
        };
        for (const auto& r : rows)
            QVERIFY(audit::append(db(), {QString::fromUtf8(r.op), QStringLiteral("desk")},
                                  {QString::fromUtf8(r.action), QString::fromUtf8(r.subject), {}},
                                  QString::fromUtf8(r.time)));
    }

    void filtersNarrow_data()
    {
        QTest::addColumn<audit::LogFilter>("filter");
        QTest::addColumn<QList<qint64>>("sequences");
        auto f = [](QString from, QString to, QString op, QString action, QString subject) {
            return audit::LogFilter{from, to, op, action, subject};
        };
        QTest::newRow("all") << f({}, {}, {}, {}, {}) << QList<qint64>{4, 3, 2, 1};
        QTest::newRow("time span") << f("2026-12-02", "2026-12-03T23", {}, {}, {}) << QList<qint64>{3, 2};
        QTest::newRow("operator") << f({}, {}, "乙", {}, {}) << QList<qint64>{2};
        QTest::newRow("action") << f({}, {}, {}, "holder.add", {}) << QList<qint64>{1};
        QTest::newRow("subject") << f({}, {}, {}, {}, "13") << QList<qint64>{2, 1};
        QTest::newRow("wildcards are plain") << f({}, {}, {}, {}, "%_") << QList<qint64>{4};
        QTest::newRow("all narrow together") << f({}, "2026-12-03", "甲", "holder.add", "张") << QList<qint64>{1};
    }

    void filtersNarrow()
    {
        QFETCH(audit::LogFilter, filter);
        QFETCH(QList<qint64>, sequences);
        QList<qint64> found;
        for (const audit::LogRow& row : audit::findRows(db(), filter))
            found << row.sequence;
        QCOMPARE(found, sequences);
    }

    void pageListsAndVerifies()
    {
        test::TestPageHost host(*m_context);
        AuditPage page(host);
        page.TxtSubject->setText(QStringLiteral("李四"));
        page.search();
        QCOMPARE(page.GridLog->rows(), 2);
        QCOMPARE(page.GridLog->cellText(1, 5), QStringLiteral("holder.change"));
        QVERIFY(page.CmbOperator->findText(QStringLiteral("乙")) > 0);
        const audit::Verdict v = audit::verify(db());
        QVERIFY(page.LblVerdict->text().endsWith(audit::headCode(v.count, v.head))); // shown before any verify
        QCOMPARE(page.GridLog->headerText(7), QStringLiteral("Details"));
        page.verify();
        QVERIFY(page.LblVerdict->text().endsWith(audit::headCode(v.count, v.head)));
        page.preparePrint(); // the printed list carries the same code
        QVERIFY(page.GridLog->pageSetup().title.endsWith(audit::headCode(v.count, v.head)));
        QVERIFY(db().exec(QStringLiteral("UPDATE 操作日志 SET 对象 = 'x' WHERE 序号 = 2")));
        page.verify();
        QVERIFY(page.LblVerdict->text().contains(QStringLiteral("row 2")));
    }
};

QTEST_MAIN(TestAuditPage)
#include "AuditPageTest.moc"
