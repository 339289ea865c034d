#pragma once

#include "PeerStream.h"

#include <QPointer>
#include <QSocketNotifier>

#include <deque>

class ArrivalBatch;

// A session's link over a plain TCP connection, served directly on its descriptor: one read
// per readable turn, the turn's replies in one send, no socket state kept apart from the two
// buffers. It owns the descriptor and closes it.
class PlainSocketStream : public PeerStream {
    Q_OBJECT
public:
    // A connected, accepted descriptor. With a batch, readyRead() comes once the event loop's
    // pass has read from every socket.
    explicit PlainSocketStream(qintptr descriptor, ArrivalBatch* batch = nullptr,
                               QObject* parent = nullptr);
    ~PlainSocketStream() override;
    // The connected descriptor's peer address (null when it has none) and port.
    static quint16 peerOf(qintptr descriptor, QHostAddress* address);

    QHostAddress peerAddress() const override { return m_peerAddress; }
    // The client a balancer named for this connection: said from now on instead of the balancer.
    void setForwardedPeer(const QHostAddress& address, quint16 port) {
        m_peerAddress = address;
        m_peerPort = port;
    }
    quint16 peerPort() const override { return m_peerPort; }
    void setReadBufferSize(qint64 bytes) override;
    qint64 bytesAvailable() const override { return m_in.size() - m_inTaken; }
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return m_outBytes; }
    // Within a pass of the arrival batch, the bytes go out when the pass ends (flushNow()).
    void flush() override;
    // Hands what waits to the system now; bytesWritten() tells the session it went.
    void flushNow();
    void disconnectFromHost() override;
    void abort() override;
    bool isOpen() const override { return m_fd >= 0; }
    bool inputEnded() const override { return m_inputEnded; }

private:
    void readFromSocket();
    // Returns whether anything was sent; closes the link when the peer is gone.
    bool writeToSocket();
    void updateReadNotifier();
    void close();

    int m_fd;
    QPointer<ArrivalBatch> m_batch;
    QHostAddress m_peerAddress;
    quint16 m_peerPort = 0;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    qint64 m_readBufferSize = 64 * 1024;
    QByteArray m_in;
    qsizetype m_inTaken = 0; // bytes at the front of m_in already read by the session
    std::deque<QByteArray> m_out;
    qsizetype m_outSent = 0; // bytes of m_out.front() already sent
    qint64 m_outBytes = 0;
    bool m_closing = false;
    bool m_inputEnded = false;
};
