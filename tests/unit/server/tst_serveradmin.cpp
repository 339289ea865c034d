#include "AdminCommands.h"
#include "DemoData.h"
#include "ListenAddress.h"
#include "PasswordHash.h"
#include "PostgresLocation.h"
#include "ServerCommandLine.h"
#include "ServerError.h"
#include "Store.h"
#include "StoreCopy.h"
#include "TelemetrySimulator.h"

#include <QBuffer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

// The store under the classes, the admin commands that fill it, and the command line that
// chooses between serving and administration.
class TestServerAdmin : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Store> m_store;
    QString m_out;
    QString m_err;

    QString dbPath() const { return m_dir.filePath("admin.db"); }

    int admin(const QStringList& arguments, const QString& input = {}) {
        return adminOn(*m_store, dbPath(), arguments, input.toUtf8());
    }
    // input: the bytes of standard input, as a pipe would give them.
    int adminOn(Store& store, const QString& path, const QStringList& arguments,
                QByteArray input = {}) {
        const ServerCommandLine line =
            ServerCommandLine::parse(QStringList{"lorvex-server", "--db", path} + arguments);
        if (line.mode != ServerCommandLine::Mode::Admin) {
            m_err = line.errorText;
            return -1;
        }
        m_out.clear();
        m_err.clear();
        QTextStream out(&m_out);
        QTextStream err(&m_err);
        QBuffer inputDevice(&input);
        inputDevice.open(QIODevice::ReadOnly);
        QTextStream in(&inputDevice);
        return AdminCommands(store, path, out, err, in).run(line.command, line.options, line.files);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(dbPath());
        m_store = std::make_unique<Store>(dbPath());
    }
    void cleanup() { m_store.reset(); }

    void storeKeepsRowsAcrossReopeningAndReplacesByKey() {
        m_store->putUser({1, "ABC", "pw", "J", "A,B", "7", "10", "1", "8"});
        m_store->putUser({1, "ABC", "neu", "N", "A,B", "7", "10", "1", "8"});
        m_store->appendRegister({1, 0, 0, "9", "1", "01", "02"});
        m_store->appendRegister({1, 0, 0, "4", "2", "03", "04"});
        m_store.reset();
        m_store = std::make_unique<Store>(dbPath()); // schema exists: created only when missing
        const std::optional<UserRecord> user = m_store->user(1, "ABC");
        QVERIFY(user);
        QCOMPARE(user->passwordHash, "neu"); // the store keeps what it is given
        QCOMPARE(user->aktiv, "N");
        const QList<RegisterRecord> registers = m_store->registers(1, 0);
        QCOMPARE(registers.size(), 2);
        QCOMPARE(registers[0].kasse, "9"); // in the order they were added
        QCOMPARE(registers[1].seq, 2);
        QVERIFY(!m_store->user(2, "ABC"));
    }

    void aFailedTransactionLeavesNothing() {
        try {
            m_store->inTransaction([this] {
                m_store->putUser({1, "HALB", "x", "J", "", "", "", "", "0"});
                throw ServerError(ServerErrorNumber::Store, "mittendrin");
            });
            QFAIL("no exception");
        } catch (const ServerError&) {
        }
        QVERIFY(!m_store->user(1, "HALB"));
    }

    void aClearTextDatabaseIsConvertedOnceAndNewFilesArePrivate() {
        m_store.reset();
        const QString oldPath = m_dir.filePath("schema1.db");
        {
            // The tables as the first schema wrote them, passwords in clear text.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema1");
            db.setDatabaseName(oldPath);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("CREATE TABLE lx_user (firma BIGINT NOT NULL, code VARCHAR(64) NOT"
                               " NULL, passwort VARCHAR(128) NOT NULL, aktiv VARCHAR(8) NOT NULL,"
                               " pname VARCHAR(128) NOT NULL, pnr VARCHAR(32) NOT NULL, abtnr"
                               " VARCHAR(32) NOT NULL, dw VARCHAR(32) NOT NULL, bergrp VARCHAR(8)"
                               " NOT NULL, PRIMARY KEY (firma, code))"));
            QVERIFY(query.exec("INSERT INTO lx_user VALUES (1, 'DEMO', 'demo', 'J', 'M,D', '1',"
                               " '10', '2', '9'), (2, 'X', 'Ä ß\"', 'N', '', '', '', '', '0')"));
            db.close();
        }
        QSqlDatabase::removeDatabase("schema1");
        {
            Store converted(oldPath);
            QCOMPARE(converted.convertedPasswords(), 2);
            QVERIFY(
                PasswordHash::verify(converted.user(1, "DEMO")->passwordHash.toLatin1(), "demo"));
            const UserRecord other = *converted.user(2, "X");
            QVERIFY(PasswordHash::verify(other.passwordHash.toLatin1(), "Ä ß\""));
            QCOMPARE(other.aktiv, "N"); // everything else kept
        }
        Store again(oldPath);
        QCOMPARE(again.convertedPasswords(), 0);
        QVERIFY(PasswordHash::verify(again.user(1, "DEMO")->passwordHash.toLatin1(), "demo"));

        const QFileDevice::Permissions made = QFile::permissions(dbPath());
        QVERIFY(made.testFlag(QFileDevice::ReadOwner));
        QVERIFY(!(made & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther)));
    }

    void storeThatCannotBeOpenedThrows() {
        try {
            Store broken(m_dir.filePath("no/such/dir/x.db"));
            QFAIL("opened");
        } catch (const ServerError& error) {
            QCOMPARE(error.number(), ServerErrorNumber::Store);
        }
    }

    void setUserAddsThenChangesOnlyWhatIsGiven() {
        QCOMPARE(admin({"set-user", "--firma", "3", "--code", "NEU", "--password-stdin", "--name",
                        "Neu,Nina", "--rights", "8", "--department", "10", "--pnr", "300",
                        "--email", "n@X.AT"},
                       "geheim\nrest\n"),
                 0);
        QCOMPARE(admin({"set-user", "--firma", "3", "--code", "NEU", "--active", "N"}), 0);
        const std::optional<UserRecord> user = m_store->user(3, "NEU");
        QVERIFY(user);
        QVERIFY(PasswordHash::looksLikeHash(user->passwordHash));
        QVERIFY(PasswordHash::verify(user->passwordHash.toLatin1(), "geheim"));
        QVERIFY(!PasswordHash::verify(user->passwordHash.toLatin1(), "Geheim"));
        QCOMPARE(user->aktiv, "N");
        QCOMPARE(user->pname, "Neu,Nina");
        QCOMPARE(user->berGrp, "8");
        QCOMPARE(m_store->baseData(3, "300")->email, "n@X.AT");
        QVERIFY(!m_out.contains("geheim"));
    }

    // set-user writes an incomplete user all the same, but names each row or value the
    // monitor's sign-in will miss and the command that adds it.
    void setUserNamesWhatTheMonitorStillNeeds_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("named");
        const QStringList user{"set-user", "--firma", "1", "--code", "MAIER", "--password", "p"};
        QTest::newRow("complete") << user + QStringList{"--department", "10",       "--pnr",
                                                        "1010",         "--rights", "9"}
                                  << QStringList{};
        QTest::newRow("defaults only")
            << user
            << QStringList{"no department",
                           "set-user --firma 1 --code MAIER --department",
                           "no personnel number",
                           "--pnr NUMBER --email ADDRESS",
                           "rights group 0 is below 8",
                           "set-user --firma 1 --code MAIER --rights 8"};
        QTest::newRow("department missing")
            << user + QStringList{"--department", "20", "--pnr", "1010", "--rights", "8"}
            << QStringList{"department 20 does not exist",
                           "set-department --firma 1 --number 20 --title NAME"};
        QTest::newRow("base data missing")
            << user + QStringList{"--department", "10", "--pnr", "1011", "--rights", "8"}
            << QStringList{"personnel number 1011 has no base data",
                           "set-base-data --firma 1 --pnr 1011 --email ADDRESS"};
        QTest::newRow("--email adds the base data")
            << user + QStringList{"--department", "10",     "--pnr",    "1012",
                                  "--email",      "m@x.at", "--rights", "8"}
            << QStringList{};
        QTest::newRow("another company's rows do not count")
            << QStringList{"set-user", "--firma",      "2",  "--code", "MAIER", "--password",
                           "p",        "--department", "10", "--pnr",  "1010",  "--rights",
                           "9"}
            << QStringList{"department 10 does not exist in company 2",
                           "personnel number 1010 has no base data in company 2"};
    }
    void setUserNamesWhatTheMonitorStillNeeds() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, named);
        m_store->putDepartment({1, "10", "Verwaltung", "1"});
        m_store->putBaseData({1, "1010", "", ""});
        QCOMPARE(admin(arguments), 0);
        QVERIFY(m_store->user(arguments[2].toLongLong(), "MAIER"));
        for (const QString& text : named) {
            QVERIFY2(m_err.contains(text), qPrintable(m_err));
            // Each command named works as given, on the database the admin used.
            QVERIFY(m_err.contains("lorvex-server --db " + dbPath() + " set-"));
        }
        QCOMPARE(m_err.isEmpty(), named.isEmpty());

        // Naming the missing pieces closes every gap.
        if (!named.isEmpty()) {
            m_store->putDepartment({2, "10", "Zentrale", "10"});
            m_store->putBaseData({2, "1010", "", ""});
            QCOMPARE(admin({"set-user", "--firma", arguments[2], "--code", "MAIER", "--department",
                            "10", "--pnr", "1010", "--rights", "8"}),
                     0);
            QVERIFY2(m_err.isEmpty(), qPrintable(m_err));
        }
    }

    void badAdminInputChangesNothing_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("new user without password")
            << QStringList{"set-user", "--firma", "1", "--code", "X"} << QByteArray();
        QTest::newRow("empty password")
            << QStringList{"set-user", "--firma", "1", "--code", "X", "--password", ""}
            << QByteArray();
        QTest::newRow("active not J or N")
            << QStringList{"set-user",   "--firma", "1",        "--code", "X",
                           "--password", "p",       "--active", "ja"}
            << QByteArray();
        QTest::newRow("company not a number")
            << QStringList{"set-user", "--firma", "eins", "--code", "X", "--password", "p"}
            << QByteArray();
        QTest::newRow("negative company")
            << QStringList{"set-user", "--firma", "-1", "--code", "X", "--password", "p"}
            << QByteArray();
        QTest::newRow("bar in a register field")
            << QStringList{"set-register", "--firma", "1", "--branch", "0", "--register", "1|2"}
            << QByteArray();
        QTest::newRow("bar in a clock field")
            << QStringList{"set-clock", "--firma", "1",       "--branch", "0",
                           "--slot",    "1",       "--e-ist", "1|"}
            << QByteArray();
        QTest::newRow("slot 5") << QStringList{"set-clock", "--firma", "1", "--branch",
                                               "0",         "--slot",  "5"}
                                << QByteArray();
        QTest::newRow("line break in a name")
            << QStringList{"set-user",   "--firma", "1",      "--code", "X",
                           "--password", "p",       "--name", "a\nb"}
            << QByteArray();
        const QStringList registers{"import-registers", "--firma", "1", "--branch", "0", "-"};
        const QStringList clocks{"import-clocks", "--firma", "1", "--branch", "0", "-"};
        QTest::newRow("Latin-1 byte in an import")
            << registers << QByteArray("7|1|2|3\n\xe4|1|2|3\n");
        QTest::newRow("cut UTF-8 sequence in an import") << clocks << QByteArray("1|1|1|1|\xc3");
        QTest::newRow("empty import") << registers << QByteArray();
        QTest::newRow("import of comments only") << clocks << QByteArray("# leer\n\n");
    }
    void badAdminInputChangesNothing() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        m_store->appendRegister({1, 0, 0, "9", "1", "01", "02"});
        m_store->putClock({1, 0, 1, "1", "5", "5", "5", "5"});
        QCOMPARE(adminOn(*m_store, dbPath(), arguments, input), 2);
        QVERIFY(!m_err.isEmpty());
        QVERIFY(!m_store->user(1, "X"));
        QCOMPARE(m_store->registers(1, 0).size(), 1);
        QCOMPARE(m_store->clocks(1, 0).size(), 1);
    }

    void importReplacesTheBranchOrNothing() {
        const QString file = m_dir.filePath("kassa.txt");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("# register|count|first|last\n3|2|815|817\n\n5|1|020|020\n");
        out.close();
        m_store->appendRegister({1, 0, 0, "99", "1", "1", "1"});
        QCOMPARE(admin({"import-registers", "--firma", "1", "--branch", "0", file}), 0);
        QList<RegisterRecord> records = m_store->registers(1, 0);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[1].firstCnt, "020");
        // One record changed in the fields given; the others of it stay.
        QCOMPARE(admin({"set-register", "--firma", "1", "--branch", "0", "--record", "2", "--count",
                        "9"}),
                 0);
        // A feed: each block alone, a refused one changes nothing and the feed goes on.
        QCOMPARE(admin({"feed"}, "registers 1 3\n1|2|3|4\n.\nclocks 1 3\n1|2|3\n.\n"
                                 "registers 1 x\n.\n# comment\nclocks 1 3\n9|8|7|6|5\n.\n"),
                 0);
        QCOMPARE(m_out, "ok registers 1 3 1\nerror: clocks 1 3: record 1: nr|e-ist|e-soll|s-ist|"
                        "s-soll expected\nerror: \"registers 1 x\" is no head line (registers|"
                        "clocks FIRMA BRANCH)\nok clocks 1 3 1\n");
        QCOMPARE(m_store->registers(1, 3).size() + m_store->clocks(1, 3).size(), 2);
        QCOMPARE(m_store->registers(1, 0)[1].kasse + m_store->registers(1, 0)[1].anzahl +
                     m_store->registers(1, 0)[1].firstCnt + m_store->registers(1, 0)[1].lastCnt,
                 "59020020");

        QCOMPARE(
            admin({"import-registers", "--firma", "1", "--branch", "0", "-"}, "7|1|2|3\n8|1|2\n"),
            2);
        QCOMPARE(m_store->registers(1, 0).size(), 2); // a bad line: the old records stay

        // Data the server could not serve is refused before anything is written: more records
        // than the monitor folds, a reply over the protocol's text limit, a field over its column.
        QString many;
        for (int i = 0; i < 8193; ++i) {
            many += QString("%1|1|2|3\n").arg(i);
        }
        QString wide;
        for (int i = 0; i < 8192; ++i) { // 8192 records, every field at its 32 characters
            wide += QString("%1|%2|%2|%2\n").arg(i, 32, 10, QChar('0')).arg(QString(32, u'9'));
        }
        for (const QString& input :
             {many, wide, QString("1|" + QString(3000000, u'7') + "|1|1\n")}) {
            QCOMPARE(admin({"import-registers", "--firma", "1", "--branch", "0", "-"}, input), 2);
            QCOMPARE(m_store->registers(1, 0).size(), 2);
        }
        QCOMPARE(admin({"set-register", "--firma", "1", "--branch", "0", "--register", "4",
                        "--count", QString(33, u'1')}),
                 2);
        QCOMPARE(m_store->registers(1, 0).size(), 2);

        QCOMPARE(admin({"import-clocks", "--firma", "1", "--branch", "0", "-"},
                       "1|1|1|1|1\n2|2|2|2|2\n3|3|3|3|3\n4|4|4|4|4\n5|5|5|5|5\n"),
                 2);
        QVERIFY(m_store->clocks(1, 0).isEmpty());
        QCOMPARE(admin({"import-clocks", "--firma", "1", "--branch", "0", "-"}, "1|1|1|1|1\n"), 0);
        QCOMPARE(m_store->clocks(1, 0).size(), 1);

        // Emptying a branch takes --allow-empty; a file's bytes are checked as standard input's.
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write("# register|count|first|last\n3|2|8\xff"
                  "15|817\n");
        out.close();
        QCOMPARE(admin({"import-registers", "--firma", "1", "--branch", "0", file}), 2);
        QVERIFY(m_err.contains("line 2: not UTF-8"));
        QCOMPARE(m_store->registers(1, 0).size(), 2);
        QCOMPARE(admin({"import-registers", "--firma", "1", "--branch", "0", "--allow-empty", "-"}),
                 0);
        QVERIFY(m_store->registers(1, 0).isEmpty());
        QCOMPARE(admin({"import-clocks", "--firma", "1", "--branch", "0", "--allow-empty", "-"},
                       "# leer\n"),
                 0);
        QVERIFY(m_store->clocks(1, 0).isEmpty());
    }

    void copyThereAndBackKeepsEveryRowAndItsBytes() {
        QCOMPARE(admin({"set-user", "--firma", "1", "--code", "O'Brien \"Ä\"", "--password-stdin",
                        "--name", "Müller,Jürgen", "--pnr", "007", "--email", " a@B.AT "},
                       "Grüße-4711\n"),
                 0);
        m_store->putUser({2, "LEER", "$argon2id$x", "N", "", "", "", "", ""});
        m_store->putDepartment({1, "010", "Straße^Süd'", ""});
        m_store->putClock({1, 0, 3, "ß", "020", "019", "", "0"});
        m_store->inTransaction([this] {
            for (int seq = 1; seq <= 8192; ++seq) {
                m_store->putRegister({1, 7, seq, QString::number(seq % 13), "1", "020", "Ü"});
            }
        });
        const QString there = m_dir.filePath("there.db");
        const QString back = m_dir.filePath("back.db");
        QFile::remove(there);
        QFile::remove(back);
        QCOMPARE(admin({"copy", "--to", there}), 0);
        QVERIFY(m_out.contains("tm_register   8192 rows") && m_out.endsWith("identical\n"));
        {
            Store thereStore(there);
            QCOMPARE(adminOn(thereStore, there, {"copy", "--to", back}), 0);
        }
        Store copied(back);
        const UserRecord user = *copied.user(1, "O'Brien \"Ä\"");
        QCOMPARE(user.passwordHash, m_store->user(1, "O'Brien \"Ä\"")->passwordHash);
        QVERIFY(PasswordHash::verify(user.passwordHash.toLatin1(), "Grüße-4711"));
        QCOMPARE(copied.baseData(1, "007")->email, " a@B.AT ");
        QCOMPARE(copied.user(2, "LEER")->berGrp, "");
        QCOMPARE(copied.department(1, "010")->abtbez, "Straße^Süd'");
        QCOMPARE(copied.branches(), m_store->branches());
        for (const auto& [firma, filiale] : m_store->branches()) { // the replies, byte for byte
            QCOMPARE(copied.registerReply(firma, filiale), m_store->registerReply(firma, filiale));
            QCOMPARE(copied.clockReply(firma, filiale), m_store->clockReply(firma, filiale));
        }
        QCOMPARE(copied.registers(1, 7).last().seq, 8192);

        // The comparison names what differs, and stops after the number asked for.
        copied.putUser({2, "LEER", "$argon2id$y", "N", "", "", "", "", ""});
        copied.putUser({3, "NEU", "h", "J", "", "", "", "", ""});
        copied.putRegister({1, 7, 5, "99", "1", "020", "Ü"});
        copied.clearClocks(1, 0);
        QCOMPARE(StoreCopy(*m_store, copied).differences(10),
                 QStringList({"lx_user 2||LEER: differs in password_hash",
                              "lx_user 3||NEU: only in the target",
                              "tm_register 1||7||5: differs in kasse",
                              "tm_clock 1||0||3: missing in the target"}));
        QCOMPARE(StoreCopy(*m_store, copied).differences(2).size(), 2);
    }

    void copyRefusesToMergeOrToOverwriteItsSource() {
        const QString target = m_dir.filePath("target.db");
        const QString link = m_dir.filePath("link.db");
        QFile::remove(target);
        QFile::remove(link);
        QCOMPARE(admin({"copy", "--to", target}), 2); // an empty source: a mistyped --db
        QVERIFY(!QFile::exists(target));
        m_store->putUser({1, "A", "h1", "J", "", "", "", "", "0"});
        QVERIFY(QFile::link(dbPath(), link));
        {
            Store filled(target);
            filled.putUser({1, "A", "alt", "J", "", "", "", "", "0"});
            filled.putUser({9, "NUR-HIER", "h", "J", "", "", "", "", "0"});
        }
        for (const QStringList& refused :
             {QStringList{"copy", "--to", target}, QStringList{"copy", "--to", dbPath()},
              QStringList{"copy", "--to", link, "--replace"}, QStringList{"copy"}}) {
            QCOMPARE(admin(refused), 2);
            QVERIFY(!m_err.isEmpty());
        }
        QCOMPARE(m_store->allUsers().size(), 1);
        QCOMPARE(Store(target).user(1, "A")->passwordHash, "alt");

        QCOMPARE(admin({"copy", "--to", target, "--replace"}), 0);
        Store replaced(target);
        QCOMPARE(replaced.allUsers().size(), 1);
        QCOMPARE(replaced.user(1, "A")->passwordHash, "h1");
        QVERIFY(StoreCopy::sameDatabase("postgresql://a@localhost/lx",
                                        "postgresql://b@127.0.0.1:5432/lx"));
        QVERIFY(!StoreCopy::sameDatabase("postgresql://a@localhost/lx",
                                         "postgresql://a@localhost:5433/lx"));
    }

    void commandLineChoosesWhatToDo() {
        using Mode = ServerCommandLine::Mode;
        const auto parse = [](const QStringList& args) {
            return ServerCommandLine::parse(QStringList{"lorvex-server"} + args);
        };
        ServerCommandLine line = parse({"--db", "x.db"});
        QCOMPARE(line.mode, Mode::Serve);
        QCOMPARE(line.listen.size(), 1);
        QCOMPARE(line.listen[0].host, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(line.listen[0].port, 1972);

        line = parse({"--db", "x.db", "--listen", "127.0.0.1:1972", "--listen", "[::1]:0", "--demo",
                      "--simulate"});
        QCOMPARE(line.mode, Mode::Serve);
        QCOMPARE(line.listen.size(), 2);
        QCOMPARE(line.listen[1].host, QHostAddress(QHostAddress::LocalHostIPv6));
        QVERIFY(line.demo && line.simulate);
        // Limits lowered for tests, within their ranges, for serving only.
        line = parse({"--db", "x", "--stall-ms", "500", "--signin-window-ms", "800",
                      "--handshake-timeout-ms", "900", "--ipv6-prefix", "48",
                      "--log-lines-per-second", "0", "--check-threads", "3"});
        QCOMPARE(line.mode, Mode::Serve);
        QVERIFY(line.stallMs == 500 && line.signInWindowMs == 800 &&
                line.handshakeTimeoutMs == 900 && line.ipv6PrefixBits == 48 &&
                line.logLinesPerSecond == 0 && line.idleMs == 180000 && line.checkThreads == 3);
        QCOMPARE(parse({"--db", "x", "--stall-ms", "50"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--check-threads", "0"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--ipv6-prefix", "129"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "create-db", "--idle-ms", "1000"}).mode, Mode::Error);

        QCOMPARE(parse({"--help"}).mode, Mode::Help);
        QCOMPARE(parse({"--version"}).mode, Mode::Version);
        QCOMPARE(parse({"--listen", "127.0.0.1:1"}).mode, Mode::Error); // no --db
        QCOMPARE(parse({"--db", "x", "--listen", "127.0.0.1"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--listen", "127.0.0.1:70000"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--listen", "::1:5"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--listen", "server.example:5"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "--firma", "1"}).mode, Mode::Error); // admin option
        QCOMPARE(parse({"--db", "x", "drop-db"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "seed-demo", "--demo"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "set-department", "--code", "A"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "import-clocks", "--firma", "1"}).mode, Mode::Error); // FILE
        QCOMPARE(parse({"--db", "x", "set-clock", "--slot", "1", "--slot", "2"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "create-db"}).mode, Mode::Admin);
        QVERIFY(parse({"--db", "x", "copy", "--to", "y", "--replace"}).options.contains("replace"));
        QCOMPARE(parse({"--db", "x", "--replace"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "copy", "--to", "y", "z"}).mode, Mode::Error);
        QCOMPARE(parse({"--db", "x", "copy", "--to", "postgresql://lx:secret@db/lx"}).mode,
                 Mode::Error);

        // A database server: never a password on the command line, nothing left out.
        QCOMPARE(parse({"--db", "postgresql://lx@db.example:6432/lorvex?sslmode=verify-full"}).mode,
                 Mode::Serve);
        QCOMPARE(parse({"--db", "postgres://lx@127.0.0.1/lorvex", "create-db"}).mode, Mode::Admin);
        // The package's default file names the database after the unit's file: the last counts.
        QCOMPARE(parse({"--db", "x.db", "--db", "postgres://lx@h/db"}).dbPath,
                 "postgres://lx@h/db");
        for (const char* bad :
             {"postgresql://lx:secret@db/lorvex", "postgresql://db/lorvex", "postgresql://lx@db",
              "postgresql://lx@db/lorvex?password=x", "postgresql://lx@db/lorvex?host=other",
              // A value that would set another libpq keyword than the URL shows.
              "postgresql://lx@db/lorvex?application_name=x%20dbname=other",
              "postgresql://lx@db/lorvex?sslmode=require%09host=evil",
              "postgresql://lx@db/lorvex?application_name=&sslmode=verify-full",
              "postgresql://lx@db/lorvex?application_name=a'%20dbname='b",
              "postgresql://lx@db/lorvex?application_name=a%5Cb",
              // Every host of a list is one host, and the list holds no empty place.
              "postgresql://lx@db1,/lorvex", "postgresql://lx@db1,db2:x/lorvex",
              "postgresql://lx@db1,db%202/lorvex"}) {
            line = parse({"--db", bad});
            QVERIFY2(line.mode == Mode::Error, bad);
            QVERIFY(!line.errorText.contains(QStringLiteral("secret")));
            QCOMPARE(parse({"--db", "x.db", "copy", "--to", bad}).mode, Mode::Error);
        }
        const std::optional<PostgresLocation> location = PostgresLocation::parse(
            QStringLiteral("postgresql://lx@[::1]:6432/lorvex?connect_timeout=2"), line.errorText);
        QVERIFY(location);
        QCOMPARE(location->display(), QStringLiteral("postgresql://lx@[::1]:6432/lorvex"));
        QCOMPARE(location->options.value(0).second, QStringLiteral("2"));
        // A primary and its standby: libpq gets both, and picks the one that takes writes.
        const std::optional<PostgresLocation> pair = PostgresLocation::parse(
            QStringLiteral("postgresql://lx@db1:5433,[::1]/lorvex?target_session_attrs=read-write"),
            line.errorText);
        QVERIFY2(pair, qPrintable(line.errorText));
        QCOMPARE(pair->hostList() + " " + pair->portList(), "db1,::1 5433,5432");
        QCOMPARE(pair->display(), QStringLiteral("postgresql://lx@db1:5433,[::1]:5432/lorvex"));
    }

    void demoDataHasWhatTheMonitorNeeds() {
        DemoData::seed(*m_store);
        DemoData::seed(*m_store); // seeding twice gives the same data, not twice the records
        QCOMPARE(m_store->user(1, "DEMO")->berGrp, "9");
        QCOMPARE(m_store->user(1, "LESER")->berGrp, "5");
        QCOMPARE(m_store->user(1, "ALT")->aktiv, "N");
        QCOMPARE(m_store->registers(1, 0).size(), 6);
        QCOMPARE(m_store->clocks(1, 0).size(), 4);
        QCOMPARE(m_store->clocks(1, 1).size(), 4);
        QCOMPARE(m_store->branches().size(), 2);
    }

    void simulationMovesCountersButKeepsTheirShape() {
        DemoData::seed(*m_store);
        const QList<ClockRecord> before = m_store->clocks(1, 0);
        TelemetrySimulator simulator(*m_store, 42);
        for (int i = 0; i < 20; ++i) {
            simulator.step();
        }
        const QList<ClockRecord> after = m_store->clocks(1, 0);
        bool moved = false;
        for (int i = 0; i < after.size(); ++i) {
            QCOMPARE(after[i].eIst.toLongLong() - after[i].eSoll.toLongLong(),
                     before[i].eIst.toLongLong() - before[i].eSoll.toLongLong());
            moved = moved || after[i].eIst != before[i].eIst;
        }
        QVERIFY(moved);
        for (const RegisterRecord& record : m_store->registers(1, 0)) {
            QVERIFY(record.anzahl.toLongLong() >= 0);
            QVERIFY(record.firstCnt.size() >= 3);
        }
        QCOMPARE(TelemetrySimulator::addToCounter("020", 1), "021");
        QCOMPARE(TelemetrySimulator::addToCounter("999", 1), "1000");
        QCOMPARE(TelemetrySimulator::addToCounter("0", -1), "0");
        QCOMPARE(TelemetrySimulator::addToCounter("x7", 1), "x7");
    }
};

QTEST_GUILESS_MAIN(TestServerAdmin)
#include "tst_serveradmin.moc"
