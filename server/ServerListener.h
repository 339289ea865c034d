#pragma once

#include "ClassCatalogue.h"
#include "ListenAddress.h"
#include "ServerLog.h"
#include "SessionTimeouts.h"
#include "TelemetryReplyCache.h"
#include "XecuteInterpreter.h"

#include <QList>
#include <QObject>

class ClientSession;
class QTcpServer;
class Store;

// Accepts connections on one or more addresses and runs one session per connection, all on the
// thread of the event loop. The sessions share the store, each has its own variables.
class ServerListener : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSessions = 256;

    ServerListener(Store& store, const ServerLog& log, QObject* parent = nullptr);
    ~ServerListener() override;

    // Starts listening and logs "listening on HOST:PORT" with the real port. On failure returns
    // false with a message in errorText(); addresses already open stay open.
    bool listen(const ListenAddress& address);
    QString errorText() const { return m_errorText; }
    // The real ports, in the order of listen().
    QList<quint16> ports() const;
    int sessionCount() const { return static_cast<int>(m_sessions.size()); }
    // Applies to sessions started from now on.
    void setSessionTimeouts(const SessionTimeouts& timeouts) { m_timeouts = timeouts; }
    // Whether the telemetry replies are kept between calls (on by default).
    void setKeepReplies(bool keep) { m_keptReplies.setEnabled(keep); }

private:
    void accept(QTcpServer* server);

    Store& m_store;
    const ServerLog& m_log;
    TelemetryReplyCache m_keptReplies;
    ClassCatalogue m_catalogue;
    XecuteInterpreter m_interpreter;
    QList<QTcpServer*> m_servers;
    QList<ClientSession*> m_sessions;
    SessionTimeouts m_timeouts;
    int m_sessionsStarted = 0;
    QString m_errorText;
};
