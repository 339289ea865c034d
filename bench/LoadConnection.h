#pragma once

#include "protocol/Request.h"
#include "protocol/Response.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// One client connection of the load generator: a plain socket that sends one request at a time
// and waits for its whole reply, as the client component does. Set-up requests block
// (exchange()); the measured requests go through send() and readSome() under epoll.
class LoadConnection {
public:
    using Clock = std::chrono::steady_clock;

    // Connects to 127.0.0.1:port, from the loopback address 127.0.0.1 + source (a store of its
    // own); throws std::runtime_error when it cannot.
    explicit LoadConnection(quint16 port, quint32 source = 0);
    ~LoadConnection();
    LoadConnection(const LoadConnection&) = delete;
    LoadConnection& operator=(const LoadConnection&) = delete;

    int fd() const { return m_fd; }

    // Sends the request and waits for its reply; throws when the reply is not a success.
    protocol::Response exchange(const protocol::Request& request);

    // Writes a whole frame (requests are small: the socket takes them at once).
    void send(const QByteArray& frame);
    // Reads what has arrived; true once the reply to the request sent is complete.
    bool readSome();
    // After send(): the replies of several requests sent together, bytes in all.
    void expectBytes(qsizetype bytes) { m_expected = bytes; }
    // The complete reply frame, header included.
    const QByteArray& reply() const { return m_reply; }
    // Decodes reply() and throws unless it is a success.
    protocol::Response decodedReply() const;

    // What the measured loop keeps per connection.
    int step = 0;
    qint64 handle = 0;
    QByteArray unitFrame; // a request sent unchanged on every unit
    Clock::time_point started;

private:
    void waitReadable();

    int m_fd = -1;
    QByteArray m_reply;
    qsizetype m_expected = 0;
};

// A monitor's session: hello, sign-in as DEMO (unless signIn is false), the work context of the
// branch. Throws when any of it fails.
void setUpSession(LoadConnection& connection, qint64 firma, qint64 filiale, bool signIn = true);
