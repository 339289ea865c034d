#pragma once

#include "LogLimiter.h"

#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

// The server's log: one line per session start and end and per error, each starting with
// "lorvex-server: ". Lines go to stderr unless a test installs its own sink. Callers never put a
// password or an argument value into a line. What peers can make it write is bounded
// (LogLimiter): lines about a peer go through writeFor(), with the peer's address key. Any thread
// may write; lines never interleave, and the sink is called by one thread at a time.
class ServerLog {
public:
    using Sink = std::function<void(const QString& line)>;

    ServerLog();
    explicit ServerLog(Sink sink);
    // Each line written to stderr at once (the default).
    static Sink toStderr();
    ~ServerLog();

    void setLimits(const LogLimiter::Settings& settings);

    // A line of the server's own (counted in the bound in all).
    void write(const QString& message) const;
    // A line a peer caused: counted in its address's bound and in all.
    void writeFor(const QString& address, const QString& message) const;
    // Writes the summaries of lines left out that are still due; call now and then.
    void writeSummaries() const;

private:
    void emitLine(const QString& message) const;

    mutable QMutex m_mutex;
    Sink m_sink;
    // Counting does not change what the log is to its users.
    std::unique_ptr<LogLimiter> m_limiter;
};
