#include "RegisterWatch.h"

#include "db/ServerConnection.h"

#include <QSocketNotifier>
#include <QTimer>
#include <libpq-fe.h>

namespace k27 {

namespace {

// A server that has not answered a connection in this long is tried again later.
constexpr int ConnectTimeoutMs = 8000;

} // namespace

RegisterWatch::RegisterWatch(QObject* parent) : QObject(parent)
{
    m_gather = new QTimer(this);
    m_gather->setSingleShot(true);
    m_gather->setInterval(GatherMs);
    connect(m_gather, &QTimer::timeout, this, &RegisterWatch::report);
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &RegisterWatch::connectStep);
    m_giveUp = new QTimer(this);
    m_giveUp->setSingleShot(true);
    m_giveUp->setInterval(ConnectTimeoutMs);
    connect(m_giveUp, &QTimer::timeout, this, &RegisterWatch::lose);
}

RegisterWatch::~RegisterWatch()
{
    drop();
}

unsigned RegisterWatch::tableOf(const QString& name)
{
    if (name == QStringLiteral("用户信息"))
        return Cardholders;
    if (name == QStringLiteral("用户表"))
        return Operators;
    if (name == QStringLiteral("终端机"))
        return Terminals;
    if (name == QStringLiteral("进出记录"))
        return Records;
    return 0;
}

void RegisterWatch::start(const QString& url)
{
    stop();
    m_url = url;
    m_retryMs = FirstRetryMs;
    connectStep();
}

void RegisterWatch::stop()
{
    m_retry->stop();
    m_gather->stop();
    m_pending = 0;
    m_url.clear();
    m_everListened = false;
    m_lostTold = false;
    drop();
}

void RegisterWatch::drop()
{
    m_giveUp->stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_conn) {
        if (m_counted)
            ServerConnection::noteOwnBackend(PQbackendPID(m_conn), false);
        PQfinish(m_conn);
    }
    m_conn = nullptr;
    m_counted = false;
    m_listening = false;
}

void RegisterWatch::watchSocket(bool write)
{
    delete m_notifier;
    m_notifier = nullptr;
    const int socket = PQsocket(m_conn);
    if (socket < 0)
        return;
    m_notifier = new QSocketNotifier(socket, write ? QSocketNotifier::Write : QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this,
            m_listening ? &RegisterWatch::onReadable : &RegisterWatch::pollConnect);
}

void RegisterWatch::connectStep()
{
    if (m_url.isEmpty())
        return;
    drop();
    m_conn = ServerConnection::startConnect(m_url);
    if (!m_conn || PQstatus(m_conn) == CONNECTION_BAD) {
        lose();
        return;
    }
    m_giveUp->start();
    // A connection just begun waits to write first.
    watchSocket(true);
}

void RegisterWatch::pollConnect()
{
    switch (PQconnectPoll(m_conn)) {
    case PGRES_POLLING_READING: watchSocket(false); break;
    case PGRES_POLLING_WRITING: watchSocket(true); break;
    case PGRES_POLLING_OK: onConnected(); break;
    default: lose(); break;
    }
}

void RegisterWatch::onConnected()
{
    m_giveUp->stop();
    // This desk's own listener is no other desk (a restore asks who else is connected).
    ServerConnection::noteOwnBackend(PQbackendPID(m_conn), true);
    m_counted = true;
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    // The register's tables notify a channel named after their schema, so that registers in
    // several schemas of one database do not hear each other.
    PGresult* channel = PQexec(m_conn, "SELECT 'k27_' || md5(current_schema())");
    bool ok = PQresultStatus(channel) == PGRES_TUPLES_OK && PQntuples(channel) == 1;
    const QByteArray name = ok ? QByteArray(PQgetvalue(channel, 0, 0)) : QByteArray();
    PQclear(channel);
    if (ok) {
        PGresult* listen = PQexec(m_conn, QByteArray("LISTEN " + name).constData());
        ok = PQresultStatus(listen) == PGRES_COMMAND_OK;
        PQclear(listen);
    }
    if (!ok) {
        lose();
        return;
    }
    m_listening = true;
    m_retryMs = FirstRetryMs;
    watchSocket(false);
    const bool again = m_everListened;
    m_everListened = true;
    m_lostTold = false;
    if (again) {
        // What changed while the link was down was not heard: everything is shown anew.
        m_pending = AllTables;
        report();
        emit linkRestored();
    }
}

void RegisterWatch::onReadable()
{
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK) {
        lose();
        return;
    }
    const QList<int> own = m_own ? m_own() : QList<int>();
    while (PGnotify* notice = PQnotifies(m_conn)) {
        if (!own.contains(notice->be_pid))
            m_pending |= tableOf(QString::fromUtf8(notice->extra));
        PQfreemem(notice);
    }
    // The first notice of a burst starts the wait; the rest join it.
    if (m_pending && !m_gather->isActive())
        m_gather->start();
}

void RegisterWatch::report()
{
    m_gather->stop();
    const unsigned tables = m_pending;
    m_pending = 0;
    if (tables)
        emit changed(tables);
}

void RegisterWatch::lose()
{
    const bool wasListening = m_listening || (m_everListened && !m_lostTold);
    drop();
    if (m_url.isEmpty())
        return;
    if (wasListening && m_everListened && !m_lostTold) {
        m_lostTold = true;
        emit linkLost();
    }
    m_retry->start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, LastRetryMs);
}

} // namespace k27
