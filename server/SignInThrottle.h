#pragma once

#include <QHash>
#include <QString>

// Slows down the guessing of passwords. Failed sign-ins are counted per user code (within its
// company) and per peer address; once a key has used its free tries, every further answer for it
// waits longer (a growing step, capped), and answers for one key are spaced out one after the
// other, so opening many connections at once gains an attacker nothing. A key forgets its
// failures after a quiet while. Times are milliseconds of a monotonic clock the caller supplies.
class SignInThrottle {
public:
    struct Settings {
        int freeTriesPerUser = 3;
        int freeTriesPerAddress = 20;
        qint64 stepMs = 250;
        qint64 capMs = 4000;
        qint64 forgetAfterMs = 15 * 60 * 1000;
        // Keys remembered at most; beyond, the quietest are forgotten first.
        int maxKeys = 50000;
    };

    SignInThrottle() = default;
    explicit SignInThrottle(const Settings& settings);

    // Reserves the answer time of an attempt that arrives at nowMs and returns it: never earlier
    // than nowMs, later by the current delay of the user's or the address's key. Attempts still
    // being checked do not count: many monitors signing in as one user at once (after a server
    // restart) must not be slowed; the places per address bound a burst of parallel guesses.
    qint64 reserve(const QString& userKey, const QString& addressKey, qint64 nowMs);
    // The outcome of a reserved attempt. A success clears the user key's failures (not the
    // address's: one valid account must not reset the count of guesses at others).
    void recordFailure(const QString& userKey, const QString& addressKey, qint64 nowMs);
    void recordSuccess(const QString& userKey, qint64 nowMs);

    // Failures of a key counted elsewhere (by other servers on the same database), which already
    // include this server's own: the key counts the larger number.
    void adoptFailures(const QString& key, int failures, qint64 nowMs);

    int failures(const QString& key, qint64 nowMs) const;
    qint64 forgetAfterMs() const { return m_settings.forgetAfterMs; }
    int keyCount() const { return static_cast<int>(m_entries.size()); }

private:
    struct Entry {
        int failures = 0;
        qint64 lastFailureMs = 0;
        qint64 nextSlotMs = 0; // the answer time reserved last
    };

    qint64 delayFor(int failures, int freeTries) const;
    qint64 reserveOne(const QString& key, int freeTries, qint64 nowMs);
    Entry& entry(const QString& key, qint64 nowMs);
    void makeRoom(qint64 nowMs);

    Settings m_settings;
    QHash<QString, Entry> m_entries;
};
