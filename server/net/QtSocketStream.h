#pragma once

#include <QHostAddress>

#include "PeerStream.h"

#include <QPointer>

class ArrivalBatch;
class QSslSocket;
class QTcpSocket;

// A session's link through a Qt socket, which it owns: used for TLS, where QSslSocket does the
// encryption.
class QtSocketStream : public PeerStream {
    Q_OBJECT
public:
    // With a batch, every read is counted among its arrivals.
    explicit QtSocketStream(QTcpSocket* socket, ArrivalBatch* batch = nullptr,
                            QObject* parent = nullptr);
    ~QtSocketStream() override;

    QHostAddress peerAddress() const override;
    // The client a balancer named for this connection: said from now on instead of the balancer.
    void setForwardedPeer(const QHostAddress& address, quint16 port) {
        m_forwardedAddress = address;
        m_forwardedPort = port;
    }
    quint16 peerPort() const override;
    void setReadBufferSize(qint64 bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override;
    void flush() override;
    void disconnectFromHost() override;
    void abort() override;
    bool isOpen() const override;
    bool inputEnded() const override { return m_inputEnded; }
    bool closesWhenInputEnds() const override { return true; }

private:
    QTcpSocket* m_socket;
    QPointer<ArrivalBatch> m_batch;
    QSslSocket* m_tlsSocket; // the same socket when it is one, else null
    bool m_flushing = false; // bytesWritten() of our own flush() is not news for the session
    bool m_closingByUs = false;
    bool m_inputEnded = false;
    QHostAddress m_forwardedAddress;
    quint16 m_forwardedPort = 0;
};
