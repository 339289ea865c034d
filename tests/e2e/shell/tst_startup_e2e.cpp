#include "FakePlatform.h"
#include "ServerProcess.h"
#include "monitors/frmKassa.h"
#include "objectclient/TcpCacheFactory.h"
#include "platform/LatchingButton.h"
#include "platform/ListControl.h"
#include "shell/FMStart.h"
#include "shell/MonitorProgram.h"
#include "signin/FMServer.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
// Factories from the real connectivity component, each creation stamped with the fake time.
CacheFactoryCreator stampedCreator(FakeTime& time, QList<qint64>& createdAt) {
    CacheFactoryCreator real = tcpCacheFactoryCreator(TcpTimeouts{2000, 5000, 500});
    return [real, &time, &createdAt] {
        createdAt.append(time.nowMs());
        return real();
    };
}

QString commandLine(const QString& user, const QString& password, quint16 port) {
    return QStringLiteral("1 0 %1 %2 127.0.0.1 %3").arg(user, password).arg(port);
}
} // namespace

// The program started from the command line against a real lorvex-server.
class TestStartupEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void demoUserSeesCaption() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        FakePlatform fake;
        QList<qint64> created;
        MonitorProgram program(fake.platform, stampedCreator(fake.time, created),
                               commandLine("DEMO", "demo", server.port()));
        FMStart& main = program.start();

        QVERIFY(main.isVisible());
        QCOMPARE(fake.messages.shown.size(), 0);
        QCOMPARE(created.size(), 1);
        const SignInState& state = program.state();
        QVERIFY(!state.gBenutzerName.isEmpty());
        QCOMPARE(main.windowTitle(),
                 QStringLiteral("LORVEX Monitor              Firma: 1     Filiale: 0     "
                                "Benutzer: DEMO|") +
                     state.gBenutzerName);
        QCOMPARE(state.gConnectString,
                 QStringLiteral("cn_iptcp:127.0.0.1[%1]:LORVEX").arg(server.port()));
        QCOMPARE(main.cmdUnterprogramm[1]->text(), QStringLiteral("&Kassa"));
    }

    void rightsGroupFiveEndsWithoutMessage() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        FakePlatform fake;
        QList<qint64> created;
        MonitorProgram program(fake.platform, stampedCreator(fake.time, created),
                               commandLine("LESER", "leser", server.port()));
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, program.start());
        QCOMPARE(fake.processEnd.endCount, 1);
        QCOMPARE(fake.messages.shown.size(), 0);
        QCOMPARE(program.state().gBerGrp, QStringLiteral("5"));
        QVERIFY(program.state().gFactory);
        QVERIFY(!program.state().gFactory->isConnected());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(program.windows().loadedWindows().isEmpty());
    }

    void serverCorrectedInTheDialogAfterACommandLineStartSignsIn() {
        ServerProcess moved;
        QVERIFY2(moved.start(), qPrintable(moved.errorText()));
        ServerProcess first;
        QVERIFY2(first.start(), qPrintable(first.errorText()));
        FakePlatform fake;
        QList<qint64> created;
        MonitorProgram program(fake.platform, stampedCreator(fake.time, created),
                               commandLine("DEMO", "demo", first.port()));
        program.start();
        QPointer<frmKassa> kassa = new frmKassa(program.api(), nullptr);
        kassa->Form_Load();
        QCOMPARE(kassa->lstKassa->rowCount(), 4);

        // The server moves. After three tries the user sets the new port in "LORVEX Server":
        // "Ändern", Yes, the port, "Ändern", Yes, "Zurück".
        first.stop();
        program.api().connection().DisconnectCache(); // what the idle minute does
        program.windows().setModalRunner([&](QWidget& dialog) {
            auto* server = qobject_cast<FMServer*>(&dialog);
            QVERIFY(server != nullptr);
            server->BUEdit->click();
            server->BPORT->setText(QString::number(moved.port()));
            server->BUEdit->click();
            server->BUZurück->click();
        });
        fake.messages.queueAnswer(MsgAnswer::Ok);
        fake.messages.queueAnswer(MsgAnswer::Yes);
        fake.messages.queueAnswer(MsgAnswer::Yes);
        kassa->lstKassa->clear();
        kassa->cmdRefresh_Click();

        // The password from the command line signed in on the new port; the rows are there.
        QCOMPARE(fake.messages.unexpected, 0);
        QCOMPARE(fake.messages.shown.size(), 3);
        QCOMPARE(kassa->lstKassa->rowCount(), 4);
        QVERIFY(!kassa->controller().isStale());
        QCOMPARE(moved.log().count("signed in as DEMO"), 1);
        QVERIFY(!moved.log().contains("sign-in refused"));
        delete kassa;
    }

    void stoppedServerEndsAfterRetryTimeline() {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        const quint16 port = server.port();
        server.stop();

        FakePlatform fake;
        QList<qint64> created;
        MonitorProgram program(fake.platform, stampedCreator(fake.time, created),
                               commandLine("DEMO", "demo", port));
        QList<qint64> dialogAt;
        program.windows().setModalRunner([&](QWidget& dialog) {
            dialogAt.append(fake.time.nowMs());
            dialog.hide();
        });
        QList<qint64> messageAt;
        fake.messages.setOnShow([&](const ShownMessage&) { messageAt.append(fake.time.nowMs()); });
        fake.messages.queueAnswer(MsgAnswer::Ok);
        fake.messages.queueAnswer(MsgAnswer::Ok);

        QVERIFY_THROWS_EXCEPTION(ProgramEnded, program.start());
        QCOMPARE(fake.processEnd.endCount, 1);
        QCOMPARE(fake.processEnd.lastExitCode, ExitCode::Failure);
        QCOMPARE(fake.messages.unexpected, 0);
        QCOMPARE(fake.messages.shown.size(), 2);
        QCOMPARE(fake.messages.shown[0].icon, MsgIcon::Warning);
        QVERIFY(fake.messages.shown[0].text.startsWith("Server nach 3 Versuchen"));
        QCOMPARE(fake.messages.shown[1].icon, MsgIcon::Critical);
        QVERIFY(fake.messages.shown[1].text.startsWith("Der Server ist nicht erreichbar!"));

        // Three tries 10 s apart, the message, the dialog, a try at once, two more 10 s apart,
        // the final message.
        QCOMPARE(created.size(), 6);
        const qint64 start = created[0];
        auto near = [](qint64 actual, qint64 expected) { return qAbs(actual - expected) < 1500; };
        QVERIFY(near(created[1] - start, 10000));
        QVERIFY(near(created[2] - start, 20000));
        QCOMPARE(messageAt.size(), 2);
        QVERIFY(near(messageAt[0] - start, 20000));
        QCOMPARE(dialogAt.size(), 1);
        QVERIFY(dialogAt[0] >= messageAt[0]);
        QVERIFY(near(created[3], dialogAt[0]));
        QVERIFY(near(created[4] - created[3], 10000));
        QVERIFY(near(created[5] - created[3], 20000));
        QVERIFY(near(messageAt[1], created[5]));
        QVERIFY(program.state().gBenutzer.isEmpty());
    }
};

QTEST_MAIN(TestStartupEndToEnd)
#include "tst_startup_e2e.moc"
