#include "AccessRig.h"
#include "access/ServerCommand.h"

#include <QtTest>

namespace {

const QString FirstMessage = "Server nach 3 Versuchen nicht erreichbar!\r\n"
                             "Wahrscheinlich sind keine freien Lizenzen verfügbar!\r\n"
                             "Bitte Kontrollieren Sie die Verbindungsdaten";
const QString FinalMessage =
    "Der Server ist nicht erreichbar!\r\n"
    "Wahrscheinlich sind keine Lizenzen frei. Die Anwendung wird beendet!\r\n"
    "Bitte Versuchen Sie die Anmeldung zu einem späteren Zeitpunk noch ein mal.";

bool endsProgram(const std::function<void()>& action) {
    try {
        action();
    } catch (const ProgramEnded&) {
        return true;
    }
    return false;
}

} // namespace

// Connecting with its two series of tries, the access bracket, the idle drop, Pause.
class TestAccessConnection : public QObject {
    Q_OBJECT
private slots:
    void newConnectionSetsTheWorkContext() {
        AccessRig rig;
        rig.signInData("1", "0", "ABC");
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(rig.server.callsStartingWith("connect"),
                 QStringList{"connect cn_iptcp:srv[1972]:LORVEX"});
        QCOMPARE(rig.xecutes(),
                 QStringList({"call LX.Windows.Xecute(S FIRMA=1,FIL=0,PERSONAL=\"ABC\")",
                              "call LX.Windows.Xecute(D ^%XTT)"}));
        QCOMPARE(rig.server.callsStartingWith("close"), QStringList{"close LX.Windows"});
        QCOMPARE(rig.server.liveObjects, 0);
        QVERIFY(!rig.forms.idleTimer().isEnabled());
        QCOMPARE(rig.fake.cursor.history, QList<int>{}); // both flags False: cursor untouched

        // Already connected: no new factory, no second assignment.
        rig.api.connection().EndCacheAccess(false);
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(rig.server.factoriesCreated, 1);
        QCOMPARE(rig.xecutes().size(), 2);
    }

    void bracketHandlesCursorAndIdleTimer() {
        AccessRig rig;
        rig.signInData();
        rig.api.connection().BeginCacheAccess(true, false);
        QCOMPARE(rig.fake.cursor.current(), MouseCursor::Hourglass);
        rig.api.connection().EndCacheAccess(true);
        QCOMPARE(rig.fake.cursor.current(), MouseCursor::Arrow);
        QVERIFY(rig.forms.idleTimer().isEnabled());
    }

    void unreachableServerTimeline() {
        AccessRig rig;
        rig.signInData();
        rig.server.connectResult = false;
        rig.state.gBenutzer = "ABC|Name";
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        qint64 dialogClosed = 0;
        int triesBeforeDialog = 0;
        rig.forms.onServerDialog = [&] {
            triesBeforeDialog = static_cast<int>(rig.tryTimes.size());
            QCOMPARE(rig.fake.messages.shown.size(), 1); // the message comes first
            rig.fake.time.advance(5000);                 // the user looks at the data for 5 s
            dialogClosed = rig.fake.time.nowMs();
        };

        QVERIFY(endsProgram([&] { rig.api.connection().BeginCacheAccess(false, false); }));

        QCOMPARE(triesBeforeDialog, 3);
        const QList<qint64>& t = rig.tryTimes;
        QCOMPARE(t.size(), 6);
        for (int i : {1, 2, 4, 5}) {
            const qint64 gap = t[i] - t[i - 1];
            QVERIFY2(gap >= 10000 && gap <= 10250, qPrintable(QString::number(gap)));
        }
        QCOMPARE(t[3], dialogClosed); // the first try after the dialog comes at once

        QCOMPARE(rig.fake.messages.shown.size(), 2);
        const ShownMessage& first = rig.fake.messages.shown[0];
        QCOMPARE(first.text, FirstMessage);
        QCOMPARE(first.title, QString("Anmeldung an Caché"));
        QCOMPARE(first.icon, MsgIcon::Warning);
        QCOMPARE(first.buttons, MsgButtons::Ok);
        const ShownMessage& final = rig.fake.messages.shown[1];
        QCOMPARE(final.text, FinalMessage);
        QCOMPARE(final.icon, MsgIcon::Critical);
        QCOMPARE(rig.forms.events,
                 QStringList({"showServerDialogModal", "hideServerDialog", "unloadAllWindows"}));
        QCOMPARE(rig.state.gBenutzer, QString());
        QCOMPARE(rig.fake.processEnd.endCount, 1);
        QCOMPARE(rig.fake.processEnd.lastExitCode, ExitCode::Failure);
        QCOMPARE(rig.server.callsStartingWith("call").size(), 0);
    }

