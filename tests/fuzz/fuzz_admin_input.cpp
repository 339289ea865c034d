// Feeds an operator's input through the server's command line and admin commands: a command
// line made of known words and arbitrary text, a database URL, and an admin command run with the
// rest of the input as its standard input, against a throw-away SQLite store with the demo data
// (made once per process). Besides "no crash" it checks: a refused command line says why; an
// accepted one holds only what its command takes; an accepted database URL hands libpq no
// keyword it did not list; an admin command ends with 0 or 2, and one that ends with 2 has
// changed no telemetry.
#include "AdminCommands.h"
#include "PostgresLocation.h"
#include "ServerCommandLine.h"
#include "Store.h"
#include "ThrowAwayStore.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTextStream>

#include <fuzzer/FuzzedDataProvider.h>
#include <libpq-fe.h>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The words a command line is made of, so that whole commands come up often.
const QStringList& words() {
    static const QStringList list = [] {
        QStringList result{"--db",
                           "/fuzz/store.db",
                           "postgresql://u@h/d?sslmode=require",
                           "--listen",
                           "127.0.0.1:0",
                           "[::1]:1972",
                           "--demo",
                           "--simulate",
                           "--no-kept-replies",
                           "--signin-delay-ms",
                           "--max-sessions-per-address",
                           "--budget-mib",
                           "--tls-cert",
                           "--tls-key",
                           "--help",
                           "--version",
                           "--password-stdin",
                           "--replace",
                           "-",
                           "1",
                           "0",
                           "J"};
        for (auto it = ServerCommandLine::adminCommands().cbegin();
             it != ServerCommandLine::adminCommands().cend(); ++it) {
            result << it.key();
            for (const QString& option : it.value()) {
                result << QStringLiteral("--") + option;
            }
        }
        result.removeDuplicates();
        return result;
    }();
    return list;
}

QString consumeValue(FuzzedDataProvider& input) {
    static const QStringList numbers{"0", "1", "2", "3", "007", "-1", "J", "N", ""};
    if (input.ConsumeBool()) {
        return numbers.at(input.ConsumeIntegralInRange<qsizetype>(0, numbers.size() - 1));
    }
    return QString::fromStdString(input.ConsumeRandomLengthString(48));
}

// A command line: either an admin command with some of the options it takes, or any words.
QStringList consumeArguments(FuzzedDataProvider& input) {
    QStringList arguments{QStringLiteral("lorvex-server")};
    if (input.ConsumeBool()) {
        const QMap<QString, QStringList>& commands = ServerCommandLine::adminCommands();
        const auto command = std::next(
            commands.cbegin(), input.ConsumeIntegralInRange<qsizetype>(0, commands.size() - 1));
        arguments << QStringLiteral("--db") << QStringLiteral("/fuzz/store.db") << command.key();
        for (const QString& option : command.value()) {
            if (input.ConsumeBool()) {
                arguments << QStringLiteral("--") + option << consumeValue(input);
            }
        }
        if (command.key().startsWith(QLatin1String("import-"))) {
            arguments << QStringLiteral("-");
        }
        return arguments;
    }
    const int count = input.ConsumeIntegralInRange<int>(0, 16);
    for (int i = 0; i < count; ++i) {
        if (input.ConsumeBool()) {
            arguments << words().at(input.ConsumeIntegralInRange<qsizetype>(0, words().size() - 1));
        } else {
            arguments << QString::fromStdString(input.ConsumeRandomLengthString(48));
        }
    }
    return arguments;
}

// A database URL whose query holds connection keywords, known ones mostly, with values of any
// bytes (percent-encoded, as an operator would write them).
QString consumeUrl(FuzzedDataProvider& input) {
    static const QStringList keywords{
        "sslmode",         "sslrootcert", "connect_timeout", "application_name",
        "keepalives_idle", "host",        "dbname"};
    QStringList items;
    const int count = input.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < count; ++i) {
        const QString keyword =
            input.ConsumeBool()
                ? keywords.at(input.ConsumeIntegralInRange<qsizetype>(0, keywords.size() - 1))
                : QString::fromStdString(input.ConsumeRandomLengthString(16));
        // A value of pieces: free bytes, the characters libpq gives a meaning, and keywords.
        QByteArray value;
        const int pieces = input.ConsumeIntegralInRange<int>(1, 4);
        for (int piece = 0; piece < pieces; ++piece) {
            switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0:
                value += QByteArray::fromStdString(input.ConsumeRandomLengthString(16));
                break;
            case 1:
                value += "= '\\\t"[input.ConsumeIntegralInRange<int>(0, 4)];
                break;
            default:
                value +=
                    keywords.at(input.ConsumeIntegralInRange<qsizetype>(0, keywords.size() - 1))
                        .toLatin1();
            }
        }
        items << keyword + QLatin1Char('=') +
                     QString::fromLatin1(input.ConsumeBool() ? value.toPercentEncoding() : value);
    }
    return QStringLiteral("postgresql://u@h/d?") + items.join(QLatin1Char('&'));
}

