#pragma once

#include "cache/ConnectString.h"
#include "cache/TcpTimeouts.h"
#include "protocol/FrameReader.h"
#include "protocol/Request.h"
#include "protocol/Response.h"

#include <memory>

class QTcpSocket;

// One session with the object server. Calls block on the socket with a deadline and never run
// an event loop, so no timer handler can run inside a call. Any timeout, broken connection or
// invalid reply closes the socket for good: a late reply can never be read as the answer to a
// later request.
class TcpConnection {
public:
    explicit TcpConnection(const TcpTimeouts& timeouts);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects and does the handshake within the connect timeout; false on any failure.
    bool open(const ConnectTarget& target);
    // Whether the session is still usable; notices a peer that closed while we were idle.
    bool isUp();
    // Sends the request and waits for its reply. Throws CacheError on a timeout, a broken
    // connection, an invalid reply, and on an error reply (with the server's number and text).
    protocol::Response roundTrip(protocol::Request request);
    // Why the last open() failed after the connection was made, for the user; empty otherwise.
    QString lastFailure() const { return m_lastFailure; }
    // Says goodbye and closes; never throws.
    void close();

private:
    protocol::Response exchange(protocol::Request request, int timeoutMs);
    [[noreturn]] void fail(protocol::ErrorCode code, const QString& detail);
    void drop();

    TcpTimeouts m_timeouts;
    std::unique_ptr<QTcpSocket> m_socket;
    protocol::FrameReader m_reader;
    qint64 m_nextSeq = 1;
    bool m_up = false;
    QString m_lastFailure;
};
