#include "AccessRig.h"
#include "access/LoginLoader.h"
#include "access/SecretText.h"

#include <QtTest>

// Where the sign-in data come from: the command line when its first field is a number,
// otherwise the stored settings through the sign-in dialog.
class TestAccessLoader : public QObject {
    Q_OBJECT
private slots:
    void commandLineFillsStateAndBoxesWithoutDialog() {
        AccessRig rig;
        rig.state.gCommandLine = "1 2 ABC";
        rig.forms.passwordText = "typed";
        rig.api.loader().LoadConnectionData();

        QCOMPARE(rig.state.gFirma, QString("1"));
        QCOMPARE(rig.state.gFiliale, QString("2"));
        QCOMPARE(rig.state.gPersonalcode, QString("ABC"));
        QCOMPARE(rig.state.gPasswort, QString()); // never from the box on this path
        QCOMPARE(rig.state.gServer, QString("localhost"));
        QCOMPARE(rig.state.gPort, QString("1972"));
        QCOMPARE(rig.state.gNamespace, QString("LORVEX"));
        QCOMPARE(rig.state.gConnectString, QString("cn_iptcp:localhost[1972]:LORVEX"));
        QCOMPARE(rig.forms.serverBoxes.firma, QString("1"));
        QCOMPARE(rig.forms.serverBoxes.filiale, QString("2"));
        QCOMPARE(rig.forms.serverBoxes.port, QString("1972"));
        QCOMPARE(rig.forms.userCodeBox, QString("ABC"));
        QVERIFY(rig.forms.events.isEmpty());
        QVERIFY(rig.api.loader().lastLoadUsedCommandLine());
    }

    void allSevenFieldsAndSurplusIgnored() {
        AccessRig rig;
        rig.state.gCommandLine = "3 4 USR pw host 1999 NS extra";
        rig.api.loader().LoadConnectionData();
        QCOMPARE(rig.state.gPasswort, QString("pw"));
        QCOMPARE(rig.state.gNamespace, QString("NS"));
        // The namespace never enters the connection string.
        QCOMPARE(rig.state.gConnectString, QString("cn_iptcp:host[1999]:LORVEX"));
    }

    void anUntouchedPasswordBoxKeepsTheHeldPassword() {
        // Started from the command line, then the server settings saved: the empty box of a
        // dialog the user never typed in is no password.
        AccessRig rig;
        SecretText password;
        const QString line =
            LoginLoader::takeCommandLinePassword("1 0 ABC geheim host 1999", rig.state.gPasswort);
        QCOMPARE(line, QString("1 0 ABC  host 1999")); // the one copy is gPasswort
        QCOMPARE(LoginLoader::takeCommandLinePassword("1 0 ABC", password), QString("1 0 ABC"));
        QVERIFY(password.isEmpty());
        rig.state.gCommandLine = line;
        rig.api.loader().LoadConnectionData();
        QCOMPARE(rig.state.gPasswort, QString("geheim"));
        rig.api.loader().LoadLoginSettings();
        QCOMPARE(rig.state.gPasswort, QString("geheim"));
        // A box the user emptied by hand is what the user wants.
        rig.forms.passwordCleared = true;
        rig.api.loader().LoadLoginSettings();
        QCOMPARE(rig.state.gPasswort, QString());
    }