    void serverBackAfterTheDialogConnects() {
        AccessRig rig;
        rig.signInData();
        rig.server.connectedAfterConnect = false; // connect says yes, is-connected says no
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        rig.forms.onServerDialog = [&] {
            rig.server.connectedAfterConnect = true;
            rig.state.gFirma = "2"; // stored in the dialog, taken over by LoadLoginSettings
            // Corrected there, stored or not: the next tries go where the dialog says.
            rig.forms.serverBoxes.server = "db2";
            rig.forms.serverBoxes.port = "47711";
            rig.forms.serverBoxes.nameSpace = "TEST";
        };
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(rig.tryTimes.size(), 4);
        QCOMPARE(
            rig.server.callsStartingWith("connect"),
            QStringList({"connect cn_iptcp:srv[1972]:LORVEX", "connect cn_iptcp:srv[1972]:LORVEX",
                         "connect cn_iptcp:srv[1972]:LORVEX", "connect cn_iptcp:db2[47711]:TEST"}));
        QCOMPARE(rig.fake.processEnd.endCount, 0);
        QCOMPARE(rig.xecutes(),
                 QStringList({"call LX.Windows.Xecute(S FIRMA=2,FIL=0,PERSONAL=\"ABC\")",
                              "call LX.Windows.Xecute(D ^%XTT)"}));
        QCOMPARE(rig.fake.messages.unexpected, 0);
    }

    void accessFromATimerDuringTheTriesDoesNotStartASecondSeries() {
        AccessRig rig;
        rig.signInData();
        rig.server.connectResult = false;
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        int nestedFailures = 0;
        const auto nestedAccess = [&] {
            try {
                rig.api.connection().BeginCacheAccess(false, false);
            } catch (const CacheError& error) {
                QCOMPARE(error.number(), ClientErrors::ServerUnreachable);
                ++nestedFailures;
            }
        };
        // A monitor's refresh fires during a pause and while the server dialog is open.
        rig.fake.time.setOnProcessEvents([&] {
            if (rig.tryTimes.size() == 1 && nestedFailures == 0) {
                nestedAccess();
            }
        });
        rig.forms.onServerDialog = [&] {
            nestedAccess();
            rig.server.connectResult = true;
        };
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(nestedFailures, 2);
        QCOMPARE(rig.tryTimes.size(), 4);
        QCOMPARE(rig.fake.messages.shown.size(), 1);
        QCOMPARE(rig.forms.events.count("showServerDialogModal"), 1);
        QCOMPARE(rig.fake.processEnd.endCount, 0);

        // Once connected, an access from a timer simply uses the connection.
        rig.fake.time.setOnProcessEvents({});
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(rig.server.factoriesCreated, 4);
    }

    void unlimitedTriesNeverAsk() {
        AccessRig rig;
        rig.signInData();
        rig.server.connectResult = false;
        rig.fake.time.setOnProcessEvents([&] {
            if (rig.tryTimes.size() == 8) {
                rig.server.connectResult = true;
            }
        });
        rig.api.connection().BeginCacheAccess(false, true);
        QVERIFY(rig.tryTimes.size() >= 8);
        QVERIFY(rig.fake.messages.shown.isEmpty());
        QVERIFY(rig.forms.events.isEmpty());
    }

    void failFastRaisesAtOnce() {
        AccessRig rig;
        rig.signInData();
        rig.server.connectResult = false;
        rig.api.connection().setFailFast(true);
        const qint64 before = rig.fake.time.nowMs();
        try {
            rig.api.connection().BeginCacheAccess(false, false);
            QFAIL("no error raised");
        } catch (const CacheError& error) {
            QCOMPARE(error.number(), ClientErrors::ServerUnreachable);
            QVERIFY(error.description().contains("cn_iptcp:srv[1972]:LORVEX"));
        }
        QCOMPARE(rig.fake.time.nowMs(), before);
        QCOMPARE(rig.tryTimes.size(), 1);
        QVERIFY(rig.fake.messages.shown.isEmpty());
        QVERIFY(rig.forms.events.isEmpty());
        QCOMPARE(rig.fake.processEnd.endCount, 0);
    }

    void invalidCompanyIsRefusedBeforeAnythingIsSent() {
        AccessRig rig;
        rig.signInData("1,PERSONAL=\"X\"", "0", "ABC");
        QVERIFY_THROWS_EXCEPTION(CacheError, rig.api.connection().BeginCacheAccess(false, false));
        QCOMPARE(rig.server.factoriesCreated, 0);
        QVERIFY(rig.server.calls.isEmpty());

        // A branch made invalid in the server settings dialog is refused as well.
        AccessRig later;
        later.signInData();
        later.server.connectResult = false;
        later.fake.messages.queueAnswer(MsgAnswer::Ok);
        later.forms.onServerDialog = [&] {
            later.server.connectResult = true;
            later.state.gFiliale = "0,X=1";
        };
        QVERIFY_THROWS_EXCEPTION(CacheError, later.api.connection().BeginCacheAccess(false, false));
        QVERIFY(later.xecutes().isEmpty());
    }

