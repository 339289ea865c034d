#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

// The byte stream of one session, whatever carries it: a plain TCP connection served directly
// on its descriptor, or a Qt socket (TLS). Writes are held until flush(), so the replies to
// what arrived in one turn leave in one system call.
class PeerStream : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QHostAddress peerAddress() const = 0;
    virtual quint16 peerPort() const = 0;
    // Bytes read from the peer and not yet taken; at most `bytes` are held, the rest waits in
    // the system (so a peer that sends too much is slowed down by TCP itself).
    virtual void setReadBufferSize(qint64 bytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Written but not yet taken by the system, in whatever form it waits (over TLS: as text
    // and as encrypted records).
    virtual qint64 bytesToWrite() const = 0;
    // Hands what waits to the system now, as far as it takes it; the rest goes as the peer
    // reads (bytesWritten()).
    virtual void flush() = 0;
    // Closes once everything written has been sent; reads nothing more meanwhile.
    virtual void disconnectFromHost() = 0;
    // Closes now; what waits to be sent is dropped.
    virtual void abort() = 0;
    virtual bool isOpen() const = 0;
    // The peer has sent its last byte (it shut its sending side, or closed); what it sent before
    // may still wait to be read. readyRead() tells when this becomes true.
    virtual bool inputEnded() const = 0;
    // Whether the link closes by itself the moment the peer's stream ends, dropping what is
    // written after (Qt's sockets do): then requests are answered as they arrive, all that one
    // read brought in one turn, since a later turn may find the link gone.
    virtual bool closesWhenInputEnds() const { return false; }

signals:
    void readyRead();
    // Bytes that waited went out without a flush() (the peer read again).
    void bytesWritten();
    // The connection is closed; emitted once.
    void disconnected();
};
