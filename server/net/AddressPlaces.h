#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

// The server's places for connections, in all and per peer address key (AddressKey). A place is
// taken by a session and by a TLS handshake under way, and for a while by each failed sign-in of
// the address (a penalty), so an address that keeps failing has fewer connections to fail with;
// penalties take at most half of an address's places, so the users behind one address (an
// office's NAT) can still connect while one of them guesses. Every serving thread gives places
// back and penalizes on its own, at once: a peer that hears of its session's end or of a failed
// sign-in finds the places counted already.
class AddressPlaces {
public:
    AddressPlaces(int total, int perAddress, int penaltyMs);

    // Takes a place for the address; on refusal returns why (for the log and the peer).
    bool take(const QString& key, QString* refusal);
    void release(const QString& key);
    // Holds one of the address's places for the penalty time (at most half of them).
    void penalize(const QString& key);
    // Forgets penalties that have run out; call now and then.
    void prune();

    int used() const;
    int usedBy(const QString& key) const;

private:
    int livePenalties(const QString& key);

    mutable QMutex m_mutex;
    int m_total;
    int m_perAddressLimit;
    int m_penaltyMs;
    QElapsedTimer m_clock;
    int m_used = 0;
    QHash<QString, int> m_perAddress;
    QHash<QString, QList<qint64>> m_penaltiesUntil; // ms of m_clock, oldest first
};
