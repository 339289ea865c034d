#include "AccessibleNames.h"
#include "DialogHost.h"
#include "FakeCache.h"
#include "FakePlatform.h"
#include "access/CacheApi.h"
#include "access/LoginSettings.h"
#include "platform/LatchingButton.h"
#include "signin/FMPass.h"
#include "signin/FMServer.h"
#include "signin/SignIn.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// The dialogs wired to fake desktop, fake time and a fake server with user ABC / "geheim".
struct Dialogs {
    FakePlatform fake;
    FakeCacheServer server;
    DialogHost host;
    SignInState state;
    CacheApi api{state, fake.platform, host, server.creator()};
    SignIn signIn{api, QString()};
    FMPass& pass;
    FMServer& srv;

    Dialogs()
        : pass((host.attach(api, signIn), host.signInDialog()))
        , srv(host.serverDialog()) {
        server.addObject("LX.ParPersEdv", "1||ABC",
                         {{"Passwort", "geheim"},
                          {"AKTIV", "J"},
                          {"PNAME", "Muster"},
                          {"PNR", "7"},
                          {"AbtNr", "1"},
                          {"DW", ""},
                          {"BERGRP", "9"}});
        server.addObject("LX.ParPersAbt", "1||1",
                         {{"abtbez", "A"}, {"AbtNr", "1"}, {"HAbtNr", "1"}});
        server.addObject("LX.PersBasis", "1||7", {{"fax", ""}, {"EMAIL", ""}});
    }
    QString stored(const QString& key) const {
        return fake.settings.values.value(LoginSettings::App + '/' + LoginSettings::Section + '/' +
                                          key);
    }
};

QList<QWidget*> focusChain(QWidget* first, int count) {
    QList<QWidget*> chain{first};
    QWidget* w = first;
    while (chain.size() < count) {
        w = w->nextInFocusChain();
        if (w->focusPolicy() & Qt::TabFocus) {
            chain.append(w);
        }
    }
    return chain;
}

QRect px(int l, int t, int w, int h) {
    return {l / 15, t / 15, w / 15, h / 15};
}

} // namespace

class TestGuiSignInDialogs : public QObject {
    Q_OBJECT
private slots:
    void signInDialogLayout() {
        Dialogs d;
        QCOMPARE(d.pass.windowTitle(), QString("LORVEX Benutzeranmeldung"));
        QCOMPARE(d.pass.size(), QSize(265, 94));
        QCOMPARE(d.pass.Label5->text(), QString("User(WWS Personalcode):"));
        QCOMPARE(d.pass.Label3->text(), QString("Passwort:"));
        QCOMPARE(d.pass.BUServer->text(), QString("Server"));
        QCOMPARE(d.pass.BUSpeich->text(), QString("Anmelden"));
        QCOMPARE(d.pass.BUAusst->text(), QString("Abbruch"));
        QCOMPARE(d.pass.BUSER->geometry(), px(2280, 120, 1455, 285));
        QCOMPARE(d.pass.BPASSWORT->geometry(), px(2280, 525, 1455, 285));
        QCOMPARE(d.pass.BUAusst->geometry(), px(2160, 960, 1695, 375));
        QCOMPARE(d.pass.BPASSWORT->echoMode(), QLineEdit::Password);
        d.pass.BPASSWORT->setText("ab1");
        QCOMPARE(d.pass.BPASSWORT->displayText(), QString("***"));
        d.pass.BPASSWORT->clear();
        QCOMPARE(focusChain(d.pass.BPASSWORT, 6),
                 QList<QWidget*>({d.pass.BPASSWORT, d.pass.BUSER, d.pass.BUSpeich, d.pass.BUAusst,
                                  d.pass.BUServer, d.pass.BPASSWORT}));

        d.pass.show();
        QVERIFY(QTest::qWaitForWindowActive(&d.pass));
        QCOMPARE(QApplication::focusWidget(), d.pass.BPASSWORT);
    }

