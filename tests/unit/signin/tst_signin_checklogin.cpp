#include "../access/AccessRig.h"
#include "access/ServerCommand.h"
#include "signin/RightsGroup.h"
#include "signin/SignIn.h"

#include <QtTest>

namespace {

// A company with one active user ABC (password "geheim"), department 10 and base data 4711.
// The conversion methods mark their result, so the test sees they were used.
void seedServer(FakeCacheServer& server) {
    server.addObject("LX.ParPersEdv", "1||ABC",
                     {{"Passwort", "geheim"},
                      {"AKTIV", "J"},
                      {"PNAME", "Muster"},
                      {"PNR", "4711"},
                      {"AbtNr", "10"},
                      {"DW", "123"},
                      {"BERGRP", "9"}});
    server.addObject("LX.ParPersAbt", "1||10",
                     {{"abtbez", "Einkauf"}, {"AbtNr", "10"}, {"HAbtNr", "1"}});
    server.addObject("LX.PersBasis", "1||4711", {{"fax", "0815"}, {"EMAIL", "a@b.de"}});
    server.onCall = [](const QString&, const QString& method, const QList<CacheValue>& args) {
        if (method == "Xecute") {
            return CacheValue(QString());
        }
        return CacheValue(method + ':' + cacheValueToText(args.value(0)));
    };
}

struct SignInRig : AccessRig {
    SignIn signIn{api, "1 0 ABC geheim srv 1972"};

    SignInRig() {
        seedServer(server);
        server.onSignIn = nullptr; // the personnel record above decides
    }
    // The user types into the sign-in dialog when it comes up.
    void userEnters(const QString& user, const QString& password) {
        forms.onSignInDialog = [this, user, password] {
            store(LoginSettings::KeyName, user);
            forms.passwordText = password;
        };
    }
    void useStoredSettings() { state.gCommandLine = "-"; }
};

} // namespace

// Signing a user in against the personnel tables of the server.
class TestSignInCheckLogin : public QObject {
    Q_OBJECT
private slots:
    void acceptedUserFillsTheState() {
        SignInRig rig;
        rig.state.gBenutzer = "OLD|Old";
        QVERIFY(rig.signIn.CheckLogin());
        QCOMPARE(rig.state.gCommandLine, QString("1 0 ABC geheim srv 1972"));
        QCOMPARE(rig.state.gBenutzer, QString("ABC|PNAMELogicalToODBC:Muster"));
        QCOMPARE(rig.state.gBenutzerName, QString("PNAMELogicalToODBC:Muster"));
        QCOMPARE(rig.state.gBerGrp, QString("9"));
        const PersonalRecord& p = rig.state.gPersonal;
        QCOMPARE(p.PNR, QString("4711"));
        QCOMPARE(p.DW, QString("123"));
        QCOMPARE(p.AbtBez, QString("ABTBEZlogicaltoodbc:Einkauf"));
        QCOMPARE(p.AbtNr, QString("10"));
        QCOMPARE(p.HAbtNr, QString("1"));
        QCOMPARE(p.Fax, QString("0815"));
        QCOMPARE(p.EMail, QString("EMailLogicalToODBC:a@b.de"));

        QCOMPARE(rig.xecutes(),
                 QStringList({"call LX.Windows.Xecute(S FIRMA=1,FIL=0,PERSONAL=\"ABC\")",
                              "call LX.Windows.Xecute(D ^%XTT)",
                              "call LX.Windows.Xecute(S FIRMA=1,FIL=0,PERSONAL=\"ABC\")"}));
        QCOMPARE(rig.server.callsStartingWith("openId"),
                 QStringList({"openId LX.ParPersEdv 1||ABC", "openId LX.ParPersAbt 1||10",
                              "openId LX.PersBasis 1||4711"}));
        // The server checks the password: signed in once, before anything else, and the stored
        // password is never asked for.
        QCOMPARE(rig.server.callsStartingWith("signIn"), QStringList{"signIn 1 ABC"});
        QVERIFY(rig.server.calls.indexOf("signIn 1 ABC") <
                rig.server.calls.indexOf("classAccess LX.Windows"));
        QVERIFY(!rig.server.calls.contains("property LX.ParPersEdv.Passwort"));
        QCOMPARE(rig.server.callsStartingWith("close"),
                 QStringList({"close LX.Windows", "close LX.ParPersAbt", "close LX.PersBasis",
                              "close LX.ParPersEdv", "close LX.Windows"}));
        QCOMPARE(rig.server.liveObjects, 0);
        QCOMPARE(rig.forms.events, QStringList{"hideSignInDialogs"});
        QVERIFY(rig.forms.idleTimer().isEnabled());
        QVERIFY(rig.fake.messages.shown.isEmpty());
        QVERIFY(!rig.state.gCommandLineRefused);
    }