    void commandLineThatDoesNotCount_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("not numeric") << "A 2 ABC";
        QTest::newRow("leading blank") << " 1 2 ABC";
        QTest::newRow("empty") << "";
        QTest::newRow("infinity") << "inf 2 ABC";
    }
    void commandLineThatDoesNotCount() {
        QFETCH(QString, line);
        AccessRig rig;
        rig.state.gCommandLine = line;
        rig.store(LoginSettings::KeyFirma, "7");
        rig.store(LoginSettings::KeyName, "STORED");
        rig.forms.onSignInDialog = [&] { rig.forms.passwordText = "secret"; };
        rig.api.loader().LoadConnectionData();
        QCOMPARE(rig.forms.events, QStringList{"showSignInDialogModal"});
        QCOMPARE(rig.state.gFirma, QString("7"));
        QCOMPARE(rig.state.gPersonalcode, QString("STORED"));
        QCOMPARE(rig.state.gPasswort, QString("secret"));
        QVERIFY(!rig.api.loader().lastLoadUsedCommandLine());
    }

    void signedNumberCounts() {
        AccessRig rig;
        rig.state.gCommandLine = "+1 0 ABC";
        rig.api.loader().LoadConnectionData();
        QVERIFY(rig.forms.events.isEmpty());
        QCOMPARE(rig.state.gFirma, QString("+1"));
    }

    void emptyStoreGivesDefaults() {
        AccessRig rig;
        rig.api.loader().LoadLoginSettings();
        QCOMPARE(rig.state.gFirma, QString("1"));
        QCOMPARE(rig.state.gFiliale, QString("0"));
        QCOMPARE(rig.state.gPort, QString("1973"));
        QCOMPARE(rig.state.gNamespace, QString("LORVEX"));
        QCOMPARE(rig.state.gServer, QString("localhost"));
        QCOMPARE(rig.state.gPersonalcode, QString());
        QCOMPARE(rig.forms.serverBoxes.port, QString("1973"));
        QCOMPARE(rig.forms.serverBoxes.nameSpace, QString("LORVEX"));
    }

    void storedValuesAreTakenAsTheyStandAndPasswordComesFromItsBox() {
        AccessRig rig;
        rig.store(LoginSettings::KeyServer, " db host ");
        rig.store(LoginSettings::KeyPort, "x");
        rig.store(LoginSettings::KeyNamespace, "TEST");
        rig.forms.passwordText = "pw ";
        rig.forms.signInVisible = true; // a re-sign-in started from the dialog itself
        rig.api.loader().LoadConnectionData();
        QVERIFY(rig.forms.events.isEmpty()); // not shown again
        QCOMPARE(rig.state.gServer, QString(" db host "));
        QCOMPARE(rig.state.gPasswort, QString("pw "));
        QCOMPARE(rig.state.gConnectString, QString("cn_iptcp: db host [x]:LORVEX"));
        QCOMPARE(rig.forms.serverBoxes.server, QString(" db host "));
        // The password is neither read from nor written to the store.
        QVERIFY(!rig.fake.settings.values.contains("Cache Login/Login/Passwort"));
    }

    void whatTheDialogStoredIsReadAfterIt() {
        AccessRig rig;
        rig.store(LoginSettings::KeyName, "OLD");
        rig.forms.onSignInDialog = [&] {
            // The dialog shows the stored user code; "Anmelden" stores a new one.
            QCOMPARE(rig.forms.userCodeBox, QString("OLD"));
            rig.store(LoginSettings::KeyName, "NEW");
            rig.store(LoginSettings::KeyServer, "other");
        };
        rig.api.loader().LoadConnectionData();
        QCOMPARE(rig.state.gPersonalcode, QString("NEW"));
        QCOMPARE(rig.forms.userCodeBox, QString("NEW"));
        QCOMPARE(rig.state.gConnectString, QString("cn_iptcp:other[1973]:LORVEX"));
    }

    void refusedCommandLineIsOfferedOnceInTheDialog() {
        AccessRig rig;
        rig.state.gCommandLine = "5 6 CMD pw host 2000";
        rig.state.gCommandLineRefused = true;
        rig.store(LoginSettings::KeyName, "STORED");
        rig.forms.onSignInDialog = [&] {
            // The user sees the command line's values and corrects the user code.
            QCOMPARE(rig.forms.userCodeBox, QString("CMD"));
            QCOMPARE(rig.forms.serverBoxes.server, QString("host"));
            rig.store(LoginSettings::KeyFirma, rig.forms.serverBoxes.firma);
            rig.store(LoginSettings::KeyServer, rig.forms.serverBoxes.server);
            rig.store(LoginSettings::KeyName, "FIXED");
        };
        rig.api.loader().LoadConnectionData();
        QVERIFY(!rig.api.loader().lastLoadUsedCommandLine());
        QCOMPARE(rig.state.gPersonalcode, QString("FIXED"));
        QCOMPARE(rig.state.gFirma, QString("5"));

        // The next attempt shows what the user stored, not the command line again.
        rig.forms.onSignInDialog = [&] { QCOMPARE(rig.forms.userCodeBox, QString("FIXED")); };
        rig.api.loader().LoadConnectionData();
        QCOMPARE(rig.forms.events.count("showSignInDialogModal"), 2);
    }
};

QTEST_APPLESS_MAIN(TestAccessLoader)
#include "tst_access_loader.moc"
