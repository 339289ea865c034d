#pragma once

#include <QString>

#include <functional>
#include <optional>

class QTextStream;
class Store;

// A live feed of imports over one connection to the database: the way for a program that sends
// every branch's telemetry every few seconds, where a process per import would spend most of its
// time connecting. The input holds blocks, each a head line "registers FIRMA BRANCH" or
// "clocks FIRMA BRANCH", the records as import-registers and import-clocks take them (blank and
// # lines skipped) and a line "." that ends it. Each block replaces the branch's records in a
// transaction of its own, writers of other branches not waiting for it, and is answered with
// one line once it is committed ("ok registers 1 7 20") or refused ("error: ...": nothing of it
// written, the feed goes on). A block the database could not take (it is away, or busy) is
// answered "error 5008: ..." and may be sent again.
class ImportFeed {
public:
    // nextLine: the next line of the input, nullopt at its end; bytes that were not UTF-8 stand
    // as U+FFFD in it.
    using LineSource = std::function<std::optional<QString>()>;
    ImportFeed(Store& store, LineSource nextLine, QTextStream& out);

    // Until the end of the input, then 0: each block's outcome is its answer line (a refused
    // block is no refused command: the blocks before and after it are stored).
    int run();

private:
    // One block after its head line: the answer to give.
    QString importBlock(const QString& head);

    Store& m_store;
    LineSource m_nextLine;
    QTextStream& m_out;
};
