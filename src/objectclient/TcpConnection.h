#pragma once

#include "objectclient/ConnectString.h"
#include "objectclient/TcpSecurity.h"
#include "objectclient/TcpTimeouts.h"
#include "protocol/FrameReader.h"
#include "protocol/Request.h"
#include "protocol/Response.h"

#include <QDeadlineTimer>

#include <memory>

class QEventLoop;
class QSslSocket;
class QTcpSocket;

// One session with the object server. A call is synchronous for its caller but waits in a local
// event loop, so every window keeps painting and answering input meanwhile. While one call
// waits, this connection takes no other: a second call (from an event handled during the wait)
// fails at once with Busy and sends nothing, and close() cuts the waiting call off. Any
// timeout, broken connection or invalid reply closes the socket for good, so a late reply can
// never be read as the answer to a later request.
class TcpConnection : public std::enable_shared_from_this<TcpConnection> {
public:
    explicit TcpConnection(const TcpTimeouts& timeouts, const TcpSecurity& security = {});
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects and does the handshake within the connect timeout (the host name lookup
    // included); false on any failure.
    bool open(const ConnectTarget& target);
    // Whether the session is still usable; notices a peer that closed while we were idle.
    // During a waiting call it says what that call last knew and touches nothing.
    bool isUp();
    // Sends the request and waits for its reply. Throws CacheError on a timeout, a broken
    // connection, an invalid reply, a call already waiting (Busy), and on an error reply (with
    // the server's number and text).
    protocol::Response roundTrip(protocol::Request request);
    // Why the last open() failed after the connection was made, for the user; empty otherwise.
    QString lastFailure() const { return m_lastFailure; }
    // Says goodbye and closes; never throws. Called while a call waits, it only cuts the
    // connection, and that call fails as broken.
    void close();
    // A call (or the opening) is waiting for the server.
    bool isBusy() const { return m_busy; }

private:
    protocol::Response exchange(protocol::Request request, const QDeadlineTimer& deadline,
                                int timeoutMs);
    // Runs window events until the socket reports something, the deadline passes or the
    // connection is dropped.
    void waitForSocket(const QDeadlineTimer& deadline);
    // Trust and protocol of an encrypted connection; false (with lastFailure) when the
    // certificate file named in the settings cannot be used.
    bool configureTls(QSslSocket& socket);
    [[noreturn]] void fail(protocol::ErrorCode code, const QString& detail);
    void drop();

    TcpTimeouts m_timeouts;
    TcpSecurity m_security;
    std::unique_ptr<QTcpSocket> m_socket;
    protocol::FrameReader m_reader;
    qint64 m_nextSeq = 1;
    bool m_up = false;
    QString m_lastFailure;
    bool m_busy = false;
    QEventLoop* m_waitLoop = nullptr;
};
