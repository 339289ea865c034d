#pragma once

// Bounds of every wait of the TCP connectivity component for the server, in milliseconds.
struct TcpTimeouts {
    // Host name lookup, TCP connect and handshake together. Short, because the caller retries a
    // failed connect.
    int connectMs = 3000;
    // One request until its complete reply.
    int requestMs = 10000;
    // The goodbye on disconnect; the connection is closed after it either way.
    int disconnectMs = 1000;
};
