#include "TelemetrySimulator.h"

#include "Store.h"

TelemetrySimulator::TelemetrySimulator(Store& store, quint32 seed)
    : m_store(store)
    , m_random(seed) {
}

void TelemetrySimulator::step() {
    const auto branches = m_store.branches();
    m_store.inTransaction([&] {
        for (const auto& [firma, filiale] : branches) {
            stepRegisters(firma, filiale);
            stepClocks(firma, filiale);
        }
    });
}

void TelemetrySimulator::stepRegisters(qint64 firma, qint64 filiale) {
    for (RegisterRecord record : m_store.registers(firma, filiale)) {
        switch (m_random.bounded(3)) {
        case 0: // a new transaction, not yet posted
            record.anzahl = addToCounter(record.anzahl, 1);
            record.lastCnt = addToCounter(record.lastCnt, 1);
            break;
        case 1: // the oldest one is posted
            if (record.anzahl.toLongLong() > 0 && record.firstCnt != record.lastCnt) {
                record.anzahl = addToCounter(record.anzahl, -1);
                record.firstCnt = addToCounter(record.firstCnt, 1);
            }
            break;
        default:
            continue;
        }
        m_store.putRegister(record);
    }
}

void TelemetrySimulator::stepClocks(qint64 firma, qint64 filiale) {
    for (ClockRecord clock : m_store.clocks(firma, filiale)) {
        const qint64 bookings = m_random.bounded(4);
        clock.eIst = addToCounter(clock.eIst, bookings);
        clock.eSoll = addToCounter(clock.eSoll, bookings);
        const qint64 second = bookings / 2;
        clock.sIst = addToCounter(clock.sIst, second);
        clock.sSoll = addToCounter(clock.sSoll, second);
        m_store.putClock(clock);
    }
}

QString TelemetrySimulator::addToCounter(const QString& counter, qint64 delta) {
    if (counter.isEmpty() || counter.size() > 18) {
        return counter;
    }
    for (const QChar c : counter) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return counter;
        }
    }
    const qint64 value = counter.toLongLong() + delta;
    if (value < 0) {
        return counter;
    }
    return QStringLiteral("%1").arg(value, static_cast<int>(counter.size()), 10, QLatin1Char('0'));
}
