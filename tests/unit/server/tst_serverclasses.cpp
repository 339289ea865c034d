#include "ClassCatalogue.h"
#include "ClientWorkspace.h"
#include "DemoData.h"
#include "OdbcForms.h"
#include "RequestHandler.h"
#include "ServerError.h"
#include "Store.h"
#include "TelemetryReplyCache.h"
#include "TelemetrySimulator.h"
#include "XecuteInterpreter.h"

#include "protocol/Limits.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// The error number a call throws, or 0 when it does not throw.
int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ServerError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

// The class catalogue over a demo store, reached as a session reaches it.
class TestServerClasses : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Store> m_store;
    ClassCatalogue m_catalogue;
    XecuteInterpreter m_interpreter;

    ClientWorkspace session(int maxOpen = protocol::MaxOpenObjects) {
        return ClientWorkspace(*m_store, m_catalogue, m_interpreter, maxOpen);
    }

    static QString callText(ClientWorkspace& state, qint64 handle, const QString& method,
                            const QVariantList& args = {}) {
        return state.call(handle, method, args).toString();
    }

private slots:
    void initTestCase() {
        // Seeded once: the demo passwords are hashed slowly on purpose.
        QVERIFY(m_dir.isValid());
        Store demo(m_dir.filePath("demo.db"));
        DemoData::seed(demo);
    }
    void init() {
        QFile::remove(m_dir.filePath("classes.db"));
        QVERIFY(QFile::copy(m_dir.filePath("demo.db"), m_dir.filePath("classes.db")));
        m_store = std::make_unique<Store>(m_dir.filePath("classes.db"));
    }
    void cleanup() { m_store.reset(); }

    void signInReadsOfTheDemoUser() {
        ClientWorkspace state = session();
        const qint64 user = state.openObject("LX.ParPersEdv", "1||DEMO");
        QCOMPARE(errorOf([&] { state.property(user, "Passwort"); }),
                 ServerErrorNumber::NotPermitted);
        QCOMPARE(state.property(user, "AKTIV").toString(), "J");
        QCOMPARE(state.property(user, "BERGRP").toString(), "9");
        QCOMPARE(state.property(user, "PNR").toString(), "1001");
        QCOMPARE(state.property(user, "DW").toString(), "201");
        const QVariant name = state.property(user, "PNAME");
        QCOMPARE(callText(state, user, "PNAMELogicalToODBC", {name}), "Dora Muster");

        const qint64 department =
            state.openObject("LX.ParPersAbt", "1||" + state.property(user, "AbtNr").toString());
        QCOMPARE(callText(state, department, "ABTBEZlogicaltoodbc",
                          {state.property(department, "abtbez")}),
                 "Verwaltung, EDV");
        QCOMPARE(state.property(department, "HAbtNr").toString(), "1");

        const qint64 base = state.openObject("LX.PersBasis", "1||1001");
        QCOMPARE(callText(state, base, "EMailLogicalToODBC", {state.property(base, "EMAIL")}),
                 "Dora.Muster@lorvex.example");
        QCOMPARE(state.property(base, "fax").toString(), "+43 1 234 5678-99");
        QCOMPARE(state.openCount(), 3);
    }

    void everyFailureHasItsNumber() {
        ClientWorkspace state = session();
        const qint64 user = state.openObject("LX.ParPersEdv", "1||DEMO");
        const qint64 windows = state.classAccess("LX.Windows");
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "1||NIEMAND"); }),
                 ServerErrorNumber::ObjectNotFound);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "2||LESER"); }),
                 ServerErrorNumber::ObjectNotFound); // another company
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "1|DEMO"); }),
                 ServerErrorNumber::ObjectNotFound);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "x||DEMO"); }),
                 ServerErrorNumber::ObjectNotFound);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "1||demo"); }),
                 ServerErrorNumber::ObjectNotFound); // codes are case-sensitive
        QCOMPARE(errorOf([&] { state.openObject("LX.Windows", "1||1"); }),
                 ServerErrorNumber::ObjectNotFound);
        QCOMPARE(errorOf([&] { state.openObject("LX.Nichts", "1||DEMO"); }),
                 ServerErrorNumber::UnknownClass);
        QCOMPARE(errorOf([&] { state.classAccess("lx.windows"); }),
                 ServerErrorNumber::UnknownClass);
        QCOMPARE(errorOf([&] { state.property(user, "Kennwort"); }),
                 ServerErrorNumber::UnknownProperty);
        QCOMPARE(errorOf([&] { state.property(windows, "Xecute"); }),
                 ServerErrorNumber::UnknownProperty);
        QCOMPARE(errorOf([&] { state.call(user, "Loeschen", {}); }),
                 ServerErrorNumber::UnknownMethod);
        QCOMPARE(errorOf([&] { state.call(windows, "PNAMELogicalToODBC", {"x"}); }),
                 ServerErrorNumber::UnknownMethod);
        QCOMPARE(errorOf([&] { state.call(user, "PNAMELogicalToODBC", {}); }),
                 ServerErrorNumber::WrongArguments);
        QCOMPARE(errorOf([&] {
                     state.call(windows, "Xecute", {"S A=1", "S B=2"});
                 }),
                 ServerErrorNumber::WrongArguments);
        QCOMPARE(errorOf([&] { state.call(windows, "Xecute", {"K"}); }), ServerErrorNumber::Syntax);
        QCOMPARE(errorOf([&] { state.property(999, "AKTIV"); }), ServerErrorNumber::UnknownObject);
        QCOMPARE(state.openCount(), 2); // failures open nothing
    }

    void closingReleasesAndStaleHandlesStayUnknown() {
        ClientWorkspace state = session(2);
        const qint64 first = state.openObject("LX.ParPersEdv", "1||DEMO");
        const qint64 second = state.classAccess("LX.Windows");
        QCOMPARE(errorOf([&] { state.classAccess("Telemetrie.Kassa"); }),
                 ServerErrorNumber::TooManyObjects);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "1||LESER"); }),
                 ServerErrorNumber::TooManyObjects);
        state.close(first);
        QCOMPARE(errorOf([&] { state.close(first); }), ServerErrorNumber::UnknownObject);
        QCOMPARE(errorOf([&] { state.property(first, "AKTIV"); }),
                 ServerErrorNumber::UnknownObject);
        const qint64 third = state.classAccess("Telemetrie.Kassa");
        QVERIFY(third != first && third != second); // a handle is never given twice
        QCOMPARE(state.openCount(), 2);
    }

    void telemetryFollowsFirmaAndFil() {
        ClientWorkspace state = session();
        const qint64 windows = state.classAccess("LX.Windows");
        const qint64 kassa = state.classAccess("Telemetrie.Kassa");
        const qint64 clocks = state.classAccess("Telemetrie.Zeiterfassung");
        QCOMPARE(errorOf([&] { state.call(kassa, "NichtVerbuchtStatus", {}); }),
                 ServerErrorNumber::Undefined);

        state.call(windows, "Xecute", {"S FIRMA=1,FIL=0,PERSONAL=\"DEMO\""});
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"),
                 "3|2|815|817|5|1|020|020|3|4|810|816|7|0|1200|1200|5|3|021|023|12|007|4410|"
                 "4416|");
        QCOMPARE(callText(state, clocks, "Zaehlerstand"),
                 "1|10250|10250|5120|5120|2|8800|8800|4400|4400|3|7300|7297|3650|3650|4|620|620|"
                 "310|310");

        state.call(windows, "Xecute", {"S FIL=1"});
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"),
                 "1|5|300|304|2|0|118|118|1|1|299|299|");
        QVERIFY(callText(state, clocks, "Zaehlerstand").startsWith("11|2040|"));

        state.call(windows, "Xecute", {"S FIL=5"});
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), "");
        QCOMPARE(callText(state, clocks, "Zaehlerstand"), "");
        state.call(windows, "Xecute", {"S FIL=\"ABC\""});
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), "");
        state.call(windows, "Xecute", {"S FIL=\"0\""}); // a number in quotes is the number
        QVERIFY(callText(state, kassa, "NichtVerbuchtStatus").startsWith("3|2|815|817|"));
        QCOMPARE(errorOf([&] { state.call(kassa, "NichtVerbuchtStatus", {1}); }),
                 ServerErrorNumber::WrongArguments);
    }

    void aSignedInUserReachesOnlyWhatIsHis() {
        ClientWorkspace state = session();
        state.setIdentity(SignedInUser{1, "DEMO", 9, {}});
        const qint64 windows = state.classAccess("LX.Windows");
        const qint64 kassa = state.classAccess("Telemetrie.Kassa");
        state.call(windows, "Xecute", {"S FIRMA=1,FIL=7,PERSONAL=\"DEMO\""});
        state.call(windows, "Xecute", {"S FIRMA=\"01\",FIL=0"}); // the same company
        const int refused = ServerErrorNumber::NotPermitted;
        for (const char* line : {"S FIRMA=2", "S FIRMA=1,PERSONAL=\"LESER\"", "S PERSONAL=\"demo\"",
                                 "S FIL=3,FIRMA=\"2\""}) {
            QCOMPARE(errorOf([&] { state.call(windows, "Xecute", {line}); }), refused);
        }
        QVERIFY(callText(state, kassa, "NichtVerbuchtStatus").startsWith("3|2|815|817|"));
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "1||LESER"); }), refused);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersEdv", "2||DEMO"); }), refused);
        QCOMPARE(errorOf([&] { state.openObject("LX.ParPersAbt", "2||10"); }), refused);
        QCOMPARE(errorOf([&] { state.openObject("LX.PersBasis", "2||2001"); }), refused);
        state.openObject("LX.PersBasis", "1||1002"); // the own company's base data

        // A new sign-in as a user below rights group 8: no telemetry, no handle taken before (a
        // new sign-in closes them all), and the work context starts afresh.
        state.setIdentity(SignedInUser{1, "LESER", 5, {}});
        QCOMPARE(errorOf([&] { state.classAccess("Telemetrie.Zeiterfassung"); }), refused);
        QCOMPARE(errorOf([&] { state.call(kassa, "NichtVerbuchtStatus", {}); }),
                 ServerErrorNumber::UnknownObject);
        QVERIFY(!state.variables().contains("FIRMA"));
    }

    // A kept reply is served as long as nothing has changed, and never after a write: through
    // the server's own store (as the simulator writes) or through another connection to the
    // same file (as an admin command or any other process writes).
    void keptRepliesAreNeverStale() {
        TelemetryReplyCache kept(*m_store);
        ClassCatalogue catalogue(&kept);
        ClientWorkspace state(*m_store, catalogue, m_interpreter, protocol::MaxOpenObjects);
        state.call(state.classAccess("LX.Windows"), "Xecute", {"S FIRMA=1,FIL=0"});
        const qint64 kassa = state.classAccess("Telemetrie.Kassa");
        const qint64 clocks = state.classAccess("Telemetrie.Zeiterfassung");
        const QString first = callText(state, kassa, "NichtVerbuchtStatus");
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus").constData(), first.constData());

        m_store->appendRegister(RegisterRecord{1, 0, 0, "42", "1", "7", "8"});
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), first + "42|1|7|8|");

        const QString clocksBefore = callText(state, clocks, "Zaehlerstand");
        TelemetrySimulator(*m_store, 1).step();
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), m_store->registerReply(1, 0));
        QCOMPARE(callText(state, clocks, "Zaehlerstand"), m_store->clockReply(1, 0));
        QVERIFY(callText(state, clocks, "Zaehlerstand") != clocksBefore);

        Store other(m_dir.filePath("classes.db"));
        other.clearRegisters(1, 0);
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), "");
        other.inTransaction([&] {
            other.putRegister(RegisterRecord{1, 0, 1, "5", "2", "3", "4"});
        });
        QCOMPARE(callText(state, kassa, "NichtVerbuchtStatus"), "5|2|3|4|");
    }

    void sessionsHaveTheirOwnVariables() {
        ClientWorkspace first = session();
        ClientWorkspace second = session();
        first.call(first.classAccess("LX.Windows"), "Xecute", {"S FIRMA=1,FIL=0"});
        second.call(second.classAccess("LX.Windows"), "Xecute", {"S FIRMA=1,FIL=1"});
        QVERIFY(callText(first, first.classAccess("Telemetrie.Kassa"), "NichtVerbuchtStatus")
                    .startsWith("3|"));
        QVERIFY(callText(second, second.classAccess("Telemetrie.Kassa"), "NichtVerbuchtStatus")
                    .startsWith("1|"));
    }

    void odbcForms_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logical");
        QTest::addColumn<QString>("odbc");
        QTest::newRow("name") << "name"
                              << "Muster,Dora"
                              << "Dora Muster";
        QTest::newRow("name with blanks") << "name"
                                          << " von Berg , Anna "
                                          << "Anna von Berg";
        QTest::newRow("name without comma") << "name"
                                            << " Hausmeister "
                                            << "Hausmeister";
        QTest::newRow("name, no first name") << "name"
                                             << "Muster,"
                                             << "Muster";
        QTest::newRow("name empty") << "name"
                                    << ""
                                    << "";
        QTest::newRow("department") << "department"
                                    << "Verwaltung^EDV"
                                    << "Verwaltung, EDV";
        QTest::newRow("department empty parts") << "department"
                                                << "^Lager^^"
                                                << "Lager";
        QTest::newRow("mail") << "mail"
                              << " A.B@LORVEX.Example "
                              << "A.B@lorvex.example";
        QTest::newRow("mail two ats") << "mail"
                                      << "\"a@b\"@X.AT"
                                      << "\"a@b\"@x.at";
        QTest::newRow("mail without at") << "mail"
                                         << " KEINE "
                                         << "KEINE";
    }
    void odbcForms() {
        QFETCH(QString, kind);
        QFETCH(QString, logical);
        QFETCH(QString, odbc);
        const QString result = kind == "name"         ? OdbcForms::personName(logical)
                               : kind == "department" ? OdbcForms::departmentName(logical)
                                                      : OdbcForms::email(logical);
        QCOMPARE(result, odbc);
    }

    void handshakeComesFirstAndOnce() {
        using protocol::Request;
        const auto number = [](protocol::ErrorCode code) { return protocol::errorNumber(code); };

        RequestHandler early(*m_store, m_catalogue, m_interpreter);
        RequestHandler::Reply reply = early.handle(Request::classAccess("LX.Windows"));
        QCOMPARE(reply.response.errorNumber, number(protocol::ErrorCode::HandshakeRequired));
        QVERIFY(reply.endsSession);

        RequestHandler wrongSpace(*m_store, m_catalogue, m_interpreter);
        reply = wrongSpace.handle(Request::hello("USER", protocol::Version));
        QCOMPARE(reply.response.errorNumber, number(protocol::ErrorCode::UnknownNamespace));
        QVERIFY(reply.endsSession);

        RequestHandler wrongVersion(*m_store, m_catalogue, m_interpreter);
        reply = wrongVersion.handle(Request::hello("LORVEX", protocol::Version + 1));
        QCOMPARE(reply.response.errorNumber, number(protocol::ErrorCode::UnsupportedVersion));
        QVERIFY(reply.endsSession);

        RequestHandler handler(*m_store, m_catalogue, m_interpreter);
        Request hello = Request::hello("LORVEX", protocol::Version);
        hello.seq = 4;
        reply = handler.handle(hello);
        QVERIFY(reply.response.ok);
        QCOMPARE(reply.response.seq, 4);
        QVERIFY(!reply.endsSession);
        for (const Request& beforeSignIn :
             {Request::open("LX.ParPersEdv", "1||DEMO"), Request::classAccess("LX.Windows"),
              Request::get(1, "AKTIV"), Request::call(1, "Xecute", {"S FIRMA=1"})}) {
            reply = handler.handle(beforeSignIn);
            QCOMPARE(reply.response.errorNumber, ServerErrorNumber::SignInRequired);
            QVERIFY(!reply.endsSession); // the user may try to sign in again
        }
        reply = handler.handle(Request::signIn("1", "DEMO", "demo"));
        QVERIFY(reply.signInPending); // answered by the sign-in service
        QCOMPARE(
            handler.signedIn(9, SignedInUser{1, "DEMO", 9, m_store->user(1, "DEMO")->passwordHash}),
            protocol::Response::success(9, true));
        reply = handler.handle(Request::open("LX.ParPersAbt", "1||NIEMAND"));
        QCOMPARE(reply.response.errorNumber, ServerErrorNumber::ObjectNotFound);
        QVERIFY(!reply.endsSession); // an object error leaves the session going
        reply = handler.handle(Request::close(77));
        QCOMPARE(reply.response.errorNumber, number(protocol::ErrorCode::UnknownHandle));
        QVERIFY(!reply.endsSession);
        reply = handler.handle(Request::hello("LORVEX", protocol::Version));
        QCOMPARE(reply.response.errorNumber, number(protocol::ErrorCode::HandshakeRequired));
        QVERIFY(reply.endsSession);

        RequestHandler leaving(*m_store, m_catalogue, m_interpreter);
        leaving.handle(Request::hello("LORVEX", protocol::Version));
        reply = leaving.handle(Request::bye());
        QVERIFY(reply.response.ok);
        QVERIFY(reply.endsSession);
    }
};

QTEST_GUILESS_MAIN(TestServerClasses)
#include "tst_serverclasses.moc"
