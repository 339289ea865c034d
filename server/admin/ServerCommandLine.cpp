#include "ServerCommandLine.h"

#include "PostgresLocation.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace {

struct ValueOption {
    const char* name;
    const char* valueName;
    const char* description;
};

const ValueOption kAdminOptions[] = {
    {"firma", "number", "company number"},
    {"code", "code", "user code"},
    {"password", "text", "password (prefer --password-stdin: a command line is visible)"},
    {"active", "J|N", "active flag, J for an active user"},
    {"name", "Nachname,Vorname", "user name in its stored form"},
    {"rights", "number", "rights group"},
    {"department", "number", "department number of the user"},
    {"pnr", "number", "personnel number"},
    {"extension", "number", "telephone extension"},
    {"fax", "number", "fax number"},
    {"email", "address", "e-mail address"},
    {"number", "number", "department number, or clock number"},
    {"main", "number", "main department number"},
    {"title", "Teil^Teil", "department name in its stored form, parts separated by ^"},
    {"branch", "number", "branch number"},
    {"register", "number", "cash register number"},
    {"count", "number", "transactions not yet posted"},
    {"first", "counter", "first transaction counter"},
    {"last", "counter", "last transaction counter"},
    {"record", "number", "sequence number of the record to replace (default: a new record)"},
    {"slot", "1-4", "position of the clock in the branch"},
    {"e-ist", "counter", "first counter, actual"},
    {"e-soll", "counter", "first counter, expected"},
    {"s-ist", "counter", "second counter, actual"},
    {"s-soll", "counter", "second counter, expected"},
    {"to", "database", "database to copy into: an SQLite file or a postgresql:// URL"},
};

const char kCommandsHelp[] =
    "\nAdmin commands (lorvex-server --db PATH COMMAND [options]):\n"
    "  create-db          create the database with its schema\n"
    "  seed-demo          write the demo data\n"
    "  set-user           --firma --code [--password|--password-stdin] [--active] [--name]\n"
    "                     [--rights] [--department] [--pnr] [--extension] [--fax] [--email]\n"
    "  set-department     --firma --number [--title] [--main]\n"
    "  set-base-data      --firma --pnr [--fax] [--email]\n"
    "  set-register       --firma --branch --register --count --first --last [--record]\n"
    "  clear-registers    --firma --branch\n"
    "  set-clock          --firma --branch --slot --number --e-ist --e-soll --s-ist --s-soll\n"
    "  import-registers   --firma --branch [--allow-empty] FILE   (replaces; a line:\n"
    "                     register|count|first|last)\n"
    "  import-clocks      --firma --branch [--allow-empty] FILE   (replaces; a line:\n"
    "                     nr|e-ist|e-soll|s-ist|s-soll)\n"
    "  feed               (standard input: blocks \"registers|clocks FIRMA BRANCH\", their\n"
    "                     records, a line \".\"; each imported as it comes, answered \"ok ...\"\n"
    "                     or \"error ...\" on standard output)\n"
    "  copy               --to DATABASE [--replace]   (every row into another database, which\n"
    "                     must be empty unless --replace; then both are compared)\n"
    "A FILE of \"-\" is read from standard input. An import refuses bytes that are not UTF-8,\n"
    "and a FILE without a record (empty, or only blank and # lines) unless --allow-empty;\n"
    "refused input changes nothing and exits with 2.\n";

ServerCommandLine failed(ServerCommandLine result, const QString& text) {
    result.mode = ServerCommandLine::Mode::Error;
    result.errorText = text;
    return result;
}

} // namespace

const QMap<QString, QStringList>& ServerCommandLine::adminCommands() {
    static const QMap<QString, QStringList> commands{
        {"create-db", {}},
        {"seed-demo", {}},
        {"set-user",
         {"firma", "code", "password", "password-stdin", "active", "name", "rights", "department",
          "pnr", "extension", "fax", "email"}},
        {"set-department", {"firma", "number", "title", "main"}},
        {"set-base-data", {"firma", "pnr", "fax", "email"}},
        {"set-register", {"firma", "branch", "register", "count", "first", "last", "record"}},
        {"clear-registers", {"firma", "branch"}},
        {"set-clock", {"firma", "branch", "slot", "number", "e-ist", "e-soll", "s-ist", "s-soll"}},
        {"import-registers", {"firma", "branch", "allow-empty"}},
        {"import-clocks", {"firma", "branch", "allow-empty"}},
        {"copy", {"to", "replace"}},
        {"feed", {}},
    };
    return commands;
}

