#pragma once

#include "ListenAddress.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// The command line of lorvex-server, read into what to do. Serving:
//   lorvex-server --db PATH [--listen HOST:PORT ...] [--demo] [--simulate] [--no-kept-replies]
// An admin command against the same database:
//   lorvex-server --db PATH COMMAND [--option value ...] [FILE]
// The commands and their options are listed by --help and in docs/server.md.
struct ServerCommandLine {
    enum class Mode { Serve, Admin, Help, Version, Error };

    Mode mode = Mode::Error;
    QString errorText; // Error: what is wrong, for stderr
    QString helpText;  // always filled, for --help and after an error
    QString dbPath;
    // Serve
    QList<ListenAddress> listen;
    bool demo = false;
    bool simulate = false;
    int signInDelayStepMs = 250;
    int maxSessionsPerAddress = 16;
    int budgetMiB = 64;
    // Timeouts and limits an operator (or a test) may lower; see ServerLimits.
    int stallMs = 30000;
    int idleMs = 180000;
    int signInWindowMs = 30000;
    int handshakeTimeoutMs = 10000;
    int ipv6PrefixBits = 64;
    int logLinesPerSecond = 50;
    int checkThreads = 0;   // 0: one per core
    int servingThreads = 0; // 0: one per core
    // Balancers that put a PROXY header (version 2) in front of their clients' connections.
    QList<QPair<QHostAddress, int>> proxyFrom;
    // Both or neither: PEM files of the server's certificate (chain) and its private key.
    QString tlsCertificate;
    QString tlsKey;
    bool keepReplies = true;
    // Admin: the command, the options given (name without "--" -> value), and a file argument
    QString command;
    QMap<QString, QString> options;
    QStringList files;

    static constexpr quint16 kDefaultPort = 1972;

    // arguments as QCoreApplication::arguments(): the program name first.
    static ServerCommandLine parse(const QStringList& arguments);
    // The admin commands and the options each accepts.
    static const QMap<QString, QStringList>& adminCommands();
};
