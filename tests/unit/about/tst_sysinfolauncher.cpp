#include "FakePlatform.h"
#include "lorvex_version.h"
#include "shell/SysInfoLauncher.h"

#include <QtTest>

namespace {
const QString kMsinfo = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocation = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kUnavailable = QStringLiteral("Systeminformationen sind momentan nicht verfügbar");

// A text value as the registry holds it: the characters and a closing 0.
MemoryRegistry::Value text(const QByteArray& content, std::uint32_t type = 1) {
    return {type, content + QByteArray(1, '\0')};
}
} // namespace

class TestSysInfoLauncher : public QObject {
    Q_OBJECT

    FakePlatform* fake = nullptr;
    SysInfoLauncher* launcher = nullptr;

    void setPath(const MemoryRegistry::Value& value) {
        fake->registry.setValue(Registry::LocalMachine, kMsinfo, "PATH", value);
    }
    void setLocation(const QByteArray& folder) {
        fake->registry.setValue(Registry::LocalMachine, kLocation, "MSINFO", text(folder));
    }
    void verifyUnavailableShownOnce() {
        QCOMPARE(fake->messages.shown.size(), 1);
        const ShownMessage& box = fake->messages.shown.first();
        QCOMPARE(box.text, kUnavailable);
        QCOMPARE(box.title, QString::fromUtf8(lorvex::kAppTitle));
        QCOMPARE(box.buttons, MsgButtons::Ok);
        QCOMPARE(box.icon, MsgIcon::None);
        QVERIFY(fake->launcher.started.isEmpty());
    }

private slots:
    void init() {
        fake = new FakePlatform;
        launcher = new SysInfoLauncher(fake->platform);
        fake->messages.queueAnswer(MsgAnswer::Ok);
    }
    void cleanup() {
        // Whatever happened, no key stays open.
        QCOMPARE(fake->registry.openHandles(), 0);
        delete launcher;
        delete fake;
    }

    void pathValueIsStartedUnchangedWithoutFileCheck() {
        setPath(text("C:\\Programme\\Gemeinsame Dateien\\MSINFO\\MSINFO32.EXE"));
        setLocation("D:\\woanders");
        launcher->StartSysInfo();
        QCOMPARE(fake->launcher.started,
                 QStringList{"C:\\Programme\\Gemeinsame Dateien\\MSINFO\\MSINFO32.EXE"});
        QVERIFY(fake->messages.shown.isEmpty());
        QCOMPARE(fake->registry.closeCalls, 1);
    }

    void secondLocationNeedsTheProgramFile_data() {
        QTest::addColumn<bool>("fileThere");
        QTest::newRow("file present") << true;
        QTest::newRow("file missing") << false;
    }
    void secondLocationNeedsTheProgramFile() {
        QFETCH(bool, fileThere);
        setLocation("C:\\Programme\\Gemeinsame Dateien\\MSINFO");
        const QString program = "C:\\Programme\\Gemeinsame Dateien\\MSINFO\\MSINFO32.EXE";
        if (fileThere) {
            fake->launcher.existingFiles << program;
        }
        launcher->StartSysInfo();
        if (fileThere) {
            QCOMPARE(fake->launcher.started, QStringList{program});
            QVERIFY(fake->messages.shown.isEmpty());
        } else {
            verifyUnavailableShownOnce();
        }
        // Both reads closed their key, the failed first open included.
        QCOMPARE(fake->registry.closeCalls, 2);
    }

    void neitherValueShowsTheMessage() {
        launcher->StartSysInfo();
        verifyUnavailableShownOnce();
        QCOMPARE(fake->registry.closeCalls, 2);
    }

    void pathOfAnotherTextTypeCountsAsFoundButStartsNothing() {
        setPath(text("%ProgramFiles%\\msinfo32.exe", 2));
        setLocation("C:\\msinfo");
        fake->launcher.existingFiles << "C:\\msinfo\\MSINFO32.EXE";
        launcher->StartSysInfo();
        verifyUnavailableShownOnce();
        QCOMPARE(fake->registry.closeCalls, 1); // the second location is never read
    }

