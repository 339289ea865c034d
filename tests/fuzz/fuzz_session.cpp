// Drives whole sessions in process: up to three sessions from different addresses, sharing one
// sign-in throttle and a clock that the input moves on, each given requests made from the input
// (known class, id, property and method names mixed with arbitrary text), sent through the wire
// encoding, then through the request handler, its session state and the access rules, against a
// throw-away SQLite store with the demo data (made once per process).
//
// A sign-in is checked here as the server checks it, but without the slow hash: the demo
// passwords are checked against their stored hashes once at start, and afterwards a password
// matches when it equals the user's demo password.
//
// Besides "no crash" it checks, after every request: the reply answers it and can be sent;
// nothing but hello, signin and bye succeeds before a sign-in; a handle is used only as the
// signed-in user may use what it stands for, whoever opened it; the password is never served;
// the work context stays the user's own; open handles stay within the limit, and a refused
// request leaves them as they were.
#include "AccessRules.h"
#include "ClassCatalogue.h"
#include "PasswordHash.h"
#include "RequestHandler.h"
#include "ServerError.h"
#include "SignInThrottle.h"
#include "Store.h"
#include "ThrowAwayStore.h"
#include "ValueText.h"
#include "XecuteInterpreter.h"

#include "protocol/ErrorCodes.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

using protocol::Operation;
using protocol::Request;
using protocol::Response;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct DemoUser {
    qint64 firma;
    QString code;
    QString password;
};

// The demo data's users and passwords (server/admin/DemoData.cpp).
const QList<DemoUser> kDemoUsers{
    {1, "DEMO", "demo"},  {1, "LESER", "leser"},     {1, "ALT", "alt"},
    {1, "CHEF", "chef"},  {1, "OHNEABT", "ohneabt"}, {1, "OHNEBASIS", "ohnebasis"},
    {2, "DEMO", "demo2"},
};

struct World {
    ThrowAwayStore throwAway;
    Store& store = throwAway.store();
    ClassCatalogue catalogue;
    XecuteInterpreter interpreter;

    World() {
        // The shortcut for the hash holds only if every demo password matches its hash.
        for (const DemoUser& user : kDemoUsers) {
            const std::optional<UserRecord> record = store.user(user.firma, user.code);
            require(record && PasswordHash::verify(record->passwordHash.toLatin1(), user.password));
        }
    }
};

World& world() {
    static World instance;
    return instance;
}

QString pick(FuzzedDataProvider& input, const QStringList& known, size_t maxFreeBytes = 32) {
    if (input.ConsumeIntegralInRange<int>(0, 7) != 0) {
        return known.at(input.ConsumeIntegralInRange<qsizetype>(0, known.size() - 1));
    }
    return QString::fromStdString(input.ConsumeRandomLengthString(maxFreeBytes));
}

const QStringList kClasses{"LX.ParPersEdv", "LX.ParPersAbt",    "LX.PersBasis",
                           "LX.Windows",    "Telemetrie.Kassa", "Telemetrie.Zeiterfassung",
                           "lx.parpersedv", "Telemetrie."};
const QStringList kIds{"1||DEMO", "2||DEMO",  "1||LESER",   "1||CHEF", "1||ALT", "1||10",
                       "1||20",   "2||10",    "1||1001",    "2||2001", "1||",    "||DEMO",
                       "1|DEMO",  "01||DEMO", "1||DEMO||x", "-1||DEMO"};
const QStringList kProperties{"PNAME",  "Passwort", "AKTIV", "BERGRP", "AbtNr",    "PNR", "DW",
                              "abtbez", "HAbtNr",   "fax",   "EMAIL",  "passwort", ""};
const QStringList kMethods{"Xecute",
                           "NichtVerbuchtStatus",
                           "Zaehlerstand",
                           "PNAMELogicalToODBC",
                           "ABTBEZlogicaltoodbc",
                           "EMailLogicalToODBC",
                           "%New"};
const QStringList kCommands{"S FIRMA=1,FIL=0,PERSONAL=\"DEMO\"",
                            "S FIRMA=2,FIL=0,PERSONAL=\"DEMO\"",
                            "S FIRMA=1,FIL=1",
                            "S PERSONAL=\"CHEF\"",
                            "S FIRMA=\"1\"",
                            "S FIRMA=1.0",
                            "D ^%XTT",
                            "S X=1 D ^%XTT",
                            "S FIL=0 S FIRMA=2"};
const QStringList kCompanies{"1", "2", "01", " 1", "1.0", "", "9223372036854775807"};

