#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;
class QTimer;
struct pg_conn;

namespace k27 {

// Hears of the changes other desks make to a register on a server: a connection of its own
// listens for the notices the register's tables send (one per changed table and statement)
// and reports, a moment after a burst of them, which tables changed. It also tells when the
// link to the server is lost and when it is back: it connects again by itself, waiting longer
// after each failed try. Runs on the thread that made it and never blocks it for long: the
// connection is made in steps as the server answers.
class RegisterWatch : public QObject
{
    Q_OBJECT
public:
    enum Table : unsigned { Cardholders = 1, Operators = 2, Terminals = 4, Records = 8, AllTables = 15 };
    // How long the notices of one burst are gathered before they are reported together.
    static constexpr int GatherMs = 120;
    // The waits between tries to connect again, doubling from the first to the last.
    static constexpr int FirstRetryMs = 250;
    static constexpr int LastRetryMs = 8000;

    explicit RegisterWatch(QObject* parent = nullptr);
    ~RegisterWatch() override;

    // Starts watching the register at `url` (a server URL); it connects in the background.
    void start(const QString& url);
    void stop();
    bool isListening() const { return m_listening; }
    // The server processes of this desk's own connections: their changes are not reported
    // (the page that made one has shown it already).
    void setOwnProcesses(std::function<QList<int>()> own) { m_own = std::move(own); }

    // The table a notice names, 0 for none this program shows.
    static unsigned tableOf(const QString& name);

signals:
    // A bit set of Table. After the link came back every table counts as changed.
    void changed(unsigned tables);
    void linkLost();
    void linkRestored();

private:
    void connectStep();
    void pollConnect();
    void onConnected();
    void onReadable();
    void lose();
    void drop();
    void watchSocket(bool write);
    void report();

    QString m_url;
    pg_conn* m_conn = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_gather = nullptr;
    QTimer* m_retry = nullptr;
    QTimer* m_giveUp = nullptr;
    std::function<QList<int>()> m_own;
    unsigned m_pending = 0;
    int m_retryMs = FirstRetryMs;
    bool m_listening = false;
    bool m_counted = false; // m_conn is among ServerConnection::ownBackends()
    bool m_everListened = false;
    bool m_lostTold = false;
};

} // namespace k27
