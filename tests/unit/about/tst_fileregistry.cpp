#include "FakePlatform.h"
#include "platform/FileRegistry.h"
#include "shell/SysInfoLauncher.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
const char* const kSample = "; registry stand-in for the tests\n"
                            "# a second kind of comment\n"
                            "\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
                            "\"PATH\"=\"/usr/bin/sysinfo tool\"\n"
                            "\"Quoted\"=\"say \\\"hi\\\" in C:\\\\Temp\"\n"
                            "@=\"default\"\n"
                            "\"Count\"=dword:0000002a\n"
                            "\"Raw\"=hex:01,FF, 20\n"
                            "\"Expand\"=hex(2):41,00\n"
                            "\"Empty\"=hex(3):\n"
                            "\"BadNumber\"=dword:123456789\n"
                            "\"BadBytes\"=hex:1,zz\n"
                            "garbage line without a name\n"
                            "\n"
                            "[HKLM\\Software\\Lorvex\\]\n"
                            "\"Name\"=\"kurz\"\n"
                            "\n"
                            "[HKEY_CURRENT_USER\\Software\\Lorvex]\n"
                            "\"Name\"=\"benutzer\"\n"
                            "\n"
                            "[HKEY_CLASSES_ROOT\\Ignored]\n"
                            "\"Name\"=\"nie\"\n"
                            "\n";
} // namespace

class TestFileRegistry : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QByteArray& content, const QString& name = "registry.ini") {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            qFatal("cannot write %s", qPrintable(path));
        }
        file.write(content);
        return path;
    }

    struct Read {
        long result = -1;
        std::uint32_t type = 0;
        QByteArray data;
        std::uint32_t size = 0;
    };
    static Read read(FileRegistry& registry, std::uint32_t root, const QString& key,
                     const QString& name, std::uint32_t bufferSize = 1024) {
        Read out;
        std::uintptr_t handle = 0;
        out.result = registry.openKey(root, key, SysInfoLauncher::kAllAccess, handle);
        if (out.result != Registry::Success) {
            return out;
        }
        out.data = QByteArray(bufferSize, '\0');
        out.size = bufferSize;
        out.result = registry.queryValue(handle, name, out.type, out.data, out.size);
        if (registry.closeKey(handle) != Registry::Success) {
            qFatal("closing an open key failed");
        }
        return out;
    }

