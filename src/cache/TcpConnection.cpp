#include "cache/TcpConnection.h"

#include "cache/CacheError.h"
#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

using protocol::ErrorCode;

namespace {

int remainingMs(const QDeadlineTimer& deadline) {
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

TcpConnection::TcpConnection(const TcpTimeouts& timeouts)
    : m_timeouts(timeouts) {
}

TcpConnection::~TcpConnection() {
    close();
}

bool TcpConnection::open(const ConnectTarget& target) {
    drop();
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_reader = protocol::FrameReader();
    const QDeadlineTimer deadline(m_timeouts.connectMs);
    m_socket->connectToHost(target.host, target.port);
    if (!m_socket->waitForConnected(remainingMs(deadline))) {
        drop();
        return false;
    }
    m_up = true;
    try {
        const protocol::Response reply = exchange(
            protocol::Request::hello(target.nameSpace, protocol::Version), remainingMs(deadline));
        return reply.ok;
    } catch (const CacheError& error) {
        // Refused handshake (wrong namespace or version, no free place), silence or garbage:
        // not connected.
        m_lastFailure = error.description();
        drop();
        return false;
    }
}

bool TcpConnection::isUp() {
    if (!m_up) {
        return false;
    }
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        // A zero wait reads what is pending without blocking and notices a closed peer. The
        // server never speaks unasked, so any bytes here mean the session is unusable.
        m_socket->waitForReadyRead(0);
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState || m_socket->bytesAvailable() > 0) {
        drop();
        return false;
    }
    return true;
}

protocol::Response TcpConnection::roundTrip(protocol::Request request) {
    return exchange(std::move(request), m_timeouts.requestMs);
}

protocol::Response TcpConnection::exchange(protocol::Request request, int timeoutMs) {
    if (!m_up) {
        throw CacheError(protocol::errorNumber(ErrorCode::NotConnected),
                         QStringLiteral("Keine Verbindung zum Server"));
    }
    request.seq = m_nextSeq++;
    const protocol::Outcome<QByteArray> payload = protocol::encodeRequest(request);
    if (!payload.ok()) {
        // Refused here, so the server never ends the session over it.
        throw CacheError(protocol::errorNumber(payload.error()), payload.errorText());
    }
    const QDeadlineTimer deadline(timeoutMs);
    m_socket->write(protocol::encodeFrame(payload.value()));
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(remainingMs(deadline))) {
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                fail(ErrorCode::ConnectionLost, m_socket->errorString());
            }
            fail(ErrorCode::Timeout, QStringLiteral("%1 ms").arg(timeoutMs));
        }
    }
    std::optional<QByteArray> frame = m_reader.takeFrame();
    while (!frame) {
        if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(remainingMs(deadline))) {
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                fail(ErrorCode::ConnectionLost, m_socket->errorString());
            }
            fail(ErrorCode::Timeout, QStringLiteral("%1 ms").arg(timeoutMs));
        }
        m_reader.feed(m_socket->readAll());
        if (m_reader.hasError()) {
            fail(ErrorCode::BadReply, m_reader.errorText());
        }
        frame = m_reader.takeFrame();
    }
    if (m_reader.hasFrame() || !m_reader.atFrameBoundary()) {
        fail(ErrorCode::BadReply, QStringLiteral("mehr als eine Antwort"));
    }
    protocol::Outcome<protocol::Response> reply = protocol::decodeResponse(*frame);
    if (!reply.ok()) {
        fail(ErrorCode::BadReply, reply.errorText());
    }
    if (!reply.value().ok &&
        reply.value().errorNumber == protocol::errorNumber(ErrorCode::ServerFull)) {
        // Sent in place of any reply when the server has no place for this connection.
        drop();
        throw CacheError(reply.value().errorNumber,
                         QStringLiteral("Der Server hat keinen freien Platz für diese Verbindung "
                                        "(Fehler %1).")
                             .arg(reply.value().errorNumber));
    }
    if (reply.value().seq != request.seq) {
        fail(ErrorCode::BadReply,
             QStringLiteral("Antwort %1 auf Anfrage %2").arg(reply.value().seq).arg(request.seq));
    }
    if (!reply.value().ok) {
        if (protocol::endsSession(reply.value().errorNumber)) {
            drop();
        }
        throw CacheError(reply.value().errorNumber, reply.value().errorText);
    }
    return std::move(reply.value());
}

void TcpConnection::fail(ErrorCode code, const QString& detail) {
    drop();
    QString text;
    switch (code) {
    case ErrorCode::Timeout:
        text = QStringLiteral("Keine Antwort vom Server (%1)").arg(detail);
        break;
    case ErrorCode::ConnectionLost:
        text = QStringLiteral("Verbindung zum Server unterbrochen (%1)").arg(detail);
        break;
    default:
        text = QStringLiteral("Ungültige Antwort vom Server (%1)").arg(detail);
        break;
    }
    throw CacheError(protocol::errorNumber(code), text);
}

void TcpConnection::close() {
    if (!m_up) {
        drop();
        return;
    }
    try {
        exchange(protocol::Request::bye(), m_timeouts.disconnectMs);
    } catch (const CacheError&) {
        // The session ends either way.
    }
    drop();
}

void TcpConnection::drop() {
    m_up = false;
    if (m_socket) {
        m_socket->abort();
    }
}
