#pragma once

// The register a test runs on. A test registered a second time for the server (ctest name
// ending in _server, K27_TEST_ON_SERVER=1) gets a fresh schema of the server named by
// K27_TEST_REGISTER for each program folder, in place of the embedded file; without that
// variable such a test is skipped (exit status 77).
#include "db/Database.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace k27::test {

inline bool onServer()
{
    return qEnvironmentVariableIntValue("K27_TEST_ON_SERVER") == 1;
}

inline const bool serverChecked = [] {
    if (onServer() && qEnvironmentVariable("K27_TEST_REGISTER").isEmpty()) {
        std::fputs("skipped: no K27_TEST_REGISTER server for this run\n", stderr);
        std::exit(77);
    }
    return true;
}();

// A schema of its own on the test server, dropped with the object.
class ServerSchema
{
public:
    ServerSchema()
    {
        static QAtomicInt counter;
        m_name =
            QStringLiteral("k27_t%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddRelaxed(1));
        const QString base = qEnvironmentVariable("K27_TEST_REGISTER");
        Database db;
        if (!db.open(base) || !db.exec(QStringLiteral("CREATE SCHEMA %1").arg(m_name)))
            std::fprintf(stderr, "test server: %s\n", qPrintable(db.lastError()));
        m_url = base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("options=-csearch_path%3D") + m_name;
    }
    ~ServerSchema()
    {
        Database db;
        if (db.open(qEnvironmentVariable("K27_TEST_REGISTER")))
            db.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_name));
    }
    ServerSchema(const ServerSchema&) = delete;
    ServerSchema& operator=(const ServerSchema&) = delete;

    const QString& url() const { return m_url; }

private:
    QString m_name;
    QString m_url;
};

} // namespace k27::test