QVariant consumeArgument(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        return pick(input, kCommands, 64);
    case 1:
        return QVariant::fromValue<qint64>(input.ConsumeIntegral<qint64>());
    case 2:
        return input.ConsumeFloatingPoint<double>();
    case 3:
        return input.ConsumeBool();
    default:
        return {};
    }
}

// What one session opened: the class and id behind each handle, for the access checks.
struct Opened {
    QString className;
    QString id;
    bool classHandle = false;
};

struct FuzzSession {
    std::unique_ptr<RequestHandler> handler;
    QString address;
    QHash<qint64, Opened> handles;
    qint64 nextSeq = 1;
    bool ended = false;
    // A session waits for the answer to its sign-in; what it sends meanwhile is served after.
    qint64 busyUntilMs = 0;
};

qint64 pickHandle(FuzzedDataProvider& input, const FuzzSession& session) {
    if (!session.handles.isEmpty() && input.ConsumeBool()) {
        const QList<qint64> open = session.handles.keys();
        return open.at(input.ConsumeIntegralInRange<qsizetype>(0, open.size() - 1));
    }
    return input.ConsumeIntegralInRange<qint64>(-1, 8);
}

Request consumeRequest(FuzzedDataProvider& input, const FuzzSession& session) {
    switch (input.ConsumeIntegralInRange<int>(0, 9)) {
    case 0:
        return Request::hello(input.ConsumeBool() ? QString::fromLatin1(protocol::DefaultNamespace)
                                                  : pick(input, {"lorvex", "USER"}),
                              input.ConsumeBool() ? protocol::Version
                                                  : input.ConsumeIntegral<int>());
    case 1:
    case 2: {
        const bool known = input.ConsumeBool();
        const DemoUser& user =
            kDemoUsers.at(input.ConsumeIntegralInRange<qsizetype>(0, kDemoUsers.size() - 1));
        return Request::signIn(known ? QString::number(user.firma) : pick(input, kCompanies),
                               known ? user.code : pick(input, {"DEMO", "LESER", "demo", "X"}),
                               input.ConsumeBool() ? user.password
                                                   : pick(input, {"demo", "", "chef"}, 64));
    }
    case 3:
        return Request::open(pick(input, kClasses), pick(input, kIds));
    case 4:
        return Request::classAccess(pick(input, kClasses));
    case 5:
        return Request::get(pickHandle(input, session), pick(input, kProperties));
    case 6:
    case 7: {
        const qint64 handle = pickHandle(input, session);
        const QString method = pick(input, kMethods);
        QList<QVariant> args;
        const int count = input.ConsumeIntegralInRange<int>(0, 3);
        for (int i = 0; i < count; ++i) {
            args << consumeArgument(input);
        }
        return Request::call(handle, method, args);
    }
    case 8:
        return Request::close(pickHandle(input, session));
    default:
        return Request::bye();
    }
}

// The sign-in as the server makes it: the throttle reserves the answer time, the record decides.
std::optional<SignedInUser> checkSignIn(const Request& request, const QString& address,
                                        SignInThrottle& throttle, int maxKeys, qint64 nowMs,
                                        qint64& answerAt) {
    const std::optional<qint64> firma = wholeNumber(request.company);
    const QString userKey = QStringLiteral("%1|%2").arg(
        firma ? QString::number(*firma) : request.company, request.user);
    SignInThrottle::Reservation reservation = throttle.reserve(userKey, address, nowMs);
    if (reservation.refused) {
        throttle.finish(reservation, true, nowMs);
        answerAt = nowMs;
        return std::nullopt;
    }
    require(reservation.answerAtMs >= nowMs);
    std::optional<SignedInUser> identity;
    if (firma && !request.user.isEmpty()) {
        const std::optional<UserRecord> record = world().store.user(*firma, request.user);
        const bool matches =
            std::any_of(kDemoUsers.begin(), kDemoUsers.end(), [&](const DemoUser& u) {
                return u.firma == *firma && u.code == request.user &&
                       u.password == request.password;
            });
        if (record && record->aktiv == QLatin1String("J") && matches) {
            identity =
                SignedInUser{record->firma, record->code,
                             SignedInUser::rightsGroupFrom(record->berGrp), record->passwordHash};
        }
    }
    answerAt = throttle.recordOutcome(reservation, identity.has_value(), nowMs);
    require(answerAt >= nowMs);
    throttle.finish(reservation, true, answerAt);
    require(throttle.keyCount() <= maxKeys);
    return identity;
}

// Whether the signed-in user may use what the handle stands for.
bool mayUse(const SignedInUser& identity, const Opened& opened) {
    try {
        if (opened.classHandle) {
            AccessRules::checkClass(identity, opened.className);
        } else {
            AccessRules::checkOpen(identity, opened.className, opened.id);
        }
        return true;
    } catch (const ServerError&) {
        return false;
    }
}

