#pragma once

#include "EpollEventDispatcher.h"
#include "RequestArrivals.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class PeerStream;
class PlainSocketStream;

// Requests that come in during one pass of the event loop are all read first and served
// together after the pass, so that they can share one check of whether other connections
// changed the database (see RequestArrivals): a check made after a request arrived
// is valid for it, and with many monitors most requests arrive together.
class ArrivalBatch : public QObject,
                     public RequestArrivals,
                     private EpollEventDispatcher::AfterSockets {
    Q_OBJECT
public:
    explicit ArrivalBatch(QObject* parent = nullptr);
    ~ArrivalBatch() override;

    // Reads that brought bytes, so far.
    quint64 arrivalsSoFar() const override { return m_arrivals; }
    void noteArrival() { ++m_arrivals; }
    // Bytes came in on the link: its readyRead() follows once this pass's reads are done.
    void add(PeerStream* link);
    // While the requests of a pass are served: the link's replies are sent once all are served
    // (true); otherwise false, and the caller sends them.
    bool flushAfterPass(PlainSocketStream* link);

private:
    static constexpr qsizetype kRepliesHeldFrom = 16; // requests in a pass

    void serve();
    void afterSockets() override { serve(); }

    QList<QPointer<PeerStream>> m_waiting;
    QList<QPointer<PeerStream>> m_serving; // the pass being served
    QList<QPointer<PlainSocketStream>> m_flushes;
    bool m_holdingReplies = false;
    bool m_serveAsked = false;
    // The thread's loop when it is ours (it serves the batch after its sockets), else a timer.
    QPointer<EpollEventDispatcher> m_loop;
    bool m_loopKnown = false;
    QTimer m_serve;
    quint64 m_arrivals = 0;
};
