#include "PlainSocketStream.h"

#include "ArrivalBatch.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Replies of one turn sent together; a pipelining peer has at most a few per turn.
constexpr std::size_t kMaxSendParts = 16;
constexpr qint64 kReadChunkBytes = 64 * 1024;

} // namespace

quint16 PlainSocketStream::peerOf(qintptr descriptor, QHostAddress* address) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        *address = QHostAddress();
        return 0;
    }
    *address = QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
    if (peer.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
    }
    if (peer.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    }
    return 0;
}

PlainSocketStream::PlainSocketStream(qintptr descriptor, ArrivalBatch* batch, QObject* parent)
    : PeerStream(parent)
    , m_fd(static_cast<int>(descriptor))
    , m_batch(batch)
    , m_readNotifier(descriptor, QSocketNotifier::Read)
    , m_writeNotifier(descriptor, QSocketNotifier::Write) {
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    // A reply goes out whole in one send; waiting to fill a segment would only delay it.
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_peerPort = peerOf(descriptor, &m_peerAddress);
    m_writeNotifier.setEnabled(false);
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &PlainSocketStream::readFromSocket);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, [this] {
        if (writeToSocket()) {
            emit bytesWritten();
        }
    });
}

PlainSocketStream::~PlainSocketStream() {
    if (m_fd >= 0) {
        m_readNotifier.setEnabled(false);
        m_writeNotifier.setEnabled(false);
        ::close(m_fd);
    }
}

void PlainSocketStream::setReadBufferSize(qint64 bytes) {
    m_readBufferSize = std::max<qint64>(bytes, 1);
    updateReadNotifier();
}

void PlainSocketStream::readFromSocket() {
    if (m_fd < 0 || m_closing) {
        return;
    }
    const qint64 room = std::min<qint64>(m_readBufferSize - bytesAvailable(), kReadChunkBytes);
    if (room <= 0) {
        updateReadNotifier();
        return;
    }
    // Read into the stack and keep only what came: most requests are a few dozen bytes.
    std::array<char, kReadChunkBytes> chunk;
    const ssize_t n = ::recv(m_fd, chunk.data(), static_cast<size_t>(room), 0);
    if (n > 0) {
        if (m_inTaken > 0) {
            m_in.remove(0, m_inTaken);
            m_inTaken = 0;
        }
        m_in.append(chunk.data(), n);
        updateReadNotifier();
        if (m_batch) {
            m_batch->add(this);
        } else {
            emit readyRead();
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (n < 0) {
        close(); // the connection broke: nothing can be answered
        return;
    }
    // The peer shut its sending side: the session answers what it sent before, then closes.
    m_inputEnded = true;
    updateReadNotifier();
    emit readyRead();
}

QByteArray PlainSocketStream::read(qint64 maxBytes) {
    const qsizetype count = std::min<qint64>(maxBytes, bytesAvailable());
    if (count <= 0) {
        return {};
    }
    QByteArray bytes;
    if (m_inTaken == 0 && count == m_in.size()) {
        bytes.swap(m_in); // all of it: no copy
    } else {
        bytes = m_in.sliced(m_inTaken, count);
        m_inTaken += count;
        if (m_inTaken == m_in.size()) {
            m_in.clear();
            m_inTaken = 0;
        }
    }
    updateReadNotifier();
    return bytes;
}

void PlainSocketStream::updateReadNotifier() {
    // Nothing more is taken from the system while the buffer is full: the peer is slowed down.
    const bool wanted =
        m_fd >= 0 && !m_closing && !m_inputEnded && bytesAvailable() < m_readBufferSize;
    if (m_readNotifier.isEnabled() != wanted) {
        m_readNotifier.setEnabled(wanted);
    }
}

void PlainSocketStream::write(const QByteArray& bytes) {
    if (m_fd < 0 || bytes.isEmpty()) {
        return;
    }
    m_out.push_back(bytes);
    m_outBytes += bytes.size();
}

void PlainSocketStream::flush() {
    if (m_fd < 0 || m_outBytes == 0 || m_writeNotifier.isEnabled()) {
        return;
    }
    if (!m_batch || !m_batch->flushAfterPass(this)) {
        writeToSocket();
    }
}

void PlainSocketStream::flushNow() {
    if (m_fd >= 0 && m_outBytes > 0 && !m_writeNotifier.isEnabled() && writeToSocket()) {
        emit bytesWritten();
    }
}

bool PlainSocketStream::writeToSocket() {
    bool sent = false;
    while (m_fd >= 0 && !m_out.empty()) {
        std::array<iovec, kMaxSendParts> parts{};
        std::size_t count = 0;
        for (auto it = m_out.begin(); it != m_out.end() && count < parts.size(); ++it, ++count) {
            const qsizetype skip = count == 0 ? m_outSent : 0;
            parts[count].iov_base = const_cast<char*>(it->constData() + skip);
            parts[count].iov_len = static_cast<size_t>(it->size() - skip);
        }
        msghdr message{};
        message.msg_iov = parts.data();
        message.msg_iovlen = count;
        // One reply is the usual case: send() spares the kernel copying in a message header.
        const ssize_t n = count == 1
                              ? ::send(m_fd, parts[0].iov_base, parts[0].iov_len, MSG_NOSIGNAL)
                              : ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                m_writeNotifier.setEnabled(true); // the rest goes as the peer reads
                return sent;
            }
            close(); // the peer is gone: what waited cannot be delivered
            return sent;
        }
        sent = sent || n > 0;
        m_outBytes -= n;
        qsizetype left = n;
        while (left > 0) {
            const qsizetype rest = m_out.front().size() - m_outSent;
            if (left < rest) {
                m_outSent += left;
                break;
            }
            left -= rest;
            m_out.pop_front();
            m_outSent = 0;
        }
    }
    if (m_writeNotifier.isEnabled()) {
        m_writeNotifier.setEnabled(false);
    }
    if (m_closing) {
        close();
    }
    return sent;
}

void PlainSocketStream::disconnectFromHost() {
    if (m_fd < 0) {
        return;
    }
    m_closing = true;
    updateReadNotifier();
    if (m_out.empty()) {
        close();
    } else if (!m_writeNotifier.isEnabled()) {
        writeToSocket(); // closes once all is sent
    }
}

void PlainSocketStream::abort() {
    close();
}

void PlainSocketStream::close() {
    if (m_fd < 0) {
        return;
    }
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    m_out.clear();
    m_outSent = 0;
    m_outBytes = 0;
    m_in.clear();
    m_inTaken = 0;
    emit disconnected();
}
