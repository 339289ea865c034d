#include "ClientSession.h"

#include "protocol/Framing.h"
#include "protocol/MessageCodec.h"

#include <QTcpSocket>

using protocol::ErrorCode;
using protocol::Response;

ClientSession::ClientSession(QTcpSocket* socket, int number, RequestHandler handler,
                             const ServerLog& log, const SessionTimeouts& timeouts, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_number(number)
    , m_handler(std::move(handler))
    , m_log(log)
    , m_timeouts(timeouts) {
    m_socket->setParent(this);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        const QString reason = m_waitingIdle
                                   ? QStringLiteral("no request for %1 ms").arg(m_timeouts.idleMs)
                                   : QStringLiteral("handshake or frame incomplete after %1 ms")
                                         .arg(m_timeouts.stallMs);
        end(reason); // logged as the session's end
    });
    m_socket->setReadBufferSize(kSocketReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::readAvailable);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!m_writing) {
            readAvailable();
        }
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_finished) {
            return;
        }
        m_finished = true;
        m_deadline.stop();
        m_log.write(QStringLiteral("session %1 ended: %2")
                        .arg(m_number)
                        .arg(m_endReason.isEmpty()
                                 ? QStringLiteral("connection closed by the client")
                                 : m_endReason));
        emit finished(this);
    });
}

void ClientSession::start() {
    m_log.write(QStringLiteral("session %1 started from %2:%3")
                    .arg(m_number)
                    .arg(m_socket->peerAddress().toString())
                    .arg(m_socket->peerPort()));
    readAvailable();
}

ClientSession::~ClientSession() {
    // The socket is deleted as a child after this; its last signals must not reach a half-gone
    // session.
    m_socket->disconnect(this);
}

void ClientSession::readAvailable() {
    // Frames already read are answered first; new bytes only while the replies drain.
    processFrames();
    while (!m_ending && m_socket->bytesToWrite() < kMaxPendingReplyBytes &&
           m_socket->bytesAvailable() > 0) {
        m_reader.feed(m_socket->read(kSocketReadBufferBytes));
        // Requests that arrived whole before a bad header are answered before the error.
        processFrames();
        if (m_reader.hasError() && !m_ending) {
            logError(protocol::errorNumber(m_reader.error()), m_reader.errorText());
            send(Response::failure(0, protocol::errorNumber(m_reader.error()),
                                   m_reader.errorText()));
            end(QStringLiteral("error %1").arg(protocol::errorNumber(m_reader.error())));
        }
    }
    writeReplies();
    updateDeadline();
}

void ClientSession::writeReplies() {
    // The replies to what arrived go out now, in one write, instead of on the event loop's
    // next pass; what the socket does not take now is written as it drains.
    if (m_socket->bytesToWrite() == 0) {
        return;
    }
    m_writing = true;
    m_socket->flush();
    m_writing = false;
}

void ClientSession::updateDeadline() {
    if (m_ending) {
        m_deadline.stop();
        return;
    }
    const bool idle =
        m_handler.handshakeDone() && m_reader.atFrameBoundary() && !m_reader.hasFrame();
    if (m_answered || !m_deadline.isActive() || idle != m_waitingIdle) {
        m_waitingIdle = idle;
        m_deadline.start(idle ? m_timeouts.idleMs : m_timeouts.stallMs);
    }
    m_answered = false;
}

void ClientSession::processFrames() {
    while (!m_ending && m_socket->bytesToWrite() < kMaxPendingReplyBytes && m_reader.hasFrame()) {
        const std::optional<QByteArray> frame = m_reader.takeFrame();
        m_answered = true;
        const protocol::Outcome<protocol::Request> request = protocol::decodeRequest(*frame);
        if (!request.ok()) {
            const int number = protocol::errorNumber(request.error());
            logError(number, request.errorText());
            send(Response::failure(0, number, request.errorText()));
            end(QStringLiteral("error %1").arg(number));
            return;
        }
        const RequestHandler::Reply reply = m_handler.handle(request.value());
        if (!reply.response.ok) {
            logError(reply.response.errorNumber, reply.response.errorText);
        }
        send(reply.response);
        if (reply.endsSession) {
            end(reply.response.ok ? QStringLiteral("the client said goodbye")
                                  : QStringLiteral("error %1").arg(reply.response.errorNumber));
            return;
        }
    }
}

void ClientSession::send(const Response& response) {
    protocol::Outcome<QByteArray> payload = protocol::encodeResponse(response);
    if (!payload.ok()) {
        // The reply itself cannot travel (a text over the limit): say so instead.
        const int number = protocol::errorNumber(ErrorCode::StoreFailure);
        const QString text =
            QStringLiteral("the reply cannot be sent: %1").arg(payload.errorText());
        logError(number, text);
        payload = protocol::encodeResponse(Response::failure(response.seq, number, text));
        if (!payload.ok()) {
            return;
        }
    }
    m_socket->write(protocol::encodeFrame(payload.value()));
}

void ClientSession::end(const QString& reason) {
    m_ending = true;
    m_deadline.stop();
    m_endReason = reason;
    m_socket->disconnectFromHost(); // after the pending replies are written
    // A peer that reads nothing would keep it half-closed for ever.
    QTimer::singleShot(kCloseGraceMs, this, [this] {
        if (m_socket->state() != QAbstractSocket::UnconnectedState) {
            m_socket->abort();
        }
    });
}

void ClientSession::logError(int number, const QString& text) {
    const QString shown = text.size() > kMaxLoggedTextChars
                              ? text.left(kMaxLoggedTextChars) + QStringLiteral("...")
                              : text;
    m_log.write(QStringLiteral("session %1: error %2: %3").arg(m_number).arg(number).arg(shown));
}