// What libpq reads from the options as the PostgreSQL engine hands them over ("keyword=value",
// blank-separated): exactly the keywords listed, or nothing it can read at all.
void checkLocation(const QString& text) {
    QString problem;
    const std::optional<PostgresLocation> location = PostgresLocation::parse(text, problem);
    if (!location) {
        require(!problem.isEmpty());
        return;
    }
    QStringList given;
    QStringList pairs;
    for (const auto& [keyword, value] : location->options) {
        given << keyword;
        pairs << keyword + QLatin1Char('=') + value;
    }
    if (pairs.isEmpty()) {
        return;
    }
    char* error = nullptr;
    PQconninfoOption* read =
        PQconninfoParse(pairs.join(QLatin1Char(' ')).toUtf8().constData(), &error);
    if (!read) {
        PQfreemem(error);
        return; // the connection fails; nothing else was asked for
    }
    QStringList keywords;
    for (const PQconninfoOption* option = read; option->keyword; ++option) {
        if (option->val) {
            keywords << QString::fromUtf8(option->keyword);
        }
    }
    PQconninfoFree(read);
    given.removeDuplicates();
    given.sort();
    keywords.sort();
    require(keywords == given);
}

void checkCommandLine(const ServerCommandLine& line) {
    using Mode = ServerCommandLine::Mode;
    require(!line.helpText.isEmpty());
    require((line.mode == Mode::Error) == !line.errorText.isEmpty());
    if (line.mode == Mode::Serve) {
        require(!line.dbPath.isEmpty() && !line.listen.isEmpty());
        require(line.maxSessionsPerAddress >= 1 && line.budgetMiB >= 1);
        require(line.tlsCertificate.isEmpty() == line.tlsKey.isEmpty());
    }
    if (line.mode == Mode::Admin) {
        const auto command = ServerCommandLine::adminCommands().constFind(line.command);
        require(command != ServerCommandLine::adminCommands().constEnd());
        for (auto it = line.options.cbegin(); it != line.options.cend(); ++it) {
            require(command->contains(it.key()));
        }
    }
    for (const QString& url : {line.dbPath, line.options.value(QStringLiteral("to"))}) {
        if (PostgresLocation::isUrl(url)) {
            checkLocation(url);
        }
    }
}

Store& fuzzStore() {
    static ThrowAwayStore instance;
    return instance.store();
}

// The telemetry an admin command can touch here: companies 1 and 2, branches 0 to 3.
QStringList telemetry(const Store& store) {
    QStringList replies;
    for (qint64 firma = 1; firma <= 2; ++firma) {
        for (qint64 branch = 0; branch <= 3; ++branch) {
            replies << store.registerReply(firma, branch) << store.clockReply(firma, branch);
        }
    }
    return replies;
}

// Commands that hash a password (a tenth of a second each) or write another database are left
// to the tests; everything else runs.
bool runsHere(const ServerCommandLine& line) {
    return line.mode == ServerCommandLine::Mode::Admin && line.command != QLatin1String("copy") &&
           line.command != QLatin1String("seed-demo") &&
           !line.options.contains(QStringLiteral("password")) &&
           !line.options.contains(QStringLiteral("password-stdin")) &&
           (line.files.isEmpty() || line.files.first() == QLatin1String("-"));
}

void runAdmin(const ServerCommandLine& line, const std::string& standardInput) {
    Store& store = fuzzStore();
    static int runs = 0;
    if (++runs % 256 == 0) {
        // Records appended run after run would make every later run slower.
        for (qint64 firma = 1; firma <= 2; ++firma) {
            for (qint64 branch = 0; branch <= 3; ++branch) {
                store.clearRegisters(firma, branch);
            }
        }
    }
    const QStringList before = telemetry(store);
    QByteArray inputBytes = QByteArray::fromStdString(standardInput);
    QBuffer inputDevice(&inputBytes);
    inputDevice.open(QIODevice::ReadOnly);
    QTextStream in(&inputDevice);
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    AdminCommands commands(store, QStringLiteral("/fuzz/store.db"), out, err, in);
    const int code = commands.run(line.command, line.options, line.files);
    require(code == 0 || code == 2);
    if (code == 2) {
        err.flush();
        require(!errText.isEmpty() && telemetry(store) == before);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    fuzzStore();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QStringList arguments = consumeArguments(input);
    checkLocation(consumeUrl(input));
    const ServerCommandLine line = ServerCommandLine::parse(arguments);
    checkCommandLine(line);
    if (runsHere(line)) {
        runAdmin(line, input.ConsumeRemainingBytesAsString());
    }
    return 0;
}
