#include "TlsHandshakes.h"

#include "AddressKey.h"
#include "AddressPlaces.h"
#include "ServerLog.h"

#include <QSslSocket>
#include <QTimer>

#include <unistd.h>

TlsHandshakes::TlsHandshakes(const QSslConfiguration& configuration, AddressPlaces& places,
                             const ServerLog& log, int timeoutMs, int ipv6PrefixBits,
                             QObject* parent)
    : QObject(parent)
    , m_configuration(configuration)
    , m_places(places)
    , m_log(log)
    , m_timeoutMs(timeoutMs)
    , m_ipv6PrefixBits(ipv6PrefixBits) {
}

TlsHandshakes::~TlsHandshakes() {
    // The sockets are children; their places go with the listener that owns both.
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        it.key()->disconnect(this);
    }
}

void TlsHandshakes::start(qintptr descriptor, const QHostAddress& client, quint16 clientPort) {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete socket;
        return;
    }
    const Pending pending =
        client.isNull() ? Pending{AddressKey::of(socket->peerAddress(), m_ipv6PrefixBits),
                                  socket->peerAddress(), socket->peerPort()}
                        : Pending{AddressKey::of(client, m_ipv6PrefixBits), client, clientPort};
    const QString& key = pending.addressKey;
    QString refusal;
    if (!m_places.take(key, &refusal)) {
        // Nothing can be said before the handshake: the connection is closed at once.
        m_log.writeFor(key, QStringLiteral("connection from %1 refused: %2").arg(key, refusal));
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_pending.insert(socket, pending);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, socket] {
        fail(socket, QStringLiteral("not complete after %1 ms").arg(m_timeoutMs));
    });
    timer->start(m_timeoutMs);
    connect(socket, &QSslSocket::encrypted, this, [this, socket, timer] {
        const Pending done = m_pending.value(socket);
        if (!m_pending.remove(socket)) {
            return;
        }
        delete timer;
        socket->disconnect(this);
        socket->setParent(nullptr);
        emit encrypted(socket, done.addressKey, done.client, done.clientPort);
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket] { fail(socket, socket->errorString()); });
    connect(socket, &QAbstractSocket::disconnected, this,
            [this, socket] { fail(socket, QStringLiteral("closed by the peer")); });
    socket->setSslConfiguration(m_configuration);
    socket->startServerEncryption();
}

bool TlsHandshakes::finish(QSslSocket* socket) {
    const auto it = m_pending.find(socket);
    if (it == m_pending.end()) {
        return false;
    }
    m_places.release(it->addressKey);
    m_pending.erase(it);
    return true;
}

void TlsHandshakes::fail(QSslSocket* socket, const QString& reason) {
    const Pending pending = m_pending.value(socket);
    if (!finish(socket)) {
        return;
    }
    m_log.writeFor(
        pending.addressKey,
        QStringLiteral("TLS handshake with %1 failed: %2").arg(pending.client.toString(), reason));
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
