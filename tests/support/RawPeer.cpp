#include "RawPeer.h"

#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QElapsedTimer>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool RawPeer::connect(quint16 port, const QHostAddress& from, int receiveBufferBytes) {
    if (from.isNull() && receiveBufferBytes <= 0) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    // Options that must be set before the connection exists: a socket of our own.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    if (receiveBufferBytes > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    if (!from.isNull()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from.toIPv4Address());
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return false;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    return socket.setSocketDescriptor(fd);
}

void RawPeer::send(const QByteArray& bytes) {
    socket.write(bytes);
    socket.flush();
}

void RawPeer::sendRequest(const protocol::Request& request) {
    send(protocol::encodeFrame(protocol::encodeRequest(request).value()));
}

bool RawPeer::signIn(const QString& company, const QString& user, const QString& password,
                     int timeoutMs) {
    sendRequest(protocol::Request::hello(QStringLiteral("LORVEX"), protocol::Version));
    sendRequest(protocol::Request::signIn(company, user, password));
    const std::optional<protocol::Response> hello = readResponse(timeoutMs);
    const std::optional<protocol::Response> signIn = readResponse(timeoutMs);
    return hello && hello->ok && signIn && signIn->ok && signIn->value == QVariant(true);
}

void RawPeer::shutdownSending() {
    socket.waitForBytesWritten(3000);
    ::shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR);
}

bool RawPeer::closedByServer(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
        socket.waitForReadyRead(100);
    }
    return socket.state() != QAbstractSocket::ConnectedState;
}

QByteArray RawPeer::readFrame(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    QByteArray frame;
    qsizetype needed = 4;
    while (frame.size() < needed && timer.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100)) {
            if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
                break;
            }
            continue;
        }
        frame += socket.read(needed - frame.size());
        if (frame.size() == 4 && needed == 4) {
            needed = 4 + qFromBigEndian<quint32>(frame.constData());
        }
    }
    return frame.size() == needed ? frame : QByteArray();
}

std::optional<protocol::Response> RawPeer::readResponse(int timeoutMs) {
    const QByteArray frame = readFrame(timeoutMs);
    if (frame.isEmpty()) {
        return std::nullopt;
    }
    protocol::Outcome<protocol::Response> reply =
        protocol::decodeResponse(QByteArrayView(frame).sliced(4));
    if (!reply.ok()) {
        return std::nullopt;
    }
    return reply.value();
}
