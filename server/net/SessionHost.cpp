#include "SessionHost.h"

#include "AddressPlaces.h"
#include "ClientSession.h"
#include "PlainSocketStream.h"
#include "QtSocketStream.h"
#include "Store.h"

#include <QSslSocket>

SessionHost::SessionHost(Store& store, const SharedServices& services, AddressPlaces& places,
                         QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_services(services)
    , m_places(places)
    , m_keptReplies(store)
    , m_catalogue(&m_keptReplies) {
    m_store.setRequestArrivals(&m_arrivals);
}

SessionHost::~SessionHost() {
    m_store.setRequestArrivals(nullptr);
    // Sessions go first: they refer to the catalogue and the interpreter.
    for (ClientSession* session : std::as_const(m_sessions)) {
        session->disconnect(this);
        delete session;
    }
}

void SessionHost::startPlain(qintptr descriptor, const QHostAddress& client, quint16 clientPort,
                             const QString& addressKey, int number, const PeerDeadlines& timeouts) {
    auto* link = new PlainSocketStream(descriptor, &m_arrivals);
    if (!client.isNull()) {
        link->setForwardedPeer(client, clientPort);
    }
    start(link, addressKey, number, timeouts);
}

void SessionHost::startTls(QSslSocket* socket, const QHostAddress& client, quint16 clientPort,
                           const QString& addressKey, int number, const PeerDeadlines& timeouts) {
    auto* link = new QtSocketStream(socket, &m_arrivals);
    link->setForwardedPeer(client, clientPort);
    start(link, addressKey, number, timeouts);
}

void SessionHost::start(PeerStream* link, const QString& addressKey, int number,
                        const PeerDeadlines& timeouts) {
    auto* session = new ClientSession(link, number, addressKey,
                                      RequestHandler(m_store, m_catalogue, m_interpreter),
                                      m_services, timeouts, this);
    m_sessions.append(session);
    m_sessionCount.fetch_add(1, std::memory_order_relaxed);
    connect(session, &ClientSession::signInFailed, this,
            [this](ClientSession* failed) { m_places.penalize(failed->peerAddress()); });
    connect(session, &ClientSession::finished, this, [this](ClientSession* finished) {
        m_sessions.removeOne(finished);
        m_sessionCount.fetch_sub(1, std::memory_order_relaxed);
        m_places.release(finished->peerAddress());
        finished->deleteLater();
    });
    session->start();
}
