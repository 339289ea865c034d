#include "ArrivalBatch.h"

#include "PeerStream.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kServeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

void ArrivalBatch::add(PeerStream* link) {
    noteArrival();
    m_waiting.append(link);
    if (!m_posted) {
        // Posted events come before the next wait for sockets: after every read of this pass.
        m_posted = true;
        QCoreApplication::postEvent(this, new QEvent(kServeEvent));
    }
}

void ArrivalBatch::customEvent(QEvent* event) {
    if (event->type() != kServeEvent) {
        return;
    }
    m_posted = false;
    const QList<QPointer<PeerStream>> ready = std::exchange(m_waiting, {});
    for (const QPointer<PeerStream>& link : ready) {
        if (link && link->isOpen()) {
            emit link->readyRead();
        }
    }
}
