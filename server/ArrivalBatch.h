#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class SessionLink;

// Requests that come in during one pass of the event loop are all read first and served
// together after the pass, so that they can share one check of whether other connections
// changed the database (see Store::setRequestArrivals): a check made after a request arrived
// is valid for it, and with many monitors most requests arrive together.
class ArrivalBatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Reads that brought bytes, so far.
    const quint64* arrivals() const { return &m_arrivals; }
    void noteArrival() { ++m_arrivals; }
    // Bytes came in on the link: its readyRead() follows once this pass's reads are done.
    void add(SessionLink* link);

protected:
    void customEvent(QEvent* event) override;

private:
    QList<QPointer<SessionLink>> m_waiting;
    bool m_posted = false;
    quint64 m_arrivals = 0;
};
