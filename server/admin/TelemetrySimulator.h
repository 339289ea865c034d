#pragma once

#include <QRandomGenerator>
#include <QString>

class Store;

// Moves the telemetry of every branch on, one step per call, so that the monitors have
// something to show: registers take and post transactions, clocks count on. Counters keep
// their width ("020" becomes "021"), and each clock keeps its difference between actual and
// expected counts.
class TelemetrySimulator {
public:
    TelemetrySimulator(Store& store, quint32 seed);

    void step();

    // The number a counter text holds, plus delta, written at least as wide as before; a text
    // that is not a plain number, or a result below 0, leaves the text as it is.
    static QString addToCounter(const QString& counter, qint64 delta);

private:
    void stepRegisters(qint64 firma, qint64 filiale);
    void stepClocks(qint64 firma, qint64 filiale);

    Store& m_store;
    QRandomGenerator m_random;
};
