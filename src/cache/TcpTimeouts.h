#pragma once

// Bounds of every blocking wait of the TCP connectivity component, in milliseconds.
struct TcpTimeouts {
    // TCP connect plus handshake. Short, because the caller retries a failed connect. A host
    // name is looked up by the system resolver first, which this bound does not cover.
    int connectMs = 3000;
    // One request until its complete reply.
    int requestMs = 10000;
    // The goodbye on disconnect; the connection is closed after it either way.
    int disconnectMs = 1000;
};
