#pragma once

#include "ArrivalBatch.h"
#include "ClassCatalogue.h"
#include "PeerDeadlines.h"
#include "SharedServices.h"
#include "TelemetryReplyCache.h"
#include "XecuteInterpreter.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class AddressPlaces;
class ClientSession;
class PeerStream;
class QSslSocket;
class Store;

// The sessions served on one thread and what they use there: that thread's connection to the
// database, the telemetry replies kept for it and the batch of requests it serves together.
// What every session of the server shares (sign-ins, budgets, log) comes in SharedServices; a
// session's place is given back, and a failed sign-in penalized, in the server's places here.
class SessionHost : public QObject {
    Q_OBJECT
public:
    SessionHost(Store& store, const SharedServices& services, AddressPlaces& places,
                QObject* parent = nullptr);
    ~SessionHost() override;

    // Any thread may ask.
    int sessionCount() const { return m_sessionCount.load(std::memory_order_relaxed); }

    // The rest on the host's thread. Whether replies are kept between calls (on by default).
    void setKeepReplies(bool keep) { m_keptReplies.setEnabled(keep); }
    // A session on an accepted plain connection whose place is taken; client, when not null,
    // is the one a balancer named.
    void startPlain(qintptr descriptor, const QHostAddress& client, quint16 clientPort,
                    const QString& addressKey, int number, const PeerDeadlines& timeouts);
    // A session on a TLS connection whose handshake is done and whose place is taken; the socket
    // belongs to this host's thread and to nobody.
    void startTls(QSslSocket* socket, const QHostAddress& client, quint16 clientPort,
                  const QString& addressKey, int number, const PeerDeadlines& timeouts);

private:
    void start(PeerStream* link, const QString& addressKey, int number,
               const PeerDeadlines& timeouts);

    Store& m_store;
    SharedServices m_services;
    AddressPlaces& m_places;
    TelemetryReplyCache m_keptReplies;
    ClassCatalogue m_catalogue;
    XecuteInterpreter m_interpreter;
    ArrivalBatch m_arrivals;
    QList<ClientSession*> m_sessions;
    std::atomic<int> m_sessionCount{0};
};
