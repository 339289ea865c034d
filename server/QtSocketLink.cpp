#include "QtSocketLink.h"

#include "ArrivalBatch.h"

#include <QSslSocket>
#include <QTcpSocket>

QtSocketLink::QtSocketLink(QTcpSocket* socket, ArrivalBatch* batch, QObject* parent)
    : SessionLink(parent)
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
    connect(m_socket, &QTcpSocket::disconnected, this, &SessionLink::disconnected);
}

QtSocketLink::~QtSocketLink() {
    // The socket goes as a child after this; its last signals must not reach a half-gone link.
    m_socket->disconnect(this);
}

QHostAddress QtSocketLink::peerAddress() const {
    return m_socket->peerAddress();
}

quint16 QtSocketLink::peerPort() const {
    return m_socket->peerPort();
}

void QtSocketLink::setReadBufferSize(qint64 bytes) {
    m_socket->setReadBufferSize(bytes);
}

qint64 QtSocketLink::bytesAvailable() const {
    return m_socket->bytesAvailable();
}

QByteArray QtSocketLink::read(qint64 maxBytes) {
    // Counted here as well: whether Qt's socket took these bytes from the system just now or
    // earlier is its own affair.
    if (m_batch) {
        m_batch->noteArrival();
    }
    return m_socket->read(maxBytes);
}

void QtSocketLink::write(const QByteArray& bytes) {
    m_socket->write(bytes);
}

qint64 QtSocketLink::bytesToWrite() const {
    // Over TLS, what waits to be sent is held twice: as text and, once encrypted, as records.
    return m_socket->bytesToWrite() + (m_tlsSocket ? m_tlsSocket->encryptedBytesToWrite() : 0);
}

void QtSocketLink::flush() {
    if (m_socket->bytesToWrite() == 0) {
        return;
    }
    m_flushing = true;
    m_socket->flush();
    m_flushing = false;
}

void QtSocketLink::disconnectFromHost() {
    m_closingByUs = true;
    m_socket->disconnectFromHost();
}

void QtSocketLink::abort() {
    m_closingByUs = true;
    m_socket->abort();
}

bool QtSocketLink::isOpen() const {
    return m_socket->state() != QAbstractSocket::UnconnectedState;
}
