#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

// Writes the server's log lines to a descriptor (stderr) on a thread of its own, so that a
// reader that stops taking them (a terminal held with Ctrl-S, a stuck journal, a pipe nobody
// reads) holds up no session for long. A line is normally written before add() returns, as if
// written there; one that is not within kWaitMs marks the reader as stalled, and until it has
// taken every queued line, lines only queue. At most kMaxQueuedBytes wait; lines beyond are left
// out and counted, and a line says how many once the reader takes lines again.
class BackgroundLogWriter {
public:
    static constexpr qsizetype kMaxQueuedBytes = 1024 * 1024;
    static constexpr int kWaitMs = 100;
    static constexpr int kDrainMs = 2000;

    explicit BackgroundLogWriter(int descriptor = 2);
    // Writes what is still queued, waiting for the reader at most kDrainMs.
    ~BackgroundLogWriter();
    BackgroundLogWriter(const BackgroundLogWriter&) = delete;
    BackgroundLogWriter& operator=(const BackgroundLogWriter&) = delete;

    // Queues one line (without its line break) and waits until it is written, at most kWaitMs
    // and not at all while the reader is stalled.
    void add(const QString& line);

private:
    struct Queue;
    static void writeLines(const std::shared_ptr<Queue>& queue, int descriptor);

    // Shared with the thread, which outlives this object when the reader never comes back.
    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
};
