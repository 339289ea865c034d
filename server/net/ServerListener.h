#pragma once

#include "AddressPlaces.h"
#include "KeyedBudget.h"
#include "ListenAddress.h"
#include "MemoryBudget.h"
#include "ServerLimits.h"
#include "ServerLog.h"
#include "SignInService.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

class QSslSocket;
class PlainTcpServer;
class PeerStream;
class ProxyHeaderReader;
class SessionHost;
class ServingThread;
class Store;
class TlsHandshakes;

// Accepts connections on one or more addresses and runs one session per connection. Sessions are
// served on this thread and, with limits.servingThreads above one, on further threads, each with
// its own connection to the database; a session stays on the thread it was given (the one with
// the fewest sessions). Accepting, the places, TLS handshakes and the sign-in service stay on
// this thread, so that the places and the throttle count every connection of the server in one
// place; the budgets and the log are shared by all threads. Each session has its own variables.
class ServerListener : public QObject {
    Q_OBJECT
public:
    // Log summaries and expired penalties are looked at this often.
    static constexpr int kHousekeepingMs = 1000;

    ServerListener(Store& store, const ServerLog& log, const ServerLimits& limits = {},
                   const SignInThrottle::Settings& throttle = {}, QObject* parent = nullptr);
    ~ServerListener() override;

    // Starts listening and logs "listening on HOST:PORT" with the real port. On failure returns
    // false with a message in errorText(); addresses already open stay open.
    bool listen(const ListenAddress& address);
    QString errorText() const { return m_errorText; }
    // The real ports, in the order of listen().
    QList<quint16> ports() const;
    int sessionCount() const;
    // Threads serving sessions: this one and those that could be started.
    int servingThreads() const { return static_cast<int>(m_hosts.size()); }
    // From now on every address listens with TLS only, with this configuration (certificate,
    // key); a peer that does not complete the handshake never gets a session. Call before
    // listen().
    void setTls(const QSslConfiguration& configuration) { m_tls = configuration; }
    // Applies to sessions started from now on.
    void setPeerDeadlines(const PeerDeadlines& timeouts) { m_limits.timeouts = timeouts; }
    const MemoryBudget& frameBudget() const { return m_frameBudget; }
    const MemoryBudget& replyBudget() const { return m_replyBudget; }
    const KeyedBudget& frameShares() const { return m_frameShares; }
    // Places taken by sessions and TLS handshakes under way.
    int placesUsed() const { return m_places.used(); }
    // Whether the telemetry replies are kept between calls (on by default). Call before listen().
    void setKeepReplies(bool keep);

private:
    // A new connection: from a listed balancer its PROXY header is read first.
    void accept(qintptr descriptor);
    // The connection's client is known (null: its own peer); TLS or a session comes next.
    void deliver(qintptr descriptor, const QHostAddress& client, quint16 clientPort);
    // Opens the further serving threads the limits ask for.
    void startServingThreads();
    // The host of the next session: the one with the fewest.
    SessionHost* nextHost() const;
    // Starts a session on a TLS connection whose handshake is done and place taken.
    void startTlsSession(QSslSocket* socket, const QString& addressKey, const QHostAddress& client,
                         quint16 clientPort);
    // Tells the peer that there is no place for it (error 1012), then closes.
    void refuse(PeerStream* link, const QString& addressKey, const QString& reason);
    static QByteArray refusalFrame(const QString& reason);
    void holdListeners(bool held);

    Store& m_store;
    const ServerLog& m_log;
    SignInService m_signIn;
    ServerLimits m_limits;
    MemoryBudget m_frameBudget;
    MemoryBudget m_replyBudget;
    KeyedBudget m_frameShares;
    AddressPlaces m_places;
    std::unique_ptr<SessionHost> m_ownHost;
    std::vector<std::unique_ptr<ServingThread>> m_threads;
    QList<SessionHost*> m_hosts; // this thread's first
    QList<PlainTcpServer*> m_servers;
    // Plain connections handed to a host whose session has not started yet. They hold places,
    // so the listeners are held while there are kMaxStarting of them: a flood of connections
    // that hang up at once would otherwise fill every place faster than the hosts can find
    // them gone, and the kernel's queue keeps the rest meanwhile.
    static constexpr int kMaxStarting = 64;
    std::atomic<int> m_starting{0};
    std::optional<QSslConfiguration> m_tls;
    TlsHandshakes* m_handshakes = nullptr;
    ProxyHeaderReader* m_proxyHeaders = nullptr;
    QTimer m_housekeeping;
    int m_sessionsStarted = 0;
    QString m_errorText;
};
