#pragma once

#include "RequestArrivals.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class PeerStream;

// Requests that come in during one pass of the event loop are all read first and served
// together after the pass, so that they can share one check of whether other connections
// changed the database (see RequestArrivals): a check made after a request arrived
// is valid for it, and with many monitors most requests arrive together.
class ArrivalBatch : public QObject, public RequestArrivals {
    Q_OBJECT
public:
    explicit ArrivalBatch(QObject* parent = nullptr);

    // Reads that brought bytes, so far.
    quint64 arrivalsSoFar() const override { return m_arrivals; }
    void noteArrival() { ++m_arrivals; }
    // Bytes came in on the link: its readyRead() follows once this pass's reads are done.
    void add(PeerStream* link);

private:
    void serve();

    QList<QPointer<PeerStream>> m_waiting;
    QList<QPointer<PeerStream>> m_serving; // the pass being served
    QTimer m_serve;
    quint64 m_arrivals = 0;
};
