// The server's work for a full NichtVerbuchtStatus reply (a branch with 8,192 register records),
// in process: SQLite alone through its C interface (the anchor), the reply built afresh by the
// store, the kept reply, and the whole call as a session makes it, encoded for the wire, fresh
// and kept.
#include "ClassCatalogue.h"
#include "ClientWorkspace.h"
#include "Store.h"
#include "TelemetryReplyCache.h"
#include "XecuteInterpreter.h"

#include "protocol/Framing.h"
#include "protocol/Limits.h"
#include "protocol/MessageCodec.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <memory>
#include <string>

namespace {

constexpr qint64 kFirma = 1;
constexpr qint64 kFiliale = 7;
constexpr int kRecords = 8192;

// One database for every case, filled once.
struct FullBranch {
    QTemporaryDir dir;
    QString path;

    FullBranch()
        : path(dir.filePath("bench.db")) {
        Store store(path);
        store.inTransaction([&] {
            for (int i = 0; i < kRecords; ++i) {
                store.putRegister(RegisterRecord{kFirma, kFiliale, i + 1, QString::number(1000 + i),
                                                 QString::number(i % 17),
                                                 QString::number(100000 + (i * 7919) % 900000),
                                                 QString::number(100000 + (i * 104729) % 900000)});
            }
        });
    }
};

const FullBranch& fullBranch() {
    static const FullBranch branch;
    return branch;
}

// What a plain C program needs: the statement kept, the fields appended to one buffer.
void sqliteAlone(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(fullBranch().path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT kasse, anzahl, first_cnt, last_cnt FROM tm_register"
                       " WHERE firma = ? AND filiale = ? ORDER BY seq",
                       -1, &statement, nullptr);
    std::string reply;
    for (auto _ : state) {
        reply.clear();
        sqlite3_bind_int64(statement, 1, kFirma);
        sqlite3_bind_int64(statement, 2, kFiliale);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < 4; ++column) {
                reply.append(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                             static_cast<size_t>(sqlite3_column_bytes(statement, column)));
                reply += '|';
            }
        }
        sqlite3_reset(statement);
        benchmark::DoNotOptimize(reply.data());
    }
    state.counters["chars"] = static_cast<double>(reply.size());
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

void storeBuildsReply(benchmark::State& state) {
    const Store store(fullBranch().path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.registerReply(kFirma, kFiliale));
    }
}

void keptReply(benchmark::State& state) {
    Store store(fullBranch().path);
    TelemetryReplyCache kept(store);
    for (auto _ : state) {
        benchmark::DoNotOptimize(kept.registers(kFirma, kFiliale));
    }
}

// The call as a session makes it, up to the frame handed to the socket.
void callEncoded(benchmark::State& state) {
    Store store(fullBranch().path);
    TelemetryReplyCache kept(store);
    kept.setEnabled(state.range(0) != 0);
    const ClassCatalogue catalogue(&kept);
    const XecuteInterpreter interpreter;
    ClientWorkspace session(store, catalogue, interpreter, protocol::MaxOpenObjects);
    session.call(session.classAccess("LX.Windows"), "Xecute",
                 {QStringLiteral("S FIRMA=%1,FIL=%2").arg(kFirma).arg(kFiliale)});
    const qint64 kassa = session.classAccess("Telemetrie.Kassa");
    for (auto _ : state) {
        const protocol::Response response =
            protocol::Response::success(1, session.call(kassa, "NichtVerbuchtStatus", {}));
        benchmark::DoNotOptimize(protocol::encodeFrame(protocol::encodeResponse(response).value()));
    }
}

} // namespace

BENCHMARK(sqliteAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(storeBuildsReply)->Unit(benchmark::kMicrosecond);
BENCHMARK(keptReply)->Unit(benchmark::kMicrosecond);
BENCHMARK(callEncoded)->ArgName("kept")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
int main(int argc, char** argv) {
    // As lorvex-server sets it (server/admin/ServerProgram.cpp): freed reply buffers are kept
    // for reuse.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
