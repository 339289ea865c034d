#include "BackgroundLogWriter.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <unistd.h>

struct BackgroundLogWriter::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> lines;
    qsizetype bytes = 0;
    qint64 leftOut = 0;
    // The thread is writing lines it took from the queue.
    bool writing = false;
    bool stopping = false;
    bool finished = false;
};

BackgroundLogWriter::BackgroundLogWriter(int descriptor)
    : m_queue(std::make_shared<Queue>())
    , m_descriptor(descriptor)
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
    if (m_queue->lines.empty() && !m_queue->writing && m_queue->leftOut == 0 &&
        bytes.size() <= PIPE_BUF) {
        // Room for a line this short means that writing it does not wait.
        pollfd log{m_descriptor, POLLOUT, 0};
        if (::poll(&log, 1, 0) == 1 && (log.revents & POLLOUT) != 0) {
            const ssize_t n = ::write(m_descriptor, bytes.constData(), size_t(bytes.size()));
            if (n == bytes.size()) {
                return;
            }
            if (n > 0) {
                bytes.remove(0, n);
            }
        }
    }
    if (m_queue->bytes + bytes.size() > kMaxQueuedBytes) {
        ++m_queue->leftOut;
        return;
    }
    m_queue->bytes += bytes.size();
    m_queue->lines.push_back(std::move(bytes));
    m_queue->changed.notify_all();
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
        queue->writing = true;
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
        queue->writing = false;
    }
    queue->finished = true;
    queue->changed.notify_all();
}
