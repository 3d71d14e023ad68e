#include "db/ServerDialect.h"

#include <QtTest>

using namespace k27;

// The statements of the stores, as the server receives them.
class ServerDialectTest : public QObject
{
    Q_OBJECT

private slots:
    void rewrites_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("parameters");
        const auto row = [](const char* name, const char* sql, const char* server, int parameters) {
            QTest::newRow(name) << QString::fromUtf8(sql) << QString::fromUtf8(server) << parameters;
        };
        row("placeholders in order", "SELECT 1 FROM 终端机 WHERE 终端机号 = ? AND 地址 = ?",
            "SELECT 1 FROM \"终端机\" WHERE \"终端机号\" = $1 AND \"地址\" = $2", 2);
        row("numbered placeholders, reused", "SELECT ?1, ?2 WHERE NOT EXISTS (SELECT 1 FROM t WHERE a = ?1)",
            "SELECT $1, $2 WHERE NOT EXISTS (SELECT 1 FROM t WHERE a = $1)", 2);
        row("literals and quoted names untouched", "SELECT '用户?', \"ID\" FROM x WHERE y = 'it''s ?'",
            "SELECT '用户?', \"ID\" FROM x WHERE y = 'it''s ?'", 0);
        row("capitals kept, lower-case names folded", "SELECT ID, Password, name FROM 用户表 ORDER BY rowid",
            "SELECT \"ID\", \"Password\", name FROM \"用户表\" ORDER BY rowid", 0);
        row("insert or ignore", "INSERT OR IGNORE INTO 卡 VALUES (?);",
            "INSERT INTO \"卡\" VALUES ($1) ON CONFLICT DO NOTHING", 1);
        row("like ignores ASCII case", "SELECT 1 WHERE a LIKE '%' || ? || '%' ESCAPE '\\'",
            "SELECT 1 WHERE a ILIKE '%' || $1 || '%' ESCAPE '\\'", 1);
        row("nulls sort low, never-null keys left alone",
            "SELECT 1 FROM r ORDER BY r.进出时间 DESC, r.ID DESC, coalesce(a, b) LIMIT ?",
            "SELECT 1 FROM r ORDER BY r.\"进出时间\" DESC NULLS LAST, r.\"ID\" DESC, coalesce(a, b) NULLS FIRST LIMIT $1",
            1);
        row("order by in a subquery", "SELECT (SELECT a FROM t ORDER BY a LIMIT 1), b FROM u",
            "SELECT (SELECT a FROM t ORDER BY a NULLS FIRST LIMIT 1), b FROM u", 0);
        row("numbers as truth values", "SELECT count(*) FROM t WHERE 1 AND x = 10 AND 0",
            "SELECT count(*) FROM t WHERE TRUE AND x = 10 AND FALSE", 0);
        row("index hint and join order", "SELECT 1 FROM c CROSS JOIN r ON r.k = c.k WHERE +r.k = ? AND a + 1 = 2",
            "SELECT 1 FROM c INNER JOIN r ON r.k = c.k WHERE r.k = $1 AND a + 1 = 2", 1);
    }

    void rewrites()
    {
        QFETCH(QString, sql);
        QFETCH(QString, server);
        QFETCH(int, parameters);
        int used = -1;
        QCOMPARE(serverStatement(sql, &used), server);
        QCOMPARE(used, parameters);
    }
};

QTEST_GUILESS_MAIN(ServerDialectTest)
#include "ServerDialectTest.moc"