ServerCommandLine ServerCommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The LORVEX object server: serves the personnel and telemetry classes of "
                       "the namespace LORVEX from an SQLite or PostgreSQL database."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"db",
         "SQLite database file (created when missing), or postgresql://USER@HOST[:PORT]/DBNAME "
         "(password from PGPASSWORD or ~/.pgpass). The schema is created when missing.",
         "path|url"});
    parser.addOption({"listen",
                      "Address to listen on, repeatable (default 127.0.0.1:1972; port 0 picks a "
                      "free port).",
                      "host:port"});
    parser.addOption({"demo", "Seed the demo data when the database has no users yet."});
    parser.addOption({"simulate", "Change the telemetry every few seconds."});
    parser.addOption({"tls-cert",
                      "Serve over TLS only, with this certificate (PEM; the server's first, then "
                      "its chain).",
                      "file"});
    parser.addOption({"tls-key", "The private key of --tls-cert (PEM, unencrypted).", "file"});
    parser.addOption({"max-sessions-per-address",
                      "Sessions one peer address may hold at once (default 16; 256 in all).", "n"});
    parser.addOption({"budget-mib",
                      "Memory all sessions together may fill with unfinished frames, and as much "
                      "again with unread replies (default 64).",
                      "MiB"});
    parser.addOption({"stall-ms",
                      "A handshake or frame not complete after this time, or replies not read "
                      "for it while requests wait, end the session (default 30000).",
                      "ms"});
    parser.addOption(
        {"idle-ms", "No request for this time ends the session (default 180000).", "ms"});
    parser.addOption({"signin-window-ms",
                      "A connection not signed in after this time is closed, whatever it sends; "
                      "each failed sign-in holds one of its address's places as long (default "
                      "30000).",
                      "ms"});
    parser.addOption({"handshake-timeout-ms",
                      "A TLS handshake not complete after this time is cut (default 10000).",
                      "ms"});
    parser.addOption({"ipv6-prefix",
                      "IPv6 peers are counted by their network of this prefix length, as one "
                      "address (default 64).",
                      "bits"});
    parser.addOption({"proxy-from",
                      "A TCP balancer (address or network) whose connections begin with a PROXY "
                      "protocol version 2 header naming the client; repeatable. Limits and logs "
                      "then count the client, not the balancer.",
                      "address[/prefix]"});
    parser.addOption({"log-lines-per-second",
                      "Lines the log takes per second in all, 20 seconds' worth at once; each "
                      "peer address a tenth of it; 0 for no limit (default 50).",
                      "n"});
    parser.addOption({"signin-delay-ms",
                      "Growth of the delay of each further failed sign-in of one user code or "
                      "address, after its free tries (default 250; each answer waits 4 s at "
                      "most).",
                      "ms"});
    parser.addOption({"check-threads",
                      "Password checks at the same time, each on a thread of its own with 64 MiB "
                      "for its hash (default: one per core).",
                      "n"});
    parser.addOption({"serving-threads",
                      "Threads that serve sessions, each with its own connection to the database "
                      "(default: one per core).",
                      "n"});
    parser.addOption({"no-kept-replies",
                      "Build every telemetry reply afresh instead of keeping it until the data "
                      "changes (to measure the difference)."});
    parser.addOption({"password-stdin", "Read the password from the first line of stdin."});
    parser.addOption(
        {"replace", "copy: empty the target's tables first, in the same transaction."});
    parser.addOption({"allow-empty", "import-registers, import-clocks: a FILE without a record "
                                     "empties the branch (refused otherwise)."});
    for (const ValueOption& option : kAdminOptions) {
        parser.addOption({QString::fromLatin1(option.name), QString::fromUtf8(option.description),
                          QString::fromUtf8(option.valueName)});
    }
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("An admin command (below); none to serve."),
                                 QStringLiteral("[command [file]]"));

    ServerCommandLine result;
    result.helpText = parser.helpText() + QString::fromLatin1(kCommandsHelp);
    if (!parser.parse(arguments)) {
        return failed(result, parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.mode = Mode::Help;
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.mode = Mode::Version;
        return result;
    }
    result.dbPath = parser.value(QStringLiteral("db"));
    if (result.dbPath.isEmpty()) {
        return failed(result, QStringLiteral("--db PATH is required"));
    }
    if (PostgresLocation::isUrl(result.dbPath)) {
        QString problem;
        if (!PostgresLocation::parse(result.dbPath, problem)) {
            return failed(result, QStringLiteral("--db: %1").arg(problem));
        }
    }
    const QStringList positional = parser.positionalArguments();
    const QStringList adminOptionNames = [] {
        QStringList names{QStringLiteral("password-stdin"), QStringLiteral("replace"),
                          QStringLiteral("allow-empty")};
        for (const ValueOption& option : kAdminOptions) {
            names.append(QString::fromLatin1(option.name));
        }
        return names;
    }();

    if (positional.isEmpty()) {
        for (const QString& name : adminOptionNames) {
            if (parser.isSet(name)) {
                return failed(result, QStringLiteral("--%1 belongs to an admin command").arg(name));
            }
        }
        result.mode = Mode::Serve;
        result.demo = parser.isSet(QStringLiteral("demo"));
        result.simulate = parser.isSet(QStringLiteral("simulate"));
        result.keepReplies = !parser.isSet(QStringLiteral("no-kept-replies"));
        result.tlsCertificate = parser.value(QStringLiteral("tls-cert"));
        result.tlsKey = parser.value(QStringLiteral("tls-key"));
        if (result.tlsCertificate.isEmpty() != result.tlsKey.isEmpty()) {
            return failed(result, QStringLiteral("--tls-cert and --tls-key go together"));
        }
        struct NumberOption {
            const char* name;
            int low;
            int high;
            int* target;
        };
        for (const NumberOption& option :
             {NumberOption{"signin-delay-ms", 0, 60000, &result.signInDelayStepMs},
              NumberOption{"max-sessions-per-address", 1, 256, &result.maxSessionsPerAddress},
              NumberOption{"budget-mib", 1, 4096, &result.budgetMiB},
              NumberOption{"stall-ms", 100, 3600000, &result.stallMs},
              NumberOption{"idle-ms", 100, 86400000, &result.idleMs},
              NumberOption{"signin-window-ms", 100, 3600000, &result.signInWindowMs},
              NumberOption{"handshake-timeout-ms", 100, 600000, &result.handshakeTimeoutMs},
              NumberOption{"ipv6-prefix", 1, 128, &result.ipv6PrefixBits},
              NumberOption{"log-lines-per-second", 0, 1000000, &result.logLinesPerSecond},
              NumberOption{"check-threads", 1, 64, &result.checkThreads},
              NumberOption{"serving-threads", 1, 64, &result.servingThreads}}) {
            const QString name = QString::fromLatin1(option.name);
            if (!parser.isSet(name)) {
                continue;
            }
            bool ok = false;
            const int value = parser.value(name).toInt(&ok);
            if (!ok || value < option.low || value > option.high) {
                return failed(result, QStringLiteral("--%1 takes %2 to %3")
                                          .arg(name)
                                          .arg(option.low)
                                          .arg(option.high));
            }
            *option.target = value;
        }
        const QStringList listen = parser.values(QStringLiteral("listen"));
        for (const QString& text : listen) {
            const std::optional<ListenAddress> address = ListenAddress::parse(text);
            if (!address) {
                return failed(result, QStringLiteral("--listen %1: not HOST:PORT").arg(text));
            }
            result.listen.append(*address);
        }
        for (const QString& text : parser.values(QStringLiteral("proxy-from"))) {
            const QHostAddress single(text);
            const QPair<QHostAddress, int> network =
                single.isNull()
                    ? QHostAddress::parseSubnet(text)
                    : qMakePair(single,
                                single.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128);
            if (network.first.isNull() || network.second < 0) {
                return failed(
                    result,
                    QStringLiteral("--proxy-from %1: not an address or ADDRESS/PREFIX").arg(text));
            }
            result.proxyFrom.append(network);
        }
        if (result.listen.isEmpty()) {
            result.listen.append(
                ListenAddress{QHostAddress(QHostAddress::LocalHost), kDefaultPort});
        }
        return result;
    }

    result.command = positional.first();
    result.files = positional.mid(1);
    const auto command = adminCommands().constFind(result.command);
    if (command == adminCommands().constEnd()) {
        return failed(result, QStringLiteral("unknown command \"%1\"").arg(result.command));
    }
    for (const char* serveOption :
         {"listen", "demo", "simulate", "signin-delay-ms", "max-sessions-per-address", "budget-mib",
          "tls-cert", "tls-key", "no-kept-replies", "stall-ms", "idle-ms", "signin-window-ms",
          "handshake-timeout-ms", "ipv6-prefix", "log-lines-per-second", "proxy-from",
          "check-threads", "serving-threads"}) {
        if (parser.isSet(QString::fromLatin1(serveOption))) {
            return failed(result, QStringLiteral("--%1 is for serving, not for an admin command")
                                      .arg(QString::fromLatin1(serveOption)));
        }
    }
    for (const QString& name : adminOptionNames) {
        if (!parser.isSet(name)) {
            continue;
        }
        if (!command->contains(name)) {
            return failed(result,
                          QStringLiteral("%1 does not take --%2").arg(result.command, name));
        }
        const QStringList values = parser.values(name);
        if (values.size() > 1) {
            return failed(result, QStringLiteral("--%1 given more than once").arg(name));
        }
        result.options.insert(name, values.isEmpty() ? QString() : values.first());
    }
    if (const QString to = result.options.value(QStringLiteral("to"));
        PostgresLocation::isUrl(to)) {
        QString problem;
        if (!PostgresLocation::parse(to, problem)) {
            return failed(result, QStringLiteral("--to: %1").arg(problem));
        }
    }
    const bool takesFile = result.command.startsWith(QLatin1String("import-"));
    if (result.files.size() != (takesFile ? 1 : 0)) {
        return failed(
            result, takesFile ? QStringLiteral("%1 needs one FILE").arg(result.command)
                              : QStringLiteral("%1 takes no further argument").arg(result.command));
    }
    result.mode = Mode::Admin;
    return result;
}