    void pathLongerThanTheBufferFallsBackToSecondLocation() {
        setPath(text(QByteArray(1100, 'x')));
        setLocation("C:\\msinfo");
        fake->launcher.existingFiles << "C:\\msinfo\\MSINFO32.EXE";
        launcher->StartSysInfo();
        QCOMPARE(fake->launcher.started, QStringList{"C:\\msinfo\\MSINFO32.EXE"});
        QCOMPARE(fake->registry.closeCalls, 2);
    }

    void pathFillingTheBufferExactlyIsRead() {
        const QByteArray program = "C:\\" + QByteArray(1020, 'p');
        setPath(text(program)); // 1,023 characters and the closing 0
        launcher->StartSysInfo();
        QCOMPARE(fake->launcher.started, QStringList{QString::fromLatin1(program)});
    }

    void emptyValueEndsInTheMessageAndClosesTheKey() {
        setPath({1, QByteArray()});
        setLocation("C:\\msinfo");
        fake->launcher.existingFiles << "C:\\msinfo\\MSINFO32.EXE";
        launcher->StartSysInfo();
        verifyUnavailableShownOnce();
        QCOMPARE(fake->registry.closeCalls, 1);
    }

    void failedStartShowsTheMessage() {
        setPath(text("C:\\msinfo32.exe"));
        fake->launcher.startSucceeds = false;
        launcher->StartSysInfo();
        QCOMPARE(fake->launcher.started, QStringList{"C:\\msinfo32.exe"});
        QCOMPARE(fake->messages.shown.size(), 1);
        QCOMPARE(fake->messages.shown.first().text, kUnavailable);
    }

    void deniedFullAccessShowsTheMessageAndStillCloses() {
        setPath(text("C:\\msinfo32.exe"));
        fake->registry.denyOpen = true;
        launcher->StartSysInfo();
        verifyUnavailableShownOnce();
        QCOMPARE(fake->registry.closeCalls, 2);
    }

    void getKeyValueByType_data() {
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text with closing 0") << 1u << QByteArray("abc\0", 4) << "abc";
        QTest::newRow("text without closing 0") << 1u << QByteArray("abc") << "abc";
        QTest::newRow("text with inner blanks") << 1u << QByteArray("a b \0", 5) << "a b ";
        QTest::newRow("number, all bytes")
            << 4u << QByteArray("\x78\x56\x34\x12", 4) << "&h12345678";
        // The cut drops a last byte of 0, which leaves the number's value unchanged.
        QTest::newRow("number, high byte 0")
            << 4u << QByteArray("\x2a\x00\x00\x00", 4) << "&h00002A";
        QTest::newRow("binary keeps the passed text")
            << 3u << QByteArray("\x01\x02", 2) << "vorher";
        QTest::newRow("multi-text keeps the passed text")
            << 7u << QByteArray("a\0b\0\0", 5) << "vorher";
    }
    void getKeyValueByType() {
        QFETCH(std::uint32_t, type);
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        fake->registry.setValue(Registry::LocalMachine, "SOFTWARE\\Test", "Wert", {type, data});
        QString result = "vorher";
        QVERIFY(launcher->GetKeyValue(Registry::LocalMachine, "SOFTWARE\\Test", "Wert", result));
        QCOMPARE(result, expected);
        QCOMPARE(fake->registry.closeCalls, 1);
    }

    void getKeyValueFailureEmptiesTheResult() {
        fake->registry.setValue(Registry::LocalMachine, "SOFTWARE\\Test", "Wert", text("x"));
        QString result = "vorher";
        QVERIFY(!launcher->GetKeyValue(Registry::LocalMachine, "SOFTWARE\\Test", "Fehlt", result));
        QVERIFY(result.isEmpty());
        result = "vorher";
        QVERIFY(!launcher->GetKeyValue(Registry::CurrentUser, "SOFTWARE\\Test", "Wert", result));
        QVERIFY(result.isEmpty());
        QCOMPARE(fake->registry.closeCalls, 2);
    }

    void getKeyValueOfEmptyValueThrowsAfterClosing() {
        fake->registry.setValue(Registry::LocalMachine, "SOFTWARE\\Test", "Leer", {1, {}});
        QString result;
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            launcher->GetKeyValue(Registry::LocalMachine, "SOFTWARE\\Test", "Leer", result));
        QCOMPARE(fake->registry.closeCalls, 1);
    }
};

QTEST_GUILESS_MAIN(TestSysInfoLauncher)
#include "tst_sysinfolauncher.moc"
