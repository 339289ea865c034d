#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

// Writes the server's log lines to a descriptor (stderr) so that a reader that stops taking them
// (a terminal held with Ctrl-S, a stuck journal, a pipe nobody reads) holds up no session. A line
// the descriptor can take at once is written by add() itself, in order with what happens; the
// others queue for a thread of its own, which waits for the reader, and the lines after them
// queue behind them. At most kMaxQueuedBytes wait; lines beyond are left out and counted, and a
// line says how many once the reader takes lines again.
class BackgroundLogWriter {
public:
    static constexpr qsizetype kMaxQueuedBytes = 1024 * 1024;
    static constexpr int kDrainMs = 2000;

    explicit BackgroundLogWriter(int descriptor = 2);
    // Writes what is still queued, waiting for the reader at most kDrainMs.
    ~BackgroundLogWriter();
    BackgroundLogWriter(const BackgroundLogWriter&) = delete;
    BackgroundLogWriter& operator=(const BackgroundLogWriter&) = delete;

    // Writes one line (without its line break), or queues it; never waits for the reader.
    void add(const QString& line);

private:
    struct Queue;
    static void writeLines(const std::shared_ptr<Queue>& queue, int descriptor);

    // Shared with the thread, which outlives this object when the reader never comes back.
    std::shared_ptr<Queue> m_queue;
    int m_descriptor;
    std::thread m_thread;
};
