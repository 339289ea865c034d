#pragma once

// How long a session may keep the server waiting before it is cut, in milliseconds. Without
// them, a peer that connects and sends nothing, or a frame a byte at a time, would hold one of
// the server's few session places for ever.
struct PeerDeadlines {
    // From connecting to the handshake, from the first byte of a frame to its last, and while
    // replies wait for a peer that does not read them. The reference client sends each frame in
    // one piece right after connecting and reads every reply at once.
    int stallMs = 30000;
    // Between two requests after the handshake. The reference client drops an unused
    // connection after a minute itself and notices a closed one before its next request.
    int idleMs = 180000;
    // From connecting (or a failed sign-in after a successful one) to a successful sign-in,
    // whatever the peer sends meanwhile: a place is for signed-in users. The reference client
    // signs in right after its handshake.
    int signInWindowMs = 30000;
};
