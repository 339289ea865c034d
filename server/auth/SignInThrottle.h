#pragma once

#include <QString>

#include <algorithm>
#include <list>
#include <unordered_map>

// Slows down the guessing of passwords, and only the guesser. Sign-in attempts are counted per
// user code (within its company) and per peer address from the moment they arrive, so attempts
// sent in parallel are slowed as if sent one after the other. Once a key has used its free
// tries, every further answer of a wrong password waits longer (a growing step, capped), and the
// answers for one key are spaced out one after the other. A correct password from an address
// that has not failed is answered as soon as it is checked: what other addresses do cannot hold
// the real user up. One address holds at most a few answers in waiting; an attempt whose session
// ends before its answer gives its place in the spacing back. A key forgets its failures after a
// quiet while. Times are milliseconds of a monotonic clock the caller supplies.
class SignInThrottle {
public:
    struct Settings {
        int freeTriesPerUser = 3;
        int freeTriesPerAddress = 20;
        qint64 stepMs = 250;
        qint64 capMs = 4000;
        qint64 forgetAfterMs = 15 * 60 * 1000;
        // Keys remembered at most; beyond, the one touched longest ago is forgotten (unless an
        // attempt of it is under way).
        int maxKeys = 50000;
        // Attempts of one address waiting for their check or answer at once; more are refused.
        int maxWaitingPerAddress = 8;
    };

    // One attempt between its arrival and its answer.
    struct Reservation {
        quint64 user = 0;
        quint64 address = 0;
        qint64 answerAtMs = 0; // for a wrong password
        qint64 userSpacingMs = 0;
        qint64 addressSpacingMs = 0;
        bool refused = false; // the address has too many attempts waiting: answer at once
        bool checked = false;
        bool finished = false;
    };

    SignInThrottle() = default;
    explicit SignInThrottle(const Settings& settings);

    // Counts an attempt that arrives at nowMs and reserves its answer time: never earlier than
    // nowMs, later by the delay of the user's or the address's key, where failures and attempts
    // still under way both count. A refused reservation counts nothing; finish() it all the same.
    Reservation reserve(const QString& userKey, const QString& addressKey, qint64 nowMs);
    // The outcome of the attempt's check, counted at once whether anybody waits for the answer
    // or not. Returns when the answer may go out: at once for a correct password from an address
    // without failures, else at the reserved time. A success clears the user key's failures (not
    // the address's: one valid account must not reset the count of guesses at others).
    qint64 recordOutcome(Reservation& reservation, bool correct, qint64 nowMs);
    // The attempt is over: answered, or its session gone (then the place it took in the spacing
    // is given back, and a check that never ran counts nothing).
    void finish(Reservation& reservation, bool answered, qint64 nowMs);

    enum class Kind { User, Address };
    // Failures of a key counted elsewhere (by other servers on the same database), which already
    // include this server's own: the key counts the larger number.
    void adoptFailures(Kind kind, const QString& key, int failures, qint64 nowMs);

    int failures(Kind kind, const QString& key, qint64 nowMs) const;
    // An answer slot reserved elsewhere (the slots all servers share): the wrong password's
    // answer goes out no earlier than answerAtMs.
    static void answerNoEarlierThan(Reservation& reservation, qint64 answerAtMs) {
        reservation.answerAtMs = std::max(reservation.answerAtMs, answerAtMs);
    }
    qint64 forgetAfterMs() const { return m_settings.forgetAfterMs; }
    int keyCount() const { return static_cast<int>(m_entries.size()); }

private:
    struct Entry {
        quint64 key = 0;
        int failures = 0;
        int checking = 0; // attempts arrived, not yet checked
        int waiting = 0;  // attempts arrived, not yet answered or given up
        qint64 lastFailureMs = 0;
        qint64 nextSlotMs = 0; // the answer time reserved last
    };
    using Entries = std::list<Entry>;

    static quint64 keyOf(Kind kind, const QString& key);
    qint64 delayFor(int attempts, int freeTries) const;
    // The entry of key, created (and made most recent) when needed.
    Entry& entry(quint64 key, qint64 nowMs);
    Entry* existing(quint64 key);
    const Entry* existing(quint64 key) const;
    qint64 reserveOne(Entry& e, int freeTries, qint64 nowMs, qint64& spacing);
    void forgetStale(Entry& e, qint64 nowMs) const;
    void makeRoom();

    Settings m_settings;
    // Least recently touched first; the index finds an entry by its key's hash.
    Entries m_entries;
    std::unordered_map<quint64, Entries::iterator> m_index;
};
