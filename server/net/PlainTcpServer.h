#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <memory>

// A listening socket that hands each accepted connection over as its bare descriptor, for a
// PlainSocketStream, instead of making a QTcpSocket of it.
//
// It accepts on its own rather than through QTcpServer: when the process runs out of
// descriptors, Qt leaves the waiting connections queued and retries at once, a busy loop that
// lasts as long as the shortage. Here connections are never let take the last
// kReservedDescriptors (a thread started later, a database reconnecting: Qt ends the process
// when a new thread finds no descriptor for its event loop): one that would is answered with
// the shed reply and closed at once, so the queue empties and every session already held goes
// on undisturbed. Should the descriptors run out all the same, accepting pauses briefly.
class PlainTcpServer : public QTcpServer {
    Q_OBJECT
public:
    static constexpr int kReservedDescriptors = 32;

    explicit PlainTcpServer(QObject* parent = nullptr);
    ~PlainTcpServer() override;

    // QTcpServer::listen, then accepting on the socket's own notifier.
    bool listenOn(const QHostAddress& address, quint16 port);
    // While held, connections wait in the system's queue (the receiver cannot take more now).
    void setHeld(bool held);
    // Written (as far as the socket takes it at once) to a connection shed for want of
    // descriptors; nothing when empty.
    void setShedReply(const QByteArray& bytes) { m_shedReply = bytes; }

signals:
    // The receiver owns the descriptor from now on.
    void accepted(qintptr descriptor);
    // A connection was shed or left waiting for want of descriptors; sent once until one is
    // accepted again.
    void outOfDescriptors();

private:
    void acceptWaiting();
    void noteShortage();
    void shed(int descriptor);

    std::unique_ptr<QSocketNotifier> m_notifier;
    // Accepting again a little later when the system had no descriptor or memory for one.
    QTimer m_retry;
    // Accepted descriptors from this number on are shed (the limit less the reserve).
    int m_ceiling = 0;
    QByteArray m_shedReply;
    bool m_short = false;
    bool m_held = false;
};
