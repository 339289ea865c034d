#include "RequestHandler.h"

#include "ServerError.h"

#include "protocol/Limits.h"

#include <exception>

using protocol::ErrorCode;
using protocol::Operation;
using protocol::Response;

namespace {

RequestHandler::Reply failure(qint64 seq, ErrorCode code, const QString& text) {
    return {Response::failure(seq, protocol::errorNumber(code), text), protocol::endsSession(code)};
}

} // namespace

RequestHandler::RequestHandler(Store& store, const ClassCatalogue& catalogue,
                               const XecuteInterpreter& interpreter)
    : m_state(store, catalogue, interpreter, protocol::MaxOpenObjects) {
}

RequestHandler::Reply RequestHandler::handle(const protocol::Request& request) {
    if (request.op == Operation::Hello) {
        return hello(request);
    }
    if (!m_handshakeDone) {
        return failure(request.seq, ErrorCode::HandshakeRequired,
                       QStringLiteral("the first request must be the handshake"));
    }
    if (request.op == Operation::Bye) {
        return {Response::success(request.seq), true};
    }
    if (request.op == Operation::SignIn) {
        // Signed out from now on: no handle of the old identity is used under the new one.
        m_state.setIdentity(std::nullopt);
        return {Response::success(request.seq), false, true};
    }
    if (!m_state.identity()) {
        // Nothing before a sign-in: no object, no class, no work context. The session goes on,
        // so that the user can try again.
        return failure(request.seq, ErrorCode::SignInRequired,
                       QStringLiteral("sign in first: before it only hello, signin and bye are"
                                      " answered"));
    }
    try {
        if ((request.op == Operation::Open || request.op == Operation::Call) &&
            !m_state.identityStillHolds()) {
            m_state.setIdentity(std::nullopt);
            return {Response::failure(request.seq, ServerErrorNumber::AccountChanged,
                                      QStringLiteral("the account changed; sign in again")),
                    true};
        }
        return operation(request);
    } catch (const ServerError& error) {
        return {Response::failure(request.seq, error.number(), error.text()),
                protocol::endsSession(error.number())};
    } catch (const std::exception& error) {
        // Whatever else goes wrong inside one request fails that request, not the server.
        return {Response::failure(
                    request.seq, ServerErrorNumber::Store,
                    QStringLiteral("internal error: %1").arg(QString::fromLocal8Bit(error.what()))),
                false};
    }
}

RequestHandler::Reply RequestHandler::hello(const protocol::Request& request) {
    if (m_handshakeDone) {
        return failure(request.seq, ErrorCode::HandshakeRequired,
                       QStringLiteral("the handshake was made already"));
    }
    if (request.version != protocol::Version) {
        return failure(
            request.seq, ErrorCode::UnsupportedVersion,
            QStringLiteral("protocol version %1 is not spoken here; this server speaks %2")
                .arg(request.version)
                .arg(protocol::Version));
    }
    if (request.nameSpace != QLatin1String(protocol::DefaultNamespace)) {
        return failure(
            request.seq, ErrorCode::UnknownNamespace,
            QStringLiteral("namespace \"%1\" is not served here").arg(request.nameSpace.left(64)));
    }
    m_handshakeDone = true;
    return {Response::success(request.seq, QVariant::fromValue<qint64>(protocol::Version)), false};
}

Response RequestHandler::signedIn(qint64 seq, std::optional<SignedInUser> identity) {
    const bool accepted = identity.has_value();
    m_state.setIdentity(std::move(identity));
    return Response::success(seq, accepted);
}

RequestHandler::Reply RequestHandler::operation(const protocol::Request& request) {
    switch (request.op) {
    case Operation::Open:
        return {
            Response::withHandle(request.seq, m_state.openObject(request.className, request.id)),
            false};
    case Operation::ClassAccess:
        return {Response::withHandle(request.seq, m_state.classAccess(request.className)), false};
    case Operation::Get:
        return {Response::success(request.seq, m_state.property(request.handle, request.name)),
                false};
    case Operation::Call:
        return {Response::success(request.seq,
                                  m_state.call(request.handle, request.name, request.args)),
                false};
    case Operation::Close:
        m_state.close(request.handle);
        return {Response::success(request.seq), false};
    case Operation::Hello:
    case Operation::Bye:
    case Operation::SignIn:
        break;
    }
    return failure(request.seq, ErrorCode::UnknownOperation, QStringLiteral("unknown operation"));
}
