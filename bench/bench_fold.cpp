// The register fold on the largest reply it reads (8,192 records), with few registers (many
// merges) and with every record a register of its own (many rows).
#include "monitors/RegisterFold.h"
#include "monitors/ReplyFields.h"

#include <benchmark/benchmark.h>

namespace {

QString fullReply(int distinctRegisters) {
    QStringList fields;
    fields.reserve(RegisterFold::kMaxRecords * 4);
    for (int i = 0; i < RegisterFold::kMaxRecords; ++i) {
        fields << QString::number(i % distinctRegisters) << QString::number(i % 17)
               << QString::number(100000 + (i * 7919) % 900000)
               << QString::number(100000 + (i * 104729) % 900000);
    }
    return fields.join(QLatin1Char('|'));
}

void foldFullReply(benchmark::State& state) {
    const QString reply = fullReply(static_cast<int>(state.range(0)));
    const RegisterFold fold(QLocale::c());
    for (auto _ : state) {
        benchmark::DoNotOptimize(fold.rows(reply));
    }
    state.SetItemsProcessed(state.iterations() * RegisterFold::kMaxRecords);
}

// The share of the cutting alone, to tell it from the fold.
void cutFullReply(benchmark::State& state) {
    const QString reply = fullReply(RegisterFold::kMaxRecords);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cutReply(reply));
    }
}

} // namespace

BENCHMARK(cutFullReply);
BENCHMARK(foldFullReply)->Arg(1)->Arg(64)->Arg(RegisterFold::kMaxRecords);
BENCHMARK_MAIN();
