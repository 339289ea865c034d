#pragma once

#include "protocol/Request.h"
#include "protocol/Response.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <optional>

// A raw connection to a server under test, for what a real client never does: frames cut short,
// requests sent in one write, half-closes, other source addresses (127.0.0.x), small buffers.
//
//     RawPeer peer;
//     QVERIFY(peer.connect(server.port(), QHostAddress("127.0.0.7")));
//     peer.sendRequest(protocol::Request::hello("LORVEX", protocol::Version));
//     std::optional<protocol::Response> reply = peer.readResponse();
struct RawPeer {
    QTcpSocket socket;

    // Connects to 127.0.0.1:port from the given local address (any when null); a receive buffer
    // size above 0 is set before connecting, so the system holds little for a slow reader.
    bool connect(quint16 port, const QHostAddress& from = {}, int receiveBufferBytes = 0);
    void send(const QByteArray& bytes);
    void sendRequest(const protocol::Request& request);
    // hello, then signin; true when both were answered and the sign-in was accepted.
    bool signIn(const QString& company, const QString& user, const QString& password,
                int timeoutMs = 10000);
    // Shuts the sending side (a half-close): the server sees the end of the stream.
    void shutdownSending();
    // True when the server closes the connection within the time.
    bool closedByServer(int timeoutMs = 5000);
    // One whole frame, header included; empty when none arrives within the time.
    QByteArray readFrame(int timeoutMs = 5000);
    // The next reply, decoded; nullopt when none arrives within the time.
    std::optional<protocol::Response> readResponse(int timeoutMs = 5000);
};
