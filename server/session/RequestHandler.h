#pragma once

#include "ClientWorkspace.h"

#include "protocol/Request.h"
#include "protocol/Response.h"

// Answers the requests of one session, in order, without knowing about sockets: the handshake
// first (version and namespace LORVEX), then the object operations on the session's state.
class RequestHandler {
public:
    struct Reply {
        protocol::Response response;
        bool endsSession = false;
        // A sign-in: the answer comes later, from the SignInService, through signedIn().
        bool signInPending = false;
    };

    RequestHandler(Store& store, const ClassCatalogue& catalogue,
                   const XecuteInterpreter& interpreter);

    Reply handle(const protocol::Request& request);

    bool handshakeDone() const { return m_handshakeDone; }
    // The outcome of the sign-in that handle() left pending: the session now belongs to that
    // user, or to nobody again. Returns the reply to send.
    protocol::Response signedIn(qint64 seq, std::optional<SignedInUser> identity);
    ClientWorkspace& state() { return m_state; }
    const ClientWorkspace& state() const { return m_state; }

private:
    Reply hello(const protocol::Request& request);
    Reply operation(const protocol::Request& request);

    ClientWorkspace m_state;
    bool m_handshakeDone = false;
};
