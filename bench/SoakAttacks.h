#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

// The hostile peers of the soak benchmark, one loop per attack class. Every peer speaks to
// 127.0.0.1 from an address of 127.0.0.0/8 of its own class, every round of a loop ends within
// a bounded time (and at the deadline), and no loop runs faster than its pauses allow.
struct SoakTarget {
    quint16 plainPort = 0; // the clear-text server
    quint16 tlsPort = 0;   // the TLS server (only handshakes are attacked there)
};

// What one attack loop has done: rounds run, and rounds in which the server broke a promise
// the attack can see (for example fewer replies than requests after a half-close).
struct SoakTally {
    std::atomic<long> rounds{0};
    std::atomic<long> broken{0};
};

struct SoakAttack {
    QString name;
    // One bounded round against the target; returns false when the server broke a promise.
    std::function<bool(const SoakTarget&, const QDeadlineTimer&)> round;

    static QList<SoakAttack> all();
};
