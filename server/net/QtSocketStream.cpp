#include "QtSocketStream.h"

#include "ArrivalBatch.h"

#include <QSslSocket>
#include <QTcpSocket>

QtSocketStream::QtSocketStream(QTcpSocket* socket, ArrivalBatch* batch, QObject* parent)
    : PeerStream(parent)
    , m_socket(socket)
    , m_batch(batch)
    , m_tlsSocket(qobject_cast<QSslSocket*>(socket)) {
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        if (m_batch) {
            m_batch->noteArrival();
        }
        emit readyRead();
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!m_flushing) {
            emit bytesWritten();
        }
    });
    // At the end of the peer's stream Qt's socket closes by itself: the session learns that the
    // input has ended, and stops.
    connect(m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ClosingState && !m_closingByUs && !m_inputEnded) {
            m_inputEnded = true;
            emit readyRead();
        }
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &PeerStream::disconnected);
}

QtSocketStream::~QtSocketStream() {
    // The socket goes as a child after this; its last signals must not reach a half-gone link.
    m_socket->disconnect(this);
}

QHostAddress QtSocketStream::peerAddress() const {
    return m_forwardedAddress.isNull() ? m_socket->peerAddress() : m_forwardedAddress;
}

quint16 QtSocketStream::peerPort() const {
    return m_forwardedAddress.isNull() ? m_socket->peerPort() : m_forwardedPort;
}

void QtSocketStream::setReadBufferSize(qint64 bytes) {
    m_socket->setReadBufferSize(bytes);
}

qint64 QtSocketStream::bytesAvailable() const {
    return m_socket->bytesAvailable();
}

QByteArray QtSocketStream::read(qint64 maxBytes) {
    // Counted here as well: whether Qt's socket took these bytes from the system just now or
    // earlier is its own affair.
    if (m_batch) {
        m_batch->noteArrival();
    }
    return m_socket->read(maxBytes);
}

void QtSocketStream::write(const QByteArray& bytes) {
    m_socket->write(bytes);
}

qint64 QtSocketStream::bytesToWrite() const {
    // Over TLS, what waits to be sent is held twice: as text and, once encrypted, as records.
    return m_socket->bytesToWrite() + (m_tlsSocket ? m_tlsSocket->encryptedBytesToWrite() : 0);
}

void QtSocketStream::flush() {
    if (m_socket->bytesToWrite() == 0) {
        return;
    }
    m_flushing = true;
    m_socket->flush();
    m_flushing = false;
}

void QtSocketStream::disconnectFromHost() {
    m_closingByUs = true;
    m_socket->disconnectFromHost();
}

void QtSocketStream::abort() {
    m_closingByUs = true;
    m_socket->abort();
}

bool QtSocketStream::isOpen() const {
    return m_socket->state() != QAbstractSocket::UnconnectedState;
}
