#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// Bounds the lines the server writes, whatever number of peers and sessions cause them: a token
// bucket for every line and one per peer address for the lines a peer causes. A line without a
// token is left out and counted; the count is written as one summary line as soon as there is a
// token again (summaries take tokens too, so the bounds hold for them as well).
class LogLimiter {
public:
    struct Settings {
        // In all; each address gets a tenth of it. 0 turns the limits off.
        double linesPerSecond = 50;
        // Lines that may come at once after a quiet time, as seconds of the rate.
        double burstSeconds = 20;
    };
    // Milliseconds of a steady clock; a test may pass its own.
    using Clock = std::function<qint64()>;

    LogLimiter();
    explicit LogLimiter(const Settings& settings, Clock clock = {});

    // Whether a line may be written now; an empty address is the server's own line (only the
    // bound in all applies). Summary lines that are due come first, in `lines`, with the line
    // itself last when it may be written.
    QStringList admit(const QString& address, const QString& line);
    // The summaries that are still due (after a flood has ended); call now and then. Also
    // forgets addresses that have been quiet.
    QStringList pendingSummaries();

private:
    struct Bucket {
        double tokens = 0;
        qint64 refilledAtMs = 0;
        qint64 leftOut = 0;
    };
    // Addresses remembered at once; further ones share one bucket.
    static constexpr int kMaxAddresses = 4096;

    bool take(Bucket& bucket, double rate, double burst, qint64 now) const;
    Bucket& bucketOf(const QString& address, qint64 now);
    QString summaryOf(const QString& address, qint64 count) const;
    void summarize(const QString& address, Bucket& bucket, qint64 now, QStringList& lines);

    Settings m_settings;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    Bucket m_all;
    QHash<QString, Bucket> m_addresses;
};