void checkReply(FuzzSession& session, const Request& request, const Response& reply) {
    require(reply.seq == request.seq);
    require(protocol::encodeResponse(reply).ok());
    RequestHandler& handler = *session.handler;
    const std::optional<SignedInUser>& identity = handler.state().identity();
    const bool object = request.op == Operation::Open || request.op == Operation::ClassAccess ||
                        request.op == Operation::Get || request.op == Operation::Call ||
                        request.op == Operation::Close;
    if (object && !identity) {
        require(!reply.ok);
    }
    if (reply.ok && (request.op == Operation::Get || request.op == Operation::Call)) {
        const Opened& opened = session.handles.value(request.handle);
        require(mayUse(*identity, opened));
        require(!(request.op == Operation::Get && opened.className == "LX.ParPersEdv" &&
                  request.name == "Passwort"));
    }
    require(handler.state().openCount() <= protocol::MaxOpenObjects);
    if (identity) {
        try {
            AccessRules::checkWorkContext(*identity, handler.state().variables());
        } catch (const ServerError&) {
            std::abort();
        }
    }
}

void serve(FuzzSession& session, const Request& sent, SignInThrottle& throttle, int maxKeys,
           qint64 nowMs) {
    // The request as the server would read it off the wire; what cannot be sent is not served.
    const protocol::Outcome<QByteArray> payload = protocol::encodeRequest(sent);
    if (!payload.ok()) {
        return;
    }
    const qsizetype limit = session.handler->state().identity()
                                ? protocol::MaxFrameBytes
                                : protocol::MaxFrameBytesBeforeSignIn;
    if (payload.value().size() > limit) {
        session.ended = true; // the frame reader cuts such a session
        return;
    }
    const protocol::Outcome<Request> decoded = protocol::decodeRequest(payload.value());
    require(decoded.ok());
    const Request& request = decoded.value();

    const int openBefore = session.handler->state().openCount();
    RequestHandler::Reply reply = session.handler->handle(request);
    if (reply.signInPending) {
        qint64 answerAtMs = nowMs;
        const std::optional<SignedInUser> identity =
            checkSignIn(request, session.address, throttle, maxKeys, nowMs, answerAtMs);
        session.busyUntilMs = answerAtMs;
        reply.response = session.handler->signedIn(request.seq, identity);
        require(reply.response.ok && reply.response.value == QVariant(identity.has_value()));
    }
    checkReply(session, request, reply.response);
    // A refused request changes nothing; a handle comes and goes with its request.
    const int openAfter = session.handler->state().openCount();
    if (request.op != Operation::SignIn) {
        const bool opens = request.op == Operation::Open || request.op == Operation::ClassAccess;
        const int change = !reply.response.ok               ? 0
                           : opens                          ? 1
                           : request.op == Operation::Close ? -1
                                                            : 0;
        require(openAfter == openBefore + change);
    }
    if (reply.response.ok &&
        (request.op == Operation::Open || request.op == Operation::ClassAccess)) {
        session.handles.insert(reply.response.handle, Opened{request.className, request.id,
                                                             request.op == Operation::ClassAccess});
    }
    if (reply.response.ok && request.op == Operation::Close) {
        session.handles.remove(request.handle);
    }
    session.ended = reply.endsSession;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    world();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    World& shared = world();
    SignInThrottle::Settings settings;
    settings.maxKeys = input.ConsumeIntegralInRange<int>(2, 16); // so that keys are forgotten
    SignInThrottle throttle(settings);
    std::vector<FuzzSession> sessions(input.ConsumeIntegralInRange<size_t>(1, 3));
    for (size_t i = 0; i < sessions.size(); ++i) {
        sessions[i].handler =
            std::make_unique<RequestHandler>(shared.store, shared.catalogue, shared.interpreter);
        sessions[i].address = QStringLiteral("127.0.0.%1").arg(i + 1);
    }
    qint64 nowMs = 0;
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        FuzzSession& session =
            sessions[input.ConsumeIntegralInRange<size_t>(0, sessions.size() - 1)];
        nowMs += input.ConsumeIntegralInRange<qint64>(0, 20 * 60 * 1000);
        if (session.ended) {
            continue;
        }
        Request request = consumeRequest(input, session);
        request.seq = session.nextSeq++;
        // Time runs on to the answer the session waits for: the clock never goes back.
        nowMs = std::max(nowMs, session.busyUntilMs);
        serve(session, request, throttle, settings.maxKeys, nowMs);
    }
    return 0;
}
