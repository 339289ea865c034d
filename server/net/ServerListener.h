#pragma once

#include "AddressPlaces.h"
#include "ArrivalBatch.h"
#include "ClassCatalogue.h"
#include "KeyedBudget.h"
#include "ListenAddress.h"
#include "MemoryBudget.h"
#include "ServerLimits.h"
#include "ServerLog.h"
#include "SignInService.h"
#include "TelemetryReplyCache.h"
#include "XecuteInterpreter.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

class ClientSession;
class QTcpServer;
class PeerStream;
class ProxyHeaderReader;
class Store;
class TlsHandshakes;

// Accepts connections on one or more addresses and runs one session per connection, all on the
// thread of the event loop. The sessions share the store, each has its own variables.
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
    int sessionCount() const { return static_cast<int>(m_sessions.size()); }
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
    // Whether the telemetry replies are kept between calls (on by default).
    void setKeepReplies(bool keep) { m_keptReplies.setEnabled(keep); }

private:
    // A new connection: from a listed balancer its PROXY header is read first.
    void accept(qintptr descriptor);
    // The connection's client is known (null: its own peer); TLS or a session comes next.
    void deliver(qintptr descriptor, const QHostAddress& client, quint16 clientPort);
    // Starts a session on a new plain connection, or refuses it when there is no place for it.
    void admit(PeerStream* link);
    // Starts a session on a connection whose place is taken already.
    void startSession(PeerStream* link, const QString& addressKey);
    // Tells the peer that there is no place for it (error 1012), then closes.
    void refuse(PeerStream* link, const QString& addressKey, const QString& reason);

    Store& m_store;
    const ServerLog& m_log;
    TelemetryReplyCache m_keptReplies;
    ClassCatalogue m_catalogue;
    XecuteInterpreter m_interpreter;
    SignInService m_signIn;
    ServerLimits m_limits;
    MemoryBudget m_frameBudget;
    MemoryBudget m_replyBudget;
    KeyedBudget m_frameShares;
    AddressPlaces m_places;
    ArrivalBatch m_arrivals;
    QList<QTcpServer*> m_servers;
    QList<ClientSession*> m_sessions;
    std::optional<QSslConfiguration> m_tls;
    TlsHandshakes* m_handshakes = nullptr;
    ProxyHeaderReader* m_proxyHeaders = nullptr;
    QTimer m_housekeeping;
    int m_sessionsStarted = 0;
    QString m_errorText;
};
