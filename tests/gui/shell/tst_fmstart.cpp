#include "AccessibleNames.h"
#include "ShellFixture.h"

#include "monitors/frmKassa.h"
#include "monitors/frmZeiterfassung.h"
#include "platform/DesktopNotifications.h"
#include "platform/RowList.h"
#include "shell/FMStart.h"
#include "shell/frmAbout.h"
#include "shell/frmEinstellungen.h"
#include "shell/frmProgrammverlauf.h"
#include "signin/FMPass.h"
#include "signin/FMServer.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

class TestFMStart : public QObject {
    Q_OBJECT

private slots:
    void captionHasExactBlankRuns() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QCOMPARE(main.windowTitle(), QStringLiteral("LORVEX Monitor              Firma: 1     "
                                                    "Filiale: 0     Benutzer: ABC|Muster,Dora"));
        QVERIFY(main.isVisible());
        QCOMPARE(f.fake.messages.shown.size(), 0);
        QCOMPARE(f.fake.processEnd.endCount, 0);
        QCOMPARE(FMStart::startCaption("1", "0", "U"),
                 QStringLiteral("LORVEX Monitor              Firma: 1     Filiale: 0     "
                                "Benutzer: U"));
    }

    void programButtonsAndMenusCarryTheProgramCaptions() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QCOMPARE(main.cmdUnterprogramm[0]->text(), QStringLiteral("&Zeiterfassung"));
        QCOMPARE(main.cmdUnterprogramm[1]->text(), QStringLiteral("&Kassa"));
        QCOMPARE(main.mProgramme[0]->text(), QStringLiteral("&Zeiterfassung"));
        QCOMPARE(main.mProgramme[1]->text(), QStringLiteral("&Kassa"));
        QCOMPARE(main.cmdUnterprogramm[0]->geometry(), QRect(8, 16, 113, 25));
        QCOMPARE(main.cmdUnterprogramm[1]->geometry(), QRect(8, 48, 113, 25));
        QCOMPARE(main.centralWidget()->size(), QSize(628, 412));
    }

    void menusHaveTheirItemsAndShortcuts() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QStringList titles;
        for (QAction* menu : main.menuBar()->actions()) {
            titles << menu->text();
        }
        QCOMPARE(titles, (QStringList{"&Datei", "&Programme", "&Hilfe"}));

        const QList<QAction*> datei = main.Datei->actions();
        QCOMPARE(datei.size(), 3);
        QCOMPARE(datei[0], main.mLogin);
        QCOMPARE(main.mLogin->text(), QStringLiteral("&Login"));
        QVERIFY(datei[1]->isSeparator());
        QCOMPARE(datei[2], main.Beenden);
        QCOMPARE(main.Beenden->text(), QStringLiteral("&Beenden"));

        QCOMPARE(main.HilfeUeber->text(), QStringLiteral("Hilfe &über ..."));
        QCOMPARE(main.HilfeUeber->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(main.mProgrammverlauf->text(), QStringLiteral("Programmverlauf"));
        QCOMPARE(main.mProgrammverlauf->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
    }

    void settingsPageIsTheLastProgramEntryAndReachesTheOpenMonitor() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QCOMPARE(main.HProgramme->actions().last(), main.mEinstellungen);
        QCOMPARE(main.mEinstellungen->text(), QStringLiteral("&Einstellungen ..."));
        main.cmdUnterprogramm_Click(1);
        frmKassa& kassa = f.program->windows().cashRegisterMonitor();
        const QMap<QString, QString> loginBefore = f.fake.settings.values;

        main.mEinstellungen->trigger();
        frmEinstellungen& page = f.program->windows().settingsWindow();
        QVERIFY(page.isVisible());
        QCOMPARE(page.windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(page.txtAnzahl->value(), 10);
        QCOMPARE(page.txtStillstand->value(), 15);
        page.txtAnzahl->setValue(6);
        page.CancelButton->click();
        QCOMPARE(kassa.controller().attentionLimits().count, 10.0);
        QCOMPARE(f.fake.settings.values, loginBefore);

        main.mEinstellungen->trigger();
        QCOMPARE(page.txtAnzahl->value(), 10); // filled afresh
        page.txtAnzahl->setValue(6);
        page.txtStillstand->setValue(0);
        page.txtTrend->setValue(720);
        page.OKButton->click();
        QVERIFY(!page.isVisible());
        QCOMPARE(kassa.controller().attentionLimits().count, 6.0);
        QCOMPARE(kassa.controller().attentionLimits().stillMinutes, 0);
        QCOMPARE(f.fake.settings.values.value("Cache Login/Monitor/KassaAnzahlGrenze"), "6");
        QCOMPARE(kassa.controller().history().length(), 720);
        for (auto it = loginBefore.begin(); it != loginBefore.end(); ++it) {
            QCOMPARE(f.fake.settings.values.value(it.key()), it.value());
        }
    }

    void trayIsToldAboutTheOpenMonitorsAndAClickBringsThemUp() {
        struct Tray : DesktopNotifications {
            void showState(State shown, const QString&) override { state = shown; }
            void notify(const QString&, const QString& text) override { told << text; }
            void setOnActivated(std::function<void()> handler) override {
                click = std::move(handler);
            }
            State state = State::Good;
            QStringList told;
            std::function<void()> click;
        } tray;
        ShellFixture f;
        f.server.onCall = [](const QString& cls, const QString&,
                             const QList<CacheValue>& args) -> CacheValue {
            if (cls == "Telemetrie.Kassa") {
                return QString("3|12|815|827|5|1|020|020|");
            }
            return args.isEmpty() ? CacheValue(QString()) : args.first();
        };
        f.program->windows().setNotifications(tray);
        FMStart& main = f.program->start();
        main.cmdUnterprogramm_Click(1);
        frmKassa& kassa = f.program->windows().cashRegisterMonitor();
        QCOMPARE(tray.told, QStringList{"Nr 3: 12 nicht verbuchte Vorgänge (Grenze 10)"});
        QCOMPARE(tray.state, DesktopNotifications::State::Attention);
        QVERIFY(kassa.controller().canSnooze(0) && !kassa.controller().canSnooze(1));
        kassa.hide();
        tray.click();
        QVERIFY(kassa.isVisible());
        kassa.OKButton_Click();
        ShellFixture::flushDeletes();
        QCOMPARE(tray.state, DesktopNotifications::State::Good);
    }

    // A screen reader can announce every control of every window by name and role.
    void everyWindowsControlsAreAnnounced() {
        ShellFixture f;
        FMStart& main = f.program->start();
        WindowRegistry& windows = f.program->windows();
        const QList<QWidget*> all{&main,
                                  &windows.programLogWindow(),
                                  &windows.cashRegisterMonitor(),
                                  &windows.timeClockMonitor(),
                                  &windows.aboutBox(),
                                  &windows.settingsWindow(),
                                  &windows.signInDialog(),
                                  &windows.serverDialog()};
        for (QWidget* window : all) {
            const QStringList unnamed = unnamedControls(*window);
            QVERIFY2(unnamed.isEmpty(),
                     qPrintable(window->objectName() + ": " + unnamed.join(", ")));
        }
        ShellFixture::flushDeletes();
    }

    void shortcutsOpenAboutBoxAndProgramLog() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));

        QTest::keyClick(&main, Qt::Key_F1, Qt::ControlModifier);
        QVERIFY(f.program->windows().programLogWindow().isVisible());
        QCOMPARE(f.program->windows().programLogWindow().parentWidget(), &main);

        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_F1);
        frmAbout& about = f.program->windows().aboutBox();
        QVERIFY(about.isVisible());
        QCOMPARE(about.parentWidget(), nullptr);
    }

    void tabOrderStartsAtFirstProgramButton() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QCOMPARE(QApplication::focusWidget(), main.cmdUnterprogramm[0]);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), main.cmdUnterprogramm[1]);
    }

    void rightsGroupDecidesNumerically_data() {
        QTest::addColumn<QString>("rightsGroup");
        QTest::addColumn<bool>("passes");
        QTest::newRow("7 ends") << "7" << false;
        QTest::newRow("8 passes") << "8" << true;
        QTest::newRow("10 passes, not compared as text") << "10" << true;
        QTest::newRow("empty ends") << "" << false;
        QTest::newRow("not a number ends") << "acht" << false;
    }

    void rightsGroupDecidesNumerically() {
        QFETCH(QString, rightsGroup);
        QFETCH(bool, passes);
        ShellFixture f(rightsGroup);
        if (passes) {
            FMStart& main = f.program->start();
            QVERIFY(main.isVisible());
            QCOMPARE(f.fake.processEnd.endCount, 0);
            return;
        }
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, f.program->start());
        QCOMPARE(f.fake.processEnd.endCount, 1);
        QCOMPARE(f.fake.processEnd.lastExitCode, ExitCode::Failure);
        // Dropped silently: no message, the main window never shown, the connection dropped.
        QCOMPARE(f.fake.messages.shown.size(), 0);
        const QList<QWidget*> left = f.program->windows().loadedWindows();
        for (QWidget* window : left) {
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
        }
        QVERIFY(f.server.calls.contains("disconnect"));
        ShellFixture::flushDeletes();
        QVERIFY(f.program->windows().loadedWindows().isEmpty());
    }

    void eachWindowOpensOnlyOnce() {
        ShellFixture f;
        FMStart& main = f.program->start();
        WindowRegistry& windows = f.program->windows();

        main.cmdUnterprogramm_Click(0);
        QPointer<frmZeiterfassung> zeit = &windows.timeClockMonitor();
        const int loaded = static_cast<int>(windows.loadedWindows().size());
        main.mProgramme_Click(0);
        main.cmdUnterprogramm_Click(0);
        QCOMPARE(&windows.timeClockMonitor(), zeit.data());
        QCOMPARE(windows.loadedWindows().size(), loaded);
        QVERIFY(zeit->isVisible());
        QCOMPARE(zeit->parentWidget(), &main);

        main.mProgramme_Click(1);
        QPointer<frmKassa> kassa = &windows.cashRegisterMonitor();
        QVERIFY(kassa->isVisible());
        QCOMPARE(windows.loadedWindows().size(), loaded + 1);

        // Unknown program indexes do nothing.
        main.cmdUnterprogramm_Click(2);
        main.cmdUnterprogramm_Click(-1);
        QCOMPARE(windows.loadedWindows().size(), loaded + 1);

        // A monitor that unloads itself is forgotten; the next click loads a fresh one.
        zeit->close();
        ShellFixture::flushDeletes();
        QVERIFY(zeit.isNull());
        QCOMPARE(windows.loadedWindows().size(), loaded);
        main.cmdUnterprogramm_Click(0);
        QVERIFY(windows.timeClockMonitor().isVisible());
    }

    void touchingTheLogLoadsItInvisibly() {
        ShellFixture f;
        f.program->start();
        WindowRegistry& windows = f.program->windows();
        f.program->api().helpers().AddListRow("frmKassa.Timer1_Timer", "Status um ", "14:05:09");
        frmProgrammverlauf& log = windows.programLogWindow();
        QVERIFY(windows.isLoaded(&log));
        QVERIFY(!log.isVisible());
        QCOMPARE(windows.programLog().rowText(0),
                 QStringLiteral("frmKassa.Timer1_Timer;Status um ;14:05:09"));
    }

    void loginMenuShowsSignInDialogOwnedByMainWindow() {
        ShellFixture f;
        FMStart& main = f.program->start();
        main.mLogin_Click();
        FMPass& pass = f.program->windows().signInDialog();
        QVERIFY(pass.isVisible());
        QVERIFY(!pass.isModal());
        QCOMPARE(pass.parentWidget(), &main);
        QVERIFY(f.program->windows().mainWindowVisible());
        f.program->windows().setMainWindowCaption("neu");
        QCOMPARE(main.windowTitle(), QStringLiteral("neu"));
    }

    void closingMainWindowClosesEverythingAndEnds() {
        ShellFixture f;
        FMStart& main = f.program->start();
        main.cmdUnterprogramm_Click(0);
        main.cmdUnterprogramm_Click(1);
        main.mProgrammverlauf_Click();
        main.HilfeUeber_Click();
        QList<QPointer<QWidget>> windows;
        for (QWidget* window : f.program->windows().loadedWindows()) {
            windows.append(window);
        }
        QVERIFY(windows.size() >= 5);
        f.server.calls.clear();

        main.close();
        QCOMPARE(f.fake.processEnd.endCount, 1);
        QCOMPARE(f.fake.processEnd.lastExitCode, ExitCode::Normal);
        QCOMPARE(f.fake.messages.shown.size(), 0);
        QVERIFY(f.server.calls.contains("disconnect"));
        for (const QPointer<QWidget>& window : windows) {
            QVERIFY(window.isNull() || !window->isVisible());
        }
        ShellFixture::flushDeletes();
        for (const QPointer<QWidget>& window : windows) {
            QVERIFY(window.isNull());
        }
    }

    void unloadAllGoesNewestFirst() {
        ShellFixture f;
        FMStart& main = f.program->start();
        main.mProgrammverlauf_Click();
        main.cmdUnterprogramm_Click(1);
        main.HilfeUeber_Click();
        const QList<QWidget*> loaded = f.program->windows().loadedWindows();
        QCOMPARE(loaded.first(), &main);
        QStringList loadOrder;
        QStringList unloadOrder;
        for (QWidget* window : loaded) {
            loadOrder.prepend(QString::fromLatin1(window->metaObject()->className()));
            connect(window, &QObject::destroyed, this,
                    [&unloadOrder, name = QString::fromLatin1(window->metaObject()->className())] {
                        unloadOrder.append(name);
                    });
        }
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, f.program->api().helpers().UnloadAllAndEnd());
        QCOMPARE(f.fake.processEnd.endCount, 1);
        ShellFixture::flushDeletes();
        QCOMPARE(unloadOrder, loadOrder);
    }

    // The real window registry driven through the sign-in dialog: a rejected password at
    // start-up leads back into the dialog, the second try gets in; then a sign-in from the menu,
    // and one by a user of rights group 5, who is dropped as at start-up.
    void dialogSignInAtStartUpThenFromTheMenu() {
        ShellFixture f(QStringLiteral("9"), QString());
        WindowRegistry& windows = f.program->windows();
        const QStringList typed{"falsch", "geheim"};
        int shown = 0;
        windows.setModalRunner([&](QWidget& dialog) {
            auto& pass = dynamic_cast<FMPass&>(dialog);
            pass.show();
            pass.BUSER->setText("ABC");
            pass.BPASSWORT->setText(typed.value(shown++));
            QTest::keyClick(pass.BPASSWORT, Qt::Key_Return); // "Anmelden"
        });
        f.fake.messages.queueAnswer(MsgAnswer::Ok);
        FMStart& main = f.program->start();
        QCOMPARE(shown, 2);
        QCOMPARE(f.fake.messages.shown.size(), 1); // "Passwort Falsch oder Benutzer nicht Aktiv."
        QVERIFY(main.windowTitle().endsWith("Benutzer: ABC|Muster,Dora"));

        main.mLogin_Click();
        FMPass& pass = windows.signInDialog();
        pass.BPASSWORT->setText("geheim");
        pass.BUSpeich->click();
        QVERIFY(!pass.isVisible());
        QVERIFY(main.windowTitle().startsWith("LORVEX Korrespondenz"));

        main.mLogin_Click();
        pass.BUSER->setText("LESER");
        pass.BPASSWORT->setText("lesen");
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, pass.BUSpeich->click());
        QCOMPARE(f.fake.processEnd.lastExitCode, ExitCode::Failure);
        QCOMPARE(f.fake.messages.shown.size(), 1);
    }

    // "Server" in the sign-in dialog has the server dialog open when a refresh runs out of
    // tries: the refresh waits for the user instead of showing it a second time, and the port
    // corrected there is the one the next tries use.
    void serverDialogAlreadyOpenIsWaitedForAndItsPortUsed() {
        ShellFixture f;
        FMStart& main = f.program->start();
        main.cmdUnterprogramm_Click(1);
        WindowRegistry& windows = f.program->windows();
        int modalRuns = 0;
        windows.setModalRunner([&](QWidget&) { ++modalRuns; });
        FMServer& server = windows.serverDialog();
        server.show();
        f.program->api().connection().DisconnectCache();
        f.server.connectResult = false;
        f.fake.messages.queueAnswer(MsgAnswer::Ok);
        int waits = 0;
        f.fake.time.setOnProcessEvents([&] {
            if (f.fake.messages.shown.size() == 1 && server.isVisible() && ++waits == 40) {
                server.BPORT->setText("47711");
                f.server.connectResult = true;
                server.BUZurück->click();
            }
        });
        f.fake.time.advance(10000); // Kassa's timer: the refresh and its tries
        f.fake.time.setOnProcessEvents({});
        QCOMPARE(waits, 40);
        QCOMPARE(modalRuns, 0);
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.server.callsStartingWith("connect").last(),
                 QStringLiteral("connect cn_iptcp:localhost[47711]:LORVEX"));
        QVERIFY(!windows.cashRegisterMonitor().controller().isStale());
    }

    void beendenUnloadsMainWindowAndEnds() {
        ShellFixture f;
        FMStart& main = f.program->start();
        QPointer<FMStart> guard = &main;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, main.Beenden_Click());
        QCOMPARE(f.fake.processEnd.endCount, 1);
        ShellFixture::flushDeletes();
        QVERIFY(guard.isNull());
    }
};

QTEST_MAIN(TestFMStart)
#include "tst_fmstart.moc"