    void failuresAfterConnectingReachTheCaller() {
        AccessRig rig;
        rig.signInData();
        rig.server.failures.insert("call LX.Windows.Xecute(D", CacheError(8, "<SYNTAX>"));
        QVERIFY_THROWS_EXCEPTION(CacheError, rig.api.connection().BeginCacheAccess(false, false));
        QCOMPARE(rig.server.liveObjects, 0); // the class handle is released all the same
        // Without its work context the connection is dropped, so the next access retries.
        QCOMPARE(rig.server.callsStartingWith("disconnect").size(), 1);
        rig.server.failures.clear();
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(rig.server.factoriesCreated, 2);
    }

    void idleConnectionDroppedAfterSixtySeconds() {
        AccessRig rig;
        rig.signInData();
        Connection& connection = rig.api.connection();
        connection.BeginCacheAccess(false, false);
        connection.EndCacheAccess(false);
        rig.fake.time.advance(59000);
        // An access at 59 s keeps the connection and starts a new idle minute.
        connection.BeginCacheAccess(false, false);
        connection.EndCacheAccess(false);
        rig.fake.time.advance(59999);
        QVERIFY(rig.server.callsStartingWith("disconnect").isEmpty());
        rig.fake.time.advance(1);
        QCOMPARE(rig.server.callsStartingWith("disconnect").size(), 1);
        QVERIFY(!rig.forms.idleTimer().isEnabled()); // fires once per idle period
        QCOMPARE(rig.server.factoriesCreated, 1);

        rig.state.gPasswort = "geheim";
        QStringList seen;
        rig.server.onSignIn = [&](const QString& firma, const QString& user, const QString& pw) {
            seen.append(firma + '|' + user + '|' + pw);
            return true;
        };
        connection.BeginCacheAccess(false, false); // the next access connects anew
        QCOMPARE(rig.server.factoriesCreated, 2);
        QCOMPARE(rig.xecutes().size(), 4);
        // ... and signs in again from memory before anything else.
        QCOMPARE(seen, QStringList{"1|ABC|geheim"});
        const qsizetype signIn = rig.server.calls.lastIndexOf("signIn 1 ABC");
        QVERIFY(signIn > rig.server.calls.lastIndexOf("connect cn_iptcp:srv[1972]:LORVEX"));
        QVERIFY(signIn < rig.server.calls.lastIndexOf("classAccess LX.Windows"));
        QVERIFY(connection.SignInOnServer()); // the same data on the same connection: not again
        QCOMPARE(seen.size(), 1);
    }

    void aRefusedSignInSendsNoWorkContextAndIsNotRepeated() {
        AccessRig rig;
        rig.signInData();
        int asked = 0;
        rig.server.onSignIn = [&](const QString&, const QString&, const QString&) {
            ++asked;
            return false;
        };
        // A refused connection is dropped, never used unsigned, and the failure says why.
        try {
            rig.api.connection().BeginCacheAccess(false, false);
            QFAIL("a refused sign-in must not pass as a connection");
        } catch (const CacheError& error) {
            QCOMPARE(error.number(), ClientErrors::SignInRefused);
            QVERIFY(error.description().contains("Anmeldung abgelehnt"));
        }
        QVERIFY(rig.xecutes().isEmpty());
        QCOMPARE(rig.server.callsStartingWith("disconnect").size(), 1);
        QVERIFY(!rig.api.connection().SignInOnServer()); // the answer is kept, not asked again
        QCOMPARE(asked, 1);
        // Refreshes with the same data do not count more failed sign-ins against the user ...
        QVERIFY_THROWS_EXCEPTION(CacheError, rig.api.connection().BeginCacheAccess(false, false));
        QCOMPARE(rig.server.factoriesCreated, 1);
        QCOMPARE(asked, 1);
        // ... but a sign-in of the user, or new data, ask again.
        rig.api.connection().allowSignInAgain();
        QVERIFY_THROWS_EXCEPTION(CacheError, rig.api.connection().BeginCacheAccess(false, false));
        QCOMPARE(asked, 2);
        rig.state.gPasswort = "anders";
        rig.server.onSignIn = [&](const QString&, const QString&, const QString& password) {
            ++asked;
            return password == "anders";
        };
        rig.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(asked, 3);
        QCOMPARE(rig.xecutes().size(), 2);
        // A sign-in that fails on the way drops the connection: the next access makes it anew.
        AccessRig broken;
        broken.signInData();
        broken.server.failures.insert("signIn", CacheError(5011, "busy"));
        QVERIFY_THROWS_EXCEPTION(CacheError,
                                 broken.api.connection().BeginCacheAccess(false, false));
        QCOMPARE(broken.server.callsStartingWith("disconnect").size(), 1);
        broken.server.failures.clear();
        broken.api.connection().BeginCacheAccess(false, false);
        QCOMPARE(broken.server.factoriesCreated, 2);
        QCOMPARE(broken.xecutes().size(), 2);
        // A user code the server would cut at its bar never reaches it.
        rig.state.gPersonalcode = "A|B";
        QVERIFY_THROWS_EXCEPTION(CacheError, rig.api.connection().SignInOnServer());
        QCOMPARE(asked, 3);
    }

