#include "ArrivalBatch.h"

#include "PeerStream.h"
#include "PlainSocketStream.h"

ArrivalBatch::ArrivalBatch(QObject* parent)
    : QObject(parent) {
    // Under another loop (tests): a timer of no delay comes due in this pass of the event loop,
    // after every socket of the pass was read, or at the latest in the next one, which then does
    // not wait. A posted event would do the same, but wakes the loop through its pipe: two system
    // calls per pass, and with few connections a pass is a request.
    m_serve.setSingleShot(true);
    m_serve.setInterval(0);
    connect(&m_serve, &QTimer::timeout, this, &ArrivalBatch::serve);
}

ArrivalBatch::~ArrivalBatch() {
    if (m_loop) {
        m_loop->forget(this);
    }
}

void ArrivalBatch::add(PeerStream* link) {
    noteArrival();
    m_waiting.append(link);
    if (m_serveAsked) {
        return;
    }
    m_serveAsked = true;
    if (!m_loopKnown) {
        m_loop = qobject_cast<EpollEventDispatcher*>(QAbstractEventDispatcher::instance());
        m_loopKnown = true;
    }
    if (m_loop) {
        m_loop->callAfterSockets(this);
    } else {
        m_serve.start();
    }
}

void ArrivalBatch::serve() {
    m_serveAsked = false;
    // Swapped, not moved out: both lists keep their room for the next pass.
    m_serving.swap(m_waiting);
    // With many requests in a pass, their replies go out together at its end, back to back:
    // sent between requests, each would find a peer that had gone back to sleep after the one
    // before, and waking it costs more than the reply. With few, each goes at once: holding it
    // would cost more than the waking saves.
    m_holdingReplies = m_serving.size() >= kRepliesHeldFrom;
    for (const QPointer<PeerStream>& link : std::as_const(m_serving)) {
        if (link && link->isOpen()) {
            emit link->readyRead();
        }
    }
    m_serving.clear();
    m_holdingReplies = false;
    // A session told of its sent replies (bytesWritten()) sends anything further at once.
    for (const QPointer<PlainSocketStream>& link : std::as_const(m_flushes)) {
        if (link) {
            link->flushNow();
        }
    }
    m_flushes.clear();
}

bool ArrivalBatch::flushAfterPass(PlainSocketStream* link) {
    if (!m_holdingReplies) {
        return false;
    }
    m_flushes.append(link);
    return true;
}