private slots:
    void valuesOfEveryKind_data() {
        QTest::addColumn<std::uint32_t>("root");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<QByteArray>("data");
        const std::uint32_t hklm = Registry::LocalMachine;
        const QString msinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
        QTest::newRow("text") << hklm << msinfo << "PATH" << 1u
                              << QByteArray("/usr/bin/sysinfo tool\0", 22);
        QTest::newRow("escapes") << hklm << msinfo << "Quoted" << 1u
                                 << QByteArray("say \"hi\" in C:\\Temp\0", 20);
        QTest::newRow("default value") << hklm << msinfo << "" << 1u << QByteArray("default\0", 8);
        QTest::newRow("number") << hklm << msinfo << "Count" << 4u << QByteArray("\x2a\0\0\0", 4);
        QTest::newRow("binary") << hklm << msinfo << "Raw" << 3u << QByteArray("\x01\xff\x20", 3);
        QTest::newRow("typed bytes") << hklm << msinfo << "Expand" << 2u << QByteArray("A\0", 2);
        QTest::newRow("no bytes") << hklm << msinfo << "Empty" << 3u << QByteArray();
        QTest::newRow("any case") << hklm << "software\\microsoft\\shared tools\\msinfo"
                                  << "path" << 1u << QByteArray("/usr/bin/sysinfo tool\0", 22);
        QTest::newRow("short root, closing backslash") << hklm << "Software\\Lorvex"
                                                       << "Name" << 1u << QByteArray("kurz\0", 5);
        QTest::newRow("current user") << std::uint32_t(Registry::CurrentUser) << "Software\\Lorvex"
                                      << "Name" << 1u << QByteArray("benutzer\0", 9);
    }
    void valuesOfEveryKind() {
        QFETCH(std::uint32_t, root);
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(std::uint32_t, type);
        QFETCH(QByteArray, data);
        FileRegistry registry(writeFile(kSample));
        const Read got = read(registry, root, key, name);
        QCOMPARE(got.result, Registry::Success);
        QCOMPARE(got.type, type);
        QCOMPARE(got.size, std::uint32_t(data.size()));
        QCOMPARE(got.data.left(data.size()), data);
        // The rest of the caller's buffer is left as it was.
        QCOMPARE(got.data.size(), 1024);
        QVERIFY(got.data.mid(data.size()).count('\0') == got.data.size() - data.size());
    }

    void malformedLinesAndUnknownPlacesAreNotFound() {
        FileRegistry registry(writeFile(kSample));
        const QString msinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
        QCOMPARE(read(registry, Registry::LocalMachine, msinfo, "BadNumber").result,
                 Registry::FileNotFound);
        QCOMPARE(read(registry, Registry::LocalMachine, msinfo, "BadBytes").result,
                 Registry::FileNotFound);
        QCOMPARE(read(registry, Registry::LocalMachine, msinfo, "garbage").result,
                 Registry::FileNotFound);
        QCOMPARE(read(registry, Registry::LocalMachine, "SOFTWARE\\Fehlt", "PATH").result,
                 Registry::FileNotFound);
        QCOMPARE(read(registry, Registry::LocalMachine, "Ignored", "Name").result,
                 Registry::FileNotFound);
    }

    void tooSmallBufferReportsMoreDataAndTheNeededSize() {
        FileRegistry registry(writeFile(kSample));
        const Read got = read(registry, Registry::LocalMachine,
                              "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", 10);
        QCOMPARE(got.result, Registry::MoreData);
        QCOMPARE(got.size, 22u);
    }

    void handlesAreCheckedAndFreed() {
        FileRegistry registry(writeFile(kSample));
        std::uintptr_t handle = 0;
        QCOMPARE(registry.openKey(Registry::LocalMachine, "Software\\Lorvex", 0, handle),
                 Registry::Success);
        QVERIFY(handle != 0);
        QCOMPARE(registry.closeKey(handle), Registry::Success);
        QVERIFY(registry.closeKey(handle) != Registry::Success);
        QVERIFY(registry.closeKey(0) != Registry::Success);
        std::uint32_t type = 0;
        std::uint32_t size = 1024;
        QByteArray data(1024, '\0');
        QVERIFY(registry.queryValue(handle, "Name", type, data, size) != Registry::Success);
    }

    void missingOrOversizedFileOpensNothing() {
        FileRegistry missing(dir.filePath("does-not-exist.ini"));
        QCOMPARE(read(missing, Registry::LocalMachine, "Software\\Lorvex", "Name").result,
                 Registry::FileNotFound);
        QByteArray big = "[HKLM\\Software\\Lorvex]\n\"Name\"=\"x\"\n";
        big.append(QByteArray(1024 * 1024, ';'));
        FileRegistry oversized(writeFile(big, "big.ini"));
        QCOMPARE(read(oversized, Registry::LocalMachine, "Software\\Lorvex", "Name").result,
                 Registry::FileNotFound);
    }

    void editsApplyAtTheNextOpen() {
        const QString path = writeFile("[HKLM\\Software\\Lorvex]\n\"Name\"=\"alt\"\n");
        FileRegistry registry(path);
        QCOMPARE(read(registry, Registry::LocalMachine, "Software\\Lorvex", "Name").data.left(4),
                 QByteArray("alt\0", 4));
        writeFile("[HKLM\\Software\\Lorvex]\r\n\"Name\"=\"neu\"\r\n");
        QCOMPARE(read(registry, Registry::LocalMachine, "Software\\Lorvex", "Name").data.left(4),
                 QByteArray("neu\0", 4));
    }

    void environmentNamesTheFile() {
        const QByteArray saved = qgetenv("LORVEX_REGISTRY_FILE");
        qputenv("LORVEX_REGISTRY_FILE", "/tmp/anderswo.ini");
        QCOMPARE(FileRegistry().filePath(), QString("/tmp/anderswo.ini"));
        qunsetenv("LORVEX_REGISTRY_FILE");
        QCOMPARE(FileRegistry().filePath(), QString("/etc/lorvex/registry.ini"));
        if (!saved.isEmpty()) {
            qputenv("LORVEX_REGISTRY_FILE", saved);
        }
    }

    void anAdministratorCanNameTheProgram() {
        FakePlatform fake;
        FileRegistry registry(writeFile(kSample));
        Platform platform{fake.time,       fake.time,     fake.time, fake.messages, fake.cursor,
                          fake.processEnd, fake.settings, registry,  fake.launcher};
        SysInfoLauncher(platform).StartSysInfo();
        QCOMPARE(fake.launcher.started, QStringList{"/usr/bin/sysinfo tool"});
        QVERIFY(fake.messages.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileRegistry)
#include "tst_fileregistry.moc"
