#include "LoadConnection.h"

#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype kHeaderBytes = 4;
constexpr qsizetype kReadChunk = 256 * 1024;

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

} // namespace

LoadConnection::LoadConnection(quint16 port, quint32 source) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        fail(QStringLiteral("socket: %1").arg(errno));
    }
    if (source > 0) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + source);
        if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            const int error = errno;
            ::close(m_fd);
            fail(QStringLiteral("bind to 127.0.0.1 + %1: errno %2").arg(source).arg(error));
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(m_fd);
        fail(QStringLiteral("connect to 127.0.0.1:%1: errno %2").arg(port).arg(error));
    }
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_reply.reserve(kReadChunk);
}

LoadConnection::~LoadConnection() {
    ::close(m_fd);
}

protocol::Response LoadConnection::exchange(const protocol::Request& request) {
    send(protocol::encodeFrame(protocol::encodeRequest(request).value()));
    while (!readSome()) {
        waitReadable();
    }
    return decodedReply();
}

void LoadConnection::send(const QByteArray& frame) {
    m_reply.clear();
    m_expected = 0;
    qsizetype written = 0;
    while (written < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.constData() + written,
                                 static_cast<size_t>(frame.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd wait{m_fd, POLLOUT, 0};
            ::poll(&wait, 1, 1000);
            continue;
        }
        if (n <= 0) {
            fail(QStringLiteral("send: errno %1").arg(errno));
        }
        written += n;
    }
}

bool LoadConnection::readSome() {
    for (;;) {
        const qsizetype have = m_reply.size();
        if (m_expected > 0 && have >= m_expected) {
            return true;
        }
        // Nothing follows the reply (one request at a time), so a large read takes it whole.
        const qsizetype want = m_expected > 0 ? m_expected - have : kReadChunk;
        m_reply.resize(have + want);
        const ssize_t n = ::recv(m_fd, m_reply.data() + have, static_cast<size_t>(want), 0);
        if (n < 0 && errno == EAGAIN) {
            m_reply.resize(have);
            return false;
        }
        if (n <= 0) {
            fail(QStringLiteral("the server closed the connection (errno %1)").arg(errno));
        }
        m_reply.resize(have + n);
        if (m_expected == 0 && m_reply.size() >= kHeaderBytes) {
            m_expected = kHeaderBytes + qFromBigEndian<quint32>(m_reply.constData());
        }
    }
}

protocol::Response LoadConnection::decodedReply() const {
    const auto response = protocol::decodeResponse(QByteArrayView(m_reply).sliced(kHeaderBytes));
    if (!response.ok()) {
        fail(QStringLiteral("undecodable reply: %1").arg(response.errorText()));
    }
    if (!response.value().ok) {
        fail(QStringLiteral("error reply %1: %2")
                 .arg(response.value().errorNumber)
                 .arg(response.value().errorText));
    }
    return response.value();
}

void LoadConnection::waitReadable() {
    pollfd wait{m_fd, POLLIN, 0};
    if (::poll(&wait, 1, 10000) <= 0) {
        fail(QStringLiteral("no reply within 10 s"));
    }
}

void setUpSession(LoadConnection& connection, qint64 firma, qint64 filiale, bool signIn) {
    using protocol::Request;
    connection.exchange(
        Request::hello(QLatin1String(protocol::DefaultNamespace), protocol::Version));
    if (signIn) {
        const protocol::Response reply =
            connection.exchange(Request::signIn(QString::number(firma), "DEMO", "demo"));
        if (reply.value != QVariant(true)) {
            fail(QStringLiteral("the demo user's sign-in was refused"));
        }
    }
    const qint64 windows = connection.exchange(Request::classAccess("LX.Windows")).handle;
    connection.exchange(Request::call(
        windows, "Xecute",
        {QStringLiteral("S FIRMA=%1,FIL=%2,PERSONAL=\"DEMO\"").arg(firma).arg(filiale)}));
    connection.exchange(Request::call(windows, "Xecute", {QStringLiteral("D ^%XTT")}));
    connection.exchange(Request::close(windows));
}