    void userCodeIsUpperCasedAndBoxesSelectAllOnFocus() {
        Dialogs d;
        d.pass.show();
        QVERIFY(QTest::qWaitForWindowActive(&d.pass));
        d.pass.BUSER->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(d.pass.BUSER, "abc");
        d.pass.BPASSWORT->setFocus(Qt::TabFocusReason);
        QCOMPARE(d.pass.BUSER->text(), QString("ABC"));

        d.pass.BPASSWORT->setText("secret");
        d.pass.BUSER->setFocus(Qt::OtherFocusReason);
        QCOMPARE(d.pass.BUSER->selectedText(), QString("ABC"));
        d.pass.BPASSWORT->setFocus(Qt::OtherFocusReason);
        QCOMPARE(d.pass.BPASSWORT->selectionLength(), 6);

        // Entering a box with the mouse selects its text too: the click does not undo it.
        QTest::mouseClick(d.pass.BUSER, Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(QApplication::focusWidget(), d.pass.BUSER);
        QCOMPARE(d.pass.BUSER->selectedText(), QString("ABC"));
        QTest::mouseClick(d.pass.BPASSWORT, Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(d.pass.BPASSWORT->selectionLength(), 6);
        // A later click inside the box that has the focus places the caret as usual.
        QTest::mouseClick(d.pass.BPASSWORT, Qt::LeftButton, {}, QPoint(4, 8));
        QVERIFY(!d.pass.BPASSWORT->hasSelectedText());
    }

    void anmeldenDuringStartUpOnlyStoresAndHides() {
        Dialogs d;
        d.srv.BFIRMA->setText("2");
        d.srv.BSERVERIP->setText("db");
        d.pass.BUSER->setText("ABC");
        d.pass.BPASSWORT->setText("geheim");
        d.pass.show();
        d.pass.BUSpeich->click();
        QVERIFY(!d.pass.isVisible());
        QVERIFY(d.server.calls.isEmpty()); // no connection of its own
        QCOMPARE(d.stored("Firma"), QString("2"));
        QCOMPARE(d.stored("Filiale"), QString("0"));
        QCOMPARE(d.stored("Name"), QString("ABC"));
        QCOMPARE(d.stored("Server"), QString("db"));
        QCOMPARE(d.stored("Port"), QString("1973"));
        QCOMPARE(d.stored("Namespace"), QString("LORVEX"));
        QCOMPARE(d.fake.settings.values.size(), 6); // never the password
        QVERIFY(d.host.mainCaption.isEmpty());
    }

    void startUpSignInThroughTheModalDialog() {
        Dialogs d;
        d.fake.settings.save("Cache Login", "Login", "Name", "ABC");
        QTimer::singleShot(0, &d.pass, [&] {
            QCOMPARE(QApplication::activeModalWidget(), &d.pass);
            QCOMPARE(d.pass.BUSER->text(), QString("ABC"));
            d.pass.BPASSWORT->setText("geheim");
            d.pass.BUSpeich->click();
        });
        QVERIFY(d.signIn.CheckLogin());
        QCOMPARE(d.state.gBenutzer, QString("ABC|Muster"));
        QVERIFY(!d.pass.isVisible());
        QVERIFY(!d.srv.isVisible());
    }

    void anmeldenFromTheMenuRebuildsTheCaptionEvenWhenRejected() {
        Dialogs d;
        d.host.mainVisible = true;
        d.state.gBenutzerName = "Vorher";
        d.pass.BUSER->setText("ABC");
        d.pass.BPASSWORT->setText("GEHEIM");
        d.pass.show();
        d.fake.messages.queueAnswer(MsgAnswer::Ok);
        d.pass.BUSpeich->click();
        QCOMPARE(d.fake.messages.shown.at(0).text,
                 QString("Passwort Falsch oder Benutzer nicht Aktiv."));
        QCOMPARE(d.host.mainCaption,
                 QString("LORVEX Korrespondenz              Firma: 1     Filiale: 0     "
                         "Benutzer: Vorher"));
        QVERIFY(!d.pass.isVisible());
        QCOMPARE(d.pass.BPASSWORT->selectedText(), QString("GEHEIM"));

        d.pass.show();
        d.pass.BPASSWORT->setText("geheim");
        d.pass.BUSpeich->click();
        QCOMPARE(d.host.mainCaption,
                 QString("LORVEX Korrespondenz              Firma: 1     Filiale: 0     "
                         "Benutzer: Muster"));
    }

    void secondAnmeldenDuringTheMenuSignInIsIgnored() {
        Dialogs d;
        d.host.mainVisible = true;
        d.pass.BUSER->setText("ABC");
        d.pass.BPASSWORT->setText("geheim");
        d.pass.show();
        int pumps = 0;
        // The user clicks again while the first sign-in lets window events run.
        d.fake.time.setOnProcessEvents([&] {
            if (pumps++ == 0) {
                d.pass.BUSpeich->click();
            }
        });
        d.pass.BUSpeich->click();
        QVERIFY(pumps > 0);
        QCOMPARE(d.server.callsStartingWith("openId LX.ParPersEdv").size(), 1);
        QCOMPARE(d.server.callsStartingWith("disconnect").size(), 0);
        QCOMPARE(d.fake.messages.shown.size(), 0);
        QCOMPARE(d.state.gBenutzer, QString("ABC|Muster"));
        QVERIFY(!d.pass.isVisible());
    }

    void anmeldenDuringAMonitorsAccessFollowsIt() {
        Dialogs d;
        d.host.mainVisible = true;
        d.pass.BUSER->setText("ABC");
        d.pass.BPASSWORT->setText("geheim");
        d.pass.show();
        {
            // A refresh waits for the server; the clicks are let in by its wait.
            const AccessGate::Scope refresh(d.api.connection().gate());
            d.pass.BUSpeich->click();
            d.pass.BUSpeich->click();
            QVERIFY(d.server.calls.isEmpty());
        }
        d.fake.time.runPosted();
        QCOMPARE(d.server.callsStartingWith("openId LX.ParPersEdv").size(), 1);
        QCOMPARE(d.state.gBenutzer, QString("ABC|Muster"));
    }

    void abbruchEndsTheProgramWithoutStoring() {
        Dialogs d;
        d.state.gBenutzer = "ABC|Muster";
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, d.pass.BUAusst_Click());
        QCOMPARE(d.state.gBenutzer, QString());
        QCOMPARE(d.host.unloadCalls, 1);
        QCOMPARE(d.fake.processEnd.endCount, 1);
        QVERIFY(d.fake.settings.values.isEmpty());
    }

    // Enter presses the focused button ("Anmelden" from a text box); Escape and the close box
    // do what "Abbruch" does and never sign in.
    void keysOfTheSignInDialog_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Enter in the user box") << 0;
        QTest::newRow("Enter on Abbruch") << 1;
        QTest::newRow("Escape") << 2;
        QTest::newRow("close box") << 3;
    }
    void keysOfTheSignInDialog() {
        QFETCH(int, way);
        Dialogs d;
        d.host.mainVisible = true; // from the menu, so "Anmelden" talks to the server
        d.pass.BUSER->setText("abc");
        d.pass.BPASSWORT->setText("geheim");
        d.pass.show();
        QApplication::setActiveWindow(&d.pass);
        QVERIFY(QTest::qWaitForWindowActive(&d.pass));
        QWidget* focus = QList<QWidget*>{d.pass.BUSER, d.pass.BUAusst, d.pass.BPASSWORT}.value(
            way, d.pass.BPASSWORT);
        focus->setFocus();
        QCloseEvent closeBox;
        QSpontaneKeyEvent::setSpontaneous(&closeBox);
        auto press = [&] {
            if (way == 3) {
                QCoreApplication::instance()->notify(&d.pass, &closeBox);
            } else {
                QTest::keyClick(focus, way == 2 ? Qt::Key_Escape : Qt::Key_Return);
            }
        };
        if (way > 0) {
            QVERIFY_THROWS_EXCEPTION(ProgramEnded, press());
            QVERIFY(d.server.calls.isEmpty() && d.fake.settings.values.isEmpty());
            return;
        }
        press();
        QCOMPARE(d.stored("Name"), QString("ABC")); // upper case, as when the focus leaves
        QCOMPARE(d.state.gBenutzer, QString("ABC|Muster"));
        QCOMPARE(d.host.rightsChecks, 1);
    }