    void disconnectIgnoresItsFailures() {
        AccessRig rig;
        rig.api.connection().DisconnectCache(); // no factory yet
        QVERIFY(rig.server.calls.isEmpty());
        rig.signInData();
        rig.api.connection().BeginCacheAccess(false, false);
        rig.server.failures.insert("isConnected", CacheError(-1, "broken"));
        rig.api.connection().DisconnectCache();
        QVERIFY(rig.state.gFactory != nullptr); // the factory object stays
        QVERIFY(rig.fake.messages.shown.isEmpty());
    }

    void closeCacheObjectEmptiesTheReferenceEvenWhenCloseFails() {
        AccessRig rig;
        rig.signInData();
        rig.api.connection().BeginCacheAccess(false, false);
        rig.server.failingClose.append("LX.ParPersEdv");
        CacheObjectPtr object = rig.state.gFactory->classAccess("LX.ParPersEdv");
        const int eventsBefore = rig.fake.time.processEventsCalls();
        rig.api.connection().CloseCacheObject(object);
        QVERIFY(!object);
        QCOMPARE(rig.server.liveObjects, 0);
        QCOMPARE(rig.fake.time.processEventsCalls(), eventsBefore + 1);
        rig.api.connection().CloseCacheObject(object); // an empty reference is harmless
    }

    void pauseWaitsWithoutSpinning() {
        AccessRig rig;
        const qint64 start = rig.fake.time.nowMs();
        rig.api.connection().Pause(100);
        const qint64 waited = rig.fake.time.nowMs() - start;
        QVERIFY2(waited >= 1000 && waited <= 1250, qPrintable(QString::number(waited)));
        // A few sleeping waits, not a loop that polls the clock.
        QVERIFY(rig.fake.time.processEventsCalls() <= 5);
        rig.api.connection().Pause(0);
        QCOMPARE(rig.fake.time.nowMs(), start + waited);
    }

    void pauseEndsAtMidnight() {
        AccessRig rig;
        rig.fake.time.setTimeOfDay(QTime(23, 59, 58));
        const qint64 start = rig.fake.time.nowMs();
        rig.api.connection().Pause(1000);
        const qint64 waited = rig.fake.time.nowMs() - start;
        QVERIFY2(waited >= 2000 && waited <= 2250, qPrintable(QString::number(waited)));
    }

    void errorReportText() {
        AccessRig rig;
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        rig.api.errors().ShowCacheError(5, "D", "Abteilungsermittlung");
        const ShownMessage& box = rig.fake.messages.shown.at(0);
        QCOMPARE(box.text, QString("Vorgang: Abteilungsermittlung.\r\n\r\nFehler: 5\r\nD\r\n\r\n"));
        QCOMPARE(box.title, QString("Caché Zugriffsfehler"));
        QCOMPARE(box.icon, MsgIcon::Warning);
        QCOMPARE(box.buttons, MsgButtons::Ok);

        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        rig.api.errors().ShowCacheError(CacheError(-42, QString()), QString());
        QCOMPARE(rig.fake.messages.shown.at(1).text,
                 QString("Vorgang: .\r\n\r\nFehler: -42\r\n\r\n\r\n"));
    }

    void errorReportEndsTheAccess() {
        AccessRig rig;
        rig.signInData();
        rig.api.connection().BeginCacheAccess(true, false);
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        rig.api.errors().ShowCacheError(1, "x", "y");
        QCOMPARE(rig.fake.cursor.current(), MouseCursor::Arrow);
        QVERIFY(rig.forms.idleTimer().isEnabled());
        rig.fake.time.advance(60000);
        QCOMPARE(rig.server.callsStartingWith("disconnect").size(), 1);
    }
};

QTEST_APPLESS_MAIN(TestAccessConnection)
#include "tst_access_connection.moc"