    void signInThroughTheDialog() {
        SignInRig rig;
        rig.useStoredSettings();
        rig.userEnters("ABC", "geheim");
        QVERIFY(rig.signIn.CheckLogin());
        QCOMPARE(rig.forms.events, QStringList({"showSignInDialogModal", "hideSignInDialogs"}));
        QCOMPARE(rig.state.gConnectString, QString("cn_iptcp:localhost[1973]:LORVEX"));
    }

    void rejected_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("aktiv");
        QTest::newRow("case") << "GEHEIM"
                              << "J";
        QTest::newRow("trailing blank") << "geheim "
                                        << "J";
        QTest::newRow("empty") << ""
                               << "J";
        QTest::newRow("inactive lower case") << "geheim"
                                             << "j";
        QTest::newRow("inactive N") << "geheim"
                                    << "N";
        QTest::newRow("inactive with blank") << "geheim"
                                             << "J ";
    }
    void rejected() {
        QFETCH(QString, password);
        QFETCH(QString, aktiv);
        SignInRig rig;
        rig.server.objects["LX.ParPersEdv|1||ABC"]["AKTIV"] = aktiv;
        rig.useStoredSettings();
        rig.userEnters("ABC", password);
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        // The box comes once the access is over, so it holds no refresh back.
        bool accessEnded = false;
        rig.fake.messages.setOnShow([&](const ShownMessage&) {
            accessEnded = !rig.api.connection().gate().busy() && rig.forms.idleTimer().isEnabled();
        });
        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(accessEnded);

        QCOMPARE(rig.fake.messages.shown.size(), 1);
        const ShownMessage& box = rig.fake.messages.shown[0];
        QCOMPARE(box.text, QString("Passwort Falsch oder Benutzer nicht Aktiv."));
        QCOMPARE(box.title, QString("Anmeldung an Caché."));
        QCOMPARE(box.icon, MsgIcon::Information);
        QCOMPARE(rig.forms.events,
                 QStringList({"showSignInDialogModal", "hideSignInDialogs", "selectAllPassword"}));
        QCOMPARE(rig.state.gBenutzer, QString());
        QCOMPARE(rig.server.liveObjects, 0);
        QVERIFY(rig.forms.idleTimer().isEnabled());
        QVERIFY(rig.xecutes().isEmpty()); // no work context without a sign-in
        QVERIFY(rig.server.callsStartingWith("openId").isEmpty());
    }

    void unknownUserGetsTheAnswerOfAWrongPassword() {
        // An outsider cannot tell an unknown user code from a wrong password.
        SignInRig rig;
        rig.useStoredSettings();
        rig.userEnters("XYZ", "geheim");
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QCOMPARE(rig.fake.messages.shown.size(), 1);
        QCOMPARE(rig.fake.messages.shown.at(0).text,
                 QString("Passwort Falsch oder Benutzer nicht Aktiv."));
        QCOMPARE(rig.state.gBenutzer, QString());
        QVERIFY(rig.forms.events.contains("hideSignInDialogs"));
    }

    void aUserCodeWithABarIsRefusedBeforeAnythingIsSent() {
        SignInRig rig;
        rig.useStoredSettings();
        rig.userEnters("ABC|X", "geheim");
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(rig.server.calls.isEmpty());
        QVERIFY(rig.fake.messages.shown.at(0).text.contains("Ungültiger Personalcode"));
    }

    void failureInEachLaterStep_data() {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("departmentSet");
        QTest::addColumn<bool>("baseDataSet");
        QTest::newRow("department") << "openId LX.ParPersAbt"
                                    << "Abteilungsermittlung" << false << false;
        QTest::newRow("department read") << "property LX.ParPersAbt.abtbez"
                                         << "Abteilungsermittlung" << false << false;
        QTest::newRow("base data") << "openId LX.PersBasis"
                                   << "PersBasis Nummern" << true << false;
        QTest::newRow("base data read") << "property LX.PersBasis.fax"
                                        << "PersBasis Nummern" << true << false;
        QTest::newRow("server command") << "classAccess LX.Windows"
                                        << "Firma Filiale Personal Setzen" << true << true;
    }
    void failureInEachLaterStep() {
        QFETCH(QString, failingCall);
        QFETCH(QString, operation);
        QFETCH(bool, departmentSet);
        QFETCH(bool, baseDataSet);
        SignInRig rig;
        rig.signInData();
        rig.state.gPasswort = "geheim";
        rig.api.connection().BeginCacheAccess(false, false); // connected already
        rig.api.connection().EndCacheAccess(false);
        rig.server.failures.insert(failingCall, CacheError(77, "kaputt"));
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        bool accessEnded = false;
        rig.fake.messages.setOnShow([&](const ShownMessage&) {
            accessEnded = !rig.api.connection().gate().busy() && rig.forms.idleTimer().isEnabled();
        });

        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(accessEnded);
        QCOMPARE(rig.fake.messages.shown.at(0).text,
                 "Vorgang: " + operation + ".\r\n\r\nFehler: 77\r\nkaputt\r\n\r\n");
        // What the steps before wrote stays.
        QCOMPARE(rig.state.gBenutzer, QString("ABC|PNAMELogicalToODBC:Muster"));
        QCOMPARE(rig.state.gBerGrp, QString("9"));
        QCOMPARE(rig.state.gPersonal.PNR, QString("4711"));
        QCOMPARE(rig.state.gPersonal.DW, QString("123"));
        QCOMPARE(rig.state.gPersonal.AbtNr.isEmpty(), !departmentSet);
        QCOMPARE(rig.state.gPersonal.Fax.isEmpty(), !baseDataSet);
        QCOMPARE(rig.server.liveObjects, 0);
        QVERIFY(rig.forms.idleTimer().isEnabled());
        QVERIFY(!rig.forms.events.contains("hideSignInDialogs"));
    }

    void earlierSignInFieldsStayWhenAStepFails() {
        SignInRig rig;
        rig.state.gPersonal.Fax = "old fax";
        rig.server.failures.insert("openId LX.PersBasis", CacheError(1, "x"));
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QCOMPARE(rig.state.gPersonal.Fax, QString("old fax"));
    }

    void unguardedFailuresAreReportedNotThrown_data() {
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<QString>("operation");
        QTest::newRow("sign-in of a new connection") << "signIn 1 ABC"
                                                     << "Verbindungsaufbau";
        QTest::newRow("rights group read") << "property LX.ParPersEdv.BERGRP"
                                           << "Anmeldung mit nicht existierendem Personalcode";
        QTest::newRow("connecting") << "call LX.Windows.Xecute(D"
                                    << "Verbindungsaufbau";
    }
    void unguardedFailuresAreReportedNotThrown() {
        QFETCH(QString, failingCall);
        QFETCH(QString, operation);
        SignInRig rig;
        rig.server.failures.insert(failingCall, CacheError(9, "weg"));
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(rig.fake.messages.shown.at(0).text.startsWith("Vorgang: " + operation + "."));
        QCOMPARE(rig.fake.processEnd.endCount, 0);
        QCOMPARE(rig.server.liveObjects, 0);
    }

    void injectionIsRefusedWithAClearMessage() {
        SignInRig rig;
        rig.state.gCommandLine = "1 0,X=1 ABC geheim";
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(rig.server.calls.isEmpty()); // nothing reached the server
        const QString text = rig.fake.messages.shown.at(0).text;
        QVERIFY(text.contains("Ungültige Filiale \"0,X=1\""));
        QVERIFY(text.contains(QString::number(ClientErrors::InvalidSignInData)));
    }

    void quoteInUserCodeIsSentDoubled() {
        SignInRig rig;
        rig.server.addObject("LX.ParPersEdv", "1||A\"B",
                             {{"Passwort", "pw"},
                              {"AKTIV", "J"},
                              {"PNAME", "N"},
                              {"PNR", "4711"},
                              {"AbtNr", "10"},
                              {"DW", ""},
                              {"BERGRP", "8"}});
        rig.state.gCommandLine = "1 0 A\"B pw";
        QVERIFY(rig.signIn.CheckLogin());
        QCOMPARE(rig.xecutes().last(),
                 QString("call LX.Windows.Xecute(S FIRMA=1,FIL=0,PERSONAL=\"A\"\"B\")"));
    }

    void refusedCommandLineLeadsToTheDialog() {
        SignInRig rig;
        rig.state.gCommandLine = "1 0 ABC falsch";
        rig.fake.messages.queueAnswer(MsgAnswer::Ok);
        QVERIFY(!rig.signIn.CheckLogin());
        QVERIFY(rig.state.gCommandLineRefused);

        // The start-up loop copies the command line again; this time the dialog asks.
        rig.forms.onSignInDialog = [&] {
            QCOMPARE(rig.forms.userCodeBox, QString("ABC"));
            rig.store(LoginSettings::KeyName, rig.forms.userCodeBox);
            rig.store(LoginSettings::KeyServer, rig.forms.serverBoxes.server);
            rig.forms.passwordText = "geheim";
        };
        QVERIFY(rig.signIn.CheckLogin());
        QCOMPARE(rig.forms.events.count("showSignInDialogModal"), 1);
        QCOMPARE(rig.state.gPasswort, QString("geheim"));
    }

    void acceptedCommandLineKeepsCounting() {
        SignInRig rig;
        rig.state.gCommandLine = "1 0 ABC geheim";
        QVERIFY(rig.signIn.CheckLogin());
        rig.forms.signInVisible = true; // "Anmelden" from the menu
        rig.forms.userCodeBox = "OTHER";
        QVERIFY(rig.signIn.CheckLogin());
        QCOMPARE(rig.forms.userCodeBox, QString("ABC"));
        QVERIFY(!rig.forms.events.contains("showSignInDialogModal"));
    }

    void rightsGroup_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("passes");
        QTest::newRow("8") << "8"
                           << "de_DE" << true;
        QTest::newRow("7") << "7"
                           << "de_DE" << false;
        QTest::newRow("10 is numeric, not text") << "10"
                                                 << "de_DE" << true;
        QTest::newRow("german decimal") << "7,5"
                                        << "de_DE" << false;
        QTest::newRow("german decimal high") << "8,5"
                                             << "de_DE" << true;
        QTest::newRow("c decimal fallback") << "8.5"
                                            << "en_US" << true;
        QTest::newRow("blanks") << " 9 "
                                << "de_DE" << true;
        QTest::newRow("empty") << ""
                               << "de_DE" << false;
        QTest::newRow("text") << "admin"
                              << "de_DE" << false;
        QTest::newRow("infinity") << "inf"
                                  << "en_US" << false;
        QTest::newRow("nan") << "nan"
                             << "en_US" << false;
    }
    void rightsGroup() {
        QFETCH(QString, group);
        QFETCH(QString, locale);
        QFETCH(bool, passes);
        QCOMPARE(rightsGroupPasses(group, QLocale(locale)), passes);
    }
};

QTEST_APPLESS_MAIN(TestSignInCheckLogin)
#include "tst_signin_checklogin.moc"
