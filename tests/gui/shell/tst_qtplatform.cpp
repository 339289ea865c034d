#include "platform/FreedesktopNotifications.h"
#include "platform/QtEventPump.h"
#include "platform/QtMouseCursor.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtTimer.h"
#include "shell/ProgramCaption.h"
#include "shell/ProgramOptions.h"
#include "shell/QtTranslations.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeySequence>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The desktop's notification service as far as the monitor uses it: what it was asked to show.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString&, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received << icon + ' ' + summary + ": " + body;
        return static_cast<uint>(received.size());
    }

public:
    QStringList received;
};

// The tray, the fallback: what reached its balloons.
class RecordingTray : public DesktopNotifications {
public:
    void showState(State, const QString& tip) override { tooltip = tip; }
    void notify(const QString& title, const QString& text) override { told << title + ": " + text; }
    void setOnActivated(std::function<void()>) override {}
    QStringList told;
    QString tooltip;
};

} // namespace

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
    void timerWithIntervalZeroNeverFires() {
        QtTimer timer;
        int fired = 0;
        timer.setOnTimeout([&] { ++fired; });
        timer.setInterval(0);
        timer.setEnabled(true);
        QTest::qWait(30);
        QCOMPARE(fired, 0);
        QVERIFY(timer.isEnabled());

        timer.setInterval(5);
        QTRY_VERIFY_WITH_TIMEOUT(fired >= 2, 2000);
        timer.setEnabled(false);
        const int stopped = fired;
        QTest::qWait(30);
        QCOMPARE(fired, stopped);
    }

    void timerHandlerMayDeleteItsTimer() {
        auto* timer = new QtTimer;
        bool fired = false;
        timer->setOnTimeout([&] {
            fired = true;
            delete timer;
        });
        timer->setInterval(1);
        timer->setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(fired, 2000);
    }

    void waitForSleepsWhileTimersRun() {
        QtEventPump pump;
        QtTimer timer;
        int fired = 0;
        timer.setOnTimeout([&] { ++fired; });
        timer.setInterval(10);
        timer.setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        pump.waitFor(120);
        QVERIFY(clock.elapsed() >= 110);
        QVERIFY(fired >= 3);
    }

    void settingsRoundTripAndDefaults() {
        QTemporaryDir dir;
        {
            QtSettingsStore store(dir.path());
            QCOMPARE(store.get("Cache Login", "Login", "Port", "1973"), QStringLiteral("1973"));
            store.save("Cache Login", "Login", "Server", " host name ");
            store.save("Cache Login", "Login", "Firma", "");
            store.sync();
        }
        QtSettingsStore reread(dir.path());
        // Values come back as they were stored, blanks and empty texts included.
        QCOMPARE(reread.get("Cache Login", "Login", "Server", "x"), QStringLiteral(" host name "));
        QCOMPARE(reread.get("Cache Login", "Login", "Firma", "1"), QString());
        QCOMPARE(reread.get("Other", "Login", "Server", "d"), QStringLiteral("d"));
    }

    void cursorOverridesTheWholeProgram() {
        QtMouseCursor cursor;
        cursor.set(MouseCursor::Hourglass);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        cursor.set(MouseCursor::Arrow);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        QCOMPARE(cursor.current(), MouseCursor::Arrow);
        cursor.set(MouseCursor::Default);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void qtsOwnTextsAreGerman() {
        QVERIFY(installGermanQtTranslations(*QCoreApplication::instance()));
        QCOMPARE(QKeySequence(Qt::CTRL | Qt::Key_F1).toString(QKeySequence::NativeText),
                 QStringLiteral("Strg+F1"));
        // The text boxes' context menu.
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("Einf&ügen"));
    }

    void programCaptions() {
        QCOMPARE(ProgramCaption(0), QStringLiteral("&Zeiterfassung"));
        QCOMPARE(ProgramCaption(1), QStringLiteral("&Kassa"));
        QCOMPARE(ProgramCaption(2), QString());
    }

    void commandLineOptions() {
        ProgramOptions run = ProgramOptions::parse({"1", "0", "DEMO", "demo", "localhost", "1972"});
        QCOMPARE(run.mode, ProgramOptions::Mode::Run);
        QCOMPARE(run.commandLine, QStringLiteral("1 0 DEMO demo localhost 1972"));
        // An empty argument stays an empty field between single blanks.
        QCOMPARE(ProgramOptions::parse({"1", "", "ABC"}).commandLine, QStringLiteral("1  ABC"));
        QCOMPARE(ProgramOptions::parse({}).commandLine, QString());

        QCOMPARE(ProgramOptions::parse({"--version"}).mode, ProgramOptions::Mode::Version);
        QCOMPARE(ProgramOptions::parse({"--help"}).mode, ProgramOptions::Mode::Help);
        const ProgramOptions print = ProgramOptions::parse({"--print", "kassa", "1", "0"});
        QCOMPARE(print.mode, ProgramOptions::Mode::Print);
        QCOMPARE(print.printArguments, (QStringList{"kassa", "1", "0"}));
        QVERIFY(ProgramOptions::versionLine().startsWith("lorvex-monitor "));
    }

    // Notifications go to the desktop's notification service, where they stack (two at the
    // same moment are both there); without a service the tray's balloon takes them.
    void notificationsGoToTheDesktopServiceOrTheTray() {
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted(10000)) {
            QSKIP("dbus-daemon is not installed");
        }
        QVERIFY(daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, "lorvex-notifications");
        QVERIFY(bus.isConnected());
        RecordingTray tray;
        FreedesktopNotifications notifications(tray, bus);
        notifications.notify("LORVEX Monitor - Kassa", "Nr 3: 12 offen");
        QCOMPARE(tray.told, QStringList{"LORVEX Monitor - Kassa: Nr 3: 12 offen"});

        NotificationService service;
        QVERIFY(bus.registerService(FreedesktopNotifications::Service));
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots));
        notifications.notify("LORVEX Monitor - Kassa", "Nr 5: 11 offen");
        notifications.notify("LORVEX Monitor - Zeiterfassung", "Keine Verbindung zum Server");
        notifications.notifyGood("LORVEX Monitor - Zeiterfassung", "Wieder erreichbar");
        QTRY_COMPARE_WITH_TIMEOUT(service.received.size(), 3, 10000);
        QCOMPARE(service.received,
                 QStringList({"dialog-warning LORVEX Monitor - Kassa: Nr 5: 11 offen",
                              "dialog-warning LORVEX Monitor - Zeiterfassung: Keine Verbindung "
                              "zum Server",
                              "dialog-information LORVEX Monitor - Zeiterfassung: Wieder "
                              "erreichbar"}));
        QCOMPARE(tray.told.size(), 1);
        notifications.showState(DesktopNotifications::State::Good, "alles gut");
        QCOMPARE(tray.tooltip, QString("alles gut")); // the icon stays the tray's
        QDBusConnection::disconnectFromBus("lorvex-notifications");
        daemon.kill();
        daemon.waitForFinished();
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
