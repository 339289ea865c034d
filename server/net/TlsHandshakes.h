#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

class AddressPlaces;
class QSslSocket;
class ServerLog;

// The TLS handshakes of accepted connections, on the server's own terms: each takes one of the
// places (AddressPlaces: in all and of its address) from the moment it is accepted, and gives it
// back at once when the peer closes or fails, or after the timeout. A connection that finds no
// place is closed at once. Whatever peers do, the listener keeps accepting.
class TlsHandshakes : public QObject {
    Q_OBJECT
public:
    TlsHandshakes(const QSslConfiguration& configuration, AddressPlaces& places,
                  const ServerLog& log, int timeoutMs, int ipv6PrefixBits,
                  QObject* parent = nullptr);
    ~TlsHandshakes() override;

    // Takes over an accepted descriptor and starts its handshake. client: the client a balancer
    // named for the connection, counted instead of the connection's peer when not null.
    void start(qintptr descriptor, const QHostAddress& client = {}, quint16 clientPort = 0);
    int pending() const { return static_cast<int>(m_pending.size()); }

signals:
    // The handshake is complete: the receiver owns the socket, and its place, keyed by
    // addressKey, from now on.
    // client is the connection's peer, or the client a balancer named.
    void encrypted(QSslSocket* socket, const QString& addressKey, const QHostAddress& client,
                   quint16 clientPort);

private:
    void fail(QSslSocket* socket, const QString& reason);
    // Gives the place back and forgets the socket; false when it was not pending.
    bool finish(QSslSocket* socket);

    QSslConfiguration m_configuration;
    AddressPlaces& m_places;
    const ServerLog& m_log;
    int m_timeoutMs;
    int m_ipv6PrefixBits;
    struct Pending {
        QString addressKey;
        QHostAddress client;
        quint16 clientPort = 0;
    };
    QHash<QSslSocket*, Pending> m_pending;
};