    // Enter and keypad Enter press the focused button of the server dialog; in a text box they
    // press nothing.
    void keysOfTheServerDialog_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("Enter on Ändern") << "BUEdit" << int(Qt::Key_Return) << true << false;
        QTest::newRow("keypad Enter on Ändern") << "BUEdit" << int(Qt::Key_Enter) << true << false;
        QTest::newRow("Enter on Zurück") << "BUZurück" << int(Qt::Key_Return) << false << true;
        QTest::newRow("keypad Enter on Zurück")
            << "BUZurück" << int(Qt::Key_Enter) << false << true;
        QTest::newRow("Enter in a box") << "BPORT" << int(Qt::Key_Return) << false << false;
    }
    void keysOfTheServerDialog() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, asked);
        QFETCH(bool, hidden);
        Dialogs d;
        d.srv.BPORT->setEnabled(true);
        d.srv.show();
        QApplication::setActiveWindow(&d.srv);
        QVERIFY(QTest::qWaitForWindowActive(&d.srv));
        auto* target = d.srv.findChild<QWidget*>(focus);
        QVERIFY(target != nullptr);
        target->setFocus();
        d.fake.messages.queueAnswer(MsgAnswer::No);
        QTest::keyClick(target, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(d.fake.messages.shown.size(), asked ? 1 : 0);
        QCOMPARE(!d.srv.isVisible(), hidden);
    }

    // A screen reader announces every control by name and role; the keyboard focus shows
    // before the first Tab.
    void everyControlIsAnnounced() {
        Dialogs d;
        d.srv.BPORT->setEnabled(true);
        for (QWidget* dialog : QList<QWidget*>{&d.pass, &d.srv}) {
            QVERIFY2(unnamedControls(*dialog).isEmpty(),
                     qPrintable(unnamedControls(*dialog).join(", ")));
            QVERIFY(dialog->testAttribute(Qt::WA_KeyboardFocusChange));
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(d.pass.BPASSWORT)->text(QAccessible::Name),
                 QString("Passwort:"));
        QCOMPARE(QAccessible::queryAccessibleInterface(d.srv.BNAMESPACE)->text(QAccessible::Name),
                 QString("Namespace:"));
        // "Namespace:" keeps off the dialog's left edge and ends before its box.
        QVERIFY(d.srv.Label3->x() >= 4);
        QVERIFY(d.srv.Label3->geometry().right() < d.srv.BNAMESPACE->x());
    }

    void serverButtonShowsTheServerDialogOwnedByTheSignInDialog() {
        Dialogs d;
        d.pass.show();
        bool checked = false;
        QTimer::singleShot(0, &d.srv, [&] {
            QCOMPARE(QApplication::activeModalWidget(), &d.srv);
            QCOMPARE(d.srv.parentWidget(), &d.pass);
            checked = true;
            d.srv.BUZurück->click();
        });
        d.pass.BUServer->click();
        QVERIFY(checked);
        QVERIFY(!d.srv.isVisible());
        QCOMPARE(d.srv.parentWidget(), nullptr);
    }

    void serverDialogLayout() {
        Dialogs d;
        QCOMPARE(d.srv.windowTitle(), QString("LORVEX Server"));
        QCOMPARE(d.srv.size(), QSize(248, 121));
        QVERIFY(d.srv.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(d.srv.windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(d.srv.BSERVERIP->text(), QString("localhost"));
        QCOMPARE(d.srv.BPORT->text(), QString("1973"));
        QCOMPARE(d.srv.BFIRMA->text(), QString("1"));
        QCOMPARE(d.srv.BFIL->text(), QString("0"));
        QCOMPARE(d.srv.BNAMESPACE->text(), QString("LORVEX"));
        QCOMPARE(d.srv.BUEdit->text(), QString("Ändern"));
        QCOMPARE(d.srv.BUZurück->text(), QString("Zurück"));
        QCOMPARE(d.srv.Label3->text(), QString("Namespace:"));
        // The port box keeps its right edge and shows a five-digit port in full: moving the caret
        // from the end to the start scrolls nothing.
        QCOMPARE(d.srv.BPORT->geometry().right(), px(3120, 120, 495, 285).right());
        QVERIFY(d.srv.BPORT->x() > d.srv.Label6->geometry().right());
        d.srv.show();
        d.srv.BPORT->setText("47711");
        QList<int> caret;
        for (int position : {5, 0}) {
            d.srv.BPORT->setCursorPosition(position);
            d.srv.BPORT->grab();
            caret << d.srv.BPORT->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
        }
        QCOMPARE(caret[0] - caret[1], d.srv.BPORT->fontMetrics().horizontalAdvance("47711"));
        d.srv.hide();
        QCOMPARE(d.srv.BUZurück->geometry(), px(1920, 1320, 1695, 375));
        for (QLineEdit* box :
             {d.srv.BSERVERIP, d.srv.BPORT, d.srv.BFIRMA, d.srv.BFIL, d.srv.BNAMESPACE}) {
            QVERIFY(!box->isEnabled());
        }
        QCOMPARE(d.srv.Lock->interval(), 60000);
        QVERIFY(!d.srv.Lock->isEnabled());
        QVERIFY(d.srv.BUEdit->value());
        QCOMPARE(focusChain(d.srv.BUEdit, 7),
                 QList<QWidget*>({d.srv.BUEdit, d.srv.BSERVERIP, d.srv.BPORT, d.srv.BFIRMA,
                                  d.srv.BFIL, d.srv.BNAMESPACE, d.srv.BUZurück}));
    }

    void aendernStateMachine() {
        Dialogs d;
        d.srv.show();
        // No to "Änderungen erlauben?": stays locked, and the next click asks again.
        d.fake.messages.queueAnswer(MsgAnswer::No);
        d.srv.BUEdit->click();
        QCOMPARE(d.fake.messages.shown.at(0).text, QString("Änderungen erlauben?"));
        QCOMPARE(d.fake.messages.shown.at(0).title, QString("Anmeldung an Caché"));
        QCOMPARE(d.fake.messages.shown.at(0).buttons, MsgButtons::YesNo);
        QCOMPARE(d.fake.messages.shown.at(0).icon, MsgIcon::None);
        QVERIFY(d.srv.BUEdit->value());
        QVERIFY(!d.srv.BPORT->isEnabled());

        d.fake.messages.queueAnswer(MsgAnswer::Yes);
        d.srv.BUEdit->click();
        QCOMPARE(d.fake.messages.shown.at(1).text, QString("Änderungen erlauben?"));
        QVERIFY(!d.srv.BUEdit->value());
        QVERIFY(d.srv.BPORT->isEnabled() && d.srv.BNAMESPACE->isEnabled());
        d.srv.BPORT->setText("2000");

        // No to "Änderungen sichern?": locked again, the edit stays in the box, nothing stored.
        d.fake.messages.queueAnswer(MsgAnswer::No);
        d.srv.BUEdit->click();
        QCOMPARE(d.fake.messages.shown.at(2).text, QString("Änderungen sichern?"));
        QVERIFY(d.srv.BUEdit->value());
        QVERIFY(!d.srv.BPORT->isEnabled());
        QCOMPARE(d.srv.BPORT->text(), QString("2000"));
        QVERIFY(d.fake.settings.values.isEmpty());

        // "Zurück" hides; showing again keeps values and lock state.
        d.srv.BUZurück->click();
        QVERIFY(!d.srv.isVisible());
        d.srv.show();
        QCOMPARE(d.srv.BPORT->text(), QString("2000"));
        QVERIFY(d.srv.BUEdit->value());

        // Yes to both: stored, connection dropped, state reloaded from the store.
        d.state.gFirma = "1";
        d.state.gFiliale = "0";
        d.state.gConnectString = "cn_iptcp:h[1]:LORVEX";
        d.state.gPersonalcode = "ABC";
        d.state.gPasswort = "geheim";
        d.api.connection().BeginCacheAccess(false, false);
        d.fake.messages.queueAnswer(MsgAnswer::Yes);
        d.srv.BUEdit->click();
        d.srv.BFIRMA->setText("3");
        d.fake.messages.queueAnswer(MsgAnswer::Yes);
        d.srv.BUEdit->click();
        QCOMPARE(d.stored("Port"), QString("2000"));
        QCOMPARE(d.stored("Firma"), QString("3"));
        QCOMPARE(d.state.gFirma, QString("3"));
        QCOMPARE(d.state.gPort, QString("2000"));
        QCOMPARE(d.server.callsStartingWith("disconnect").size(), 1);
        QVERIFY(!d.srv.Lock->isEnabled());
        QCOMPARE(d.fake.messages.unexpected, 0);
    }

    void idleTimerDropsTheConnection() {
        Dialogs d;
        d.state.gFirma = "1";
        d.state.gFiliale = "0";
        d.state.gPersonalcode = "ABC";
        d.state.gPasswort = "geheim";
        d.api.connection().BeginCacheAccess(false, false);
        d.api.connection().EndCacheAccess(false);
        QVERIFY(d.srv.Lock->isEnabled());
        {
            const AccessGate::Scope access(d.api.connection().gate()); // not idle: kept
            d.srv.Lock_Timer();
        }
        d.fake.time.advance(59999);
        QVERIFY(d.server.callsStartingWith("disconnect").isEmpty());
        d.fake.time.advance(1);
        QCOMPARE(d.server.callsStartingWith("disconnect").size(), 1);
        QVERIFY(!d.srv.Lock->isEnabled());
    }

    void latchingButtonFlipsBeforeTheHandler() {
        LatchingButton button("x");
        QList<bool> seen;
        connect(&button, &QPushButton::clicked, &button, [&] { seen.append(button.value()); });
        QVERIFY(button.value());
        button.click();
        button.click();
        QCOMPARE(seen, QList<bool>({false, true}));
        button.setValue(false);
        QVERIFY(!button.value());
    }
};

QTEST_MAIN(TestGuiSignInDialogs)
#include "tst_gui_signin_dialogs.moc"
