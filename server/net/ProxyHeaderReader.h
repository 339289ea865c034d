#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>

class ServerLog;

// Reads the PROXY header (ProxyHeader) of each connection from a balancer the operator listed,
// before anything else reads from it: exactly the header's bytes, so that what follows (the
// first request, or a TLS handshake) stays for the session. A connection whose header is wrong
// or not complete within timeoutMs is closed, and at most maxWaiting wait at once: a balancer
// is trusted with its clients' addresses, not with the server's descriptors.
class ProxyHeaderReader : public QObject {
    Q_OBJECT
public:
    ProxyHeaderReader(const ServerLog& log, int timeoutMs, int maxWaiting,
                      QObject* parent = nullptr);
    ~ProxyHeaderReader() override;

    // Takes over an accepted descriptor from the balancer at balancer.
    void start(qintptr descriptor, const QHostAddress& balancer);
    int waiting() const { return static_cast<int>(m_waiting.size()); }

signals:
    // The header is read; the receiver owns the descriptor. client is where the connection
    // comes from: the client the balancer names, or the balancer itself for its own checks.
    void ready(qintptr descriptor, const QHostAddress& client, quint16 clientPort);

private:
    class Waiting;
    void readFrom(qintptr descriptor);
    void drop(qintptr descriptor, const QString& reason);

    const ServerLog& m_log;
    int m_timeoutMs;
    int m_maxWaiting;
    QHash<qintptr, Waiting*> m_waiting;
};
