#include "BackgroundLogWriter.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unistd.h>

struct BackgroundLogWriter::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> lines;
    qsizetype bytes = 0;
    qint64 leftOut = 0;
    // Lines queued, and written, since the start (lines left out not counted).
    quint64 added = 0;
    quint64 written = 0;
    // A line waited kWaitMs in vain: later ones do not wait until the queue is empty again.
    bool stalled = false;
    bool stopping = false;
    bool finished = false;
};

BackgroundLogWriter::BackgroundLogWriter(int descriptor)
    : m_queue(std::make_shared<Queue>())
    , m_thread(writeLines, m_queue, descriptor) {
}

BackgroundLogWriter::~BackgroundLogWriter() {
    std::unique_lock lock(m_queue->mutex);
    m_queue->stopping = true;
    m_queue->changed.notify_all();
    const bool finished = m_queue->changed.wait_for(lock, std::chrono::milliseconds(kDrainMs),
                                                    [this] { return m_queue->finished; });
    lock.unlock();
    if (finished) {
        m_thread.join();
    } else {
        m_thread.detach(); // blocked in write(): the process ends without it
    }
}

void BackgroundLogWriter::add(const QString& line) {
    QByteArray bytes = line.toLocal8Bit() + '\n';
    std::unique_lock lock(m_queue->mutex);
    if (m_queue->bytes + bytes.size() > kMaxQueuedBytes) {
        ++m_queue->leftOut;
        return;
    }
    m_queue->bytes += bytes.size();
    m_queue->lines.push_back(std::move(bytes));
    const quint64 mine = ++m_queue->added;
    m_queue->changed.notify_all();
    if (m_queue->stalled) {
        return;
    }
    // Normally the line is out before the server goes on, as if written here.
    const bool written = m_queue->changed.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                                   [&] { return m_queue->written >= mine; });
    m_queue->stalled = !written;
}

void BackgroundLogWriter::writeLines(const std::shared_ptr<Queue>& queue, int descriptor) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->changed.wait(
            lock, [&] { return !queue->lines.empty() || queue->leftOut > 0 || queue->stopping; });
        if (queue->lines.empty() && queue->leftOut == 0) {
            break; // stopping, and all is written
        }
        QByteArray chunk;
        chunk.reserve(queue->bytes + 128);
        for (const QByteArray& line : queue->lines) {
            chunk += line;
        }
        queue->lines.clear();
        queue->bytes = 0;
        const quint64 upTo = queue->added;
        if (queue->leftOut > 0) {
            chunk += QByteArrayLiteral("lorvex-server: ") + QByteArray::number(queue->leftOut) +
                     QByteArrayLiteral(" log lines left out: the log was not being read\n");
            queue->leftOut = 0;
        }
        lock.unlock();
        for (qsizetype written = 0; written < chunk.size();) {
            const ssize_t n =
                ::write(descriptor, chunk.constData() + written, size_t(chunk.size() - written));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break; // the log is gone: nothing to write to
            }
            written += n;
        }
        lock.lock();
        queue->written = upTo;
        queue->stalled = queue->stalled && !queue->lines.empty();
        queue->changed.notify_all();
    }
    queue->finished = true;
    queue->changed.notify_all();
}
