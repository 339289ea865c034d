#pragma once

#include <QString>

#include <functional>

// The server's log: one line per session start and end and per error, each starting with
// "lorvex-server: ". Lines go to stderr unless a test installs its own sink. Callers never put a
// password or an argument value into a line.
class ServerLog {
public:
    using Sink = std::function<void(const QString& line)>;

    ServerLog();
    explicit ServerLog(Sink sink);

    void write(const QString& message) const;

private:
    Sink m_sink;
};
