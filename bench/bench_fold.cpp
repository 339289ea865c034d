// The register fold of a whole reply (cut, fold, list rows) at 4,096 and 8,192 records, with
// every record a register of its own, with 64 registers, and with one register for all; beside
// it the same work in plain standard C++ as the anchor, and the cutting alone.
#include "monitors/RegisterFold.h"
#include "monitors/ReplyFields.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// registers: 0 = every record its own register.
QString reply(int records, int registers) {
    QStringList fields;
    fields.reserve(records * 4);
    for (int i = 0; i < records; ++i) {
        fields << QString::number(registers == 0 ? 1000 + i : 1000 + i % registers)
               << QString::number(i % 17) << QString::number(100000 + (i * 7919) % 900000)
               << QString::number(100000 + (i * 104729) % 900000);
    }
    return fields.join(QLatin1Char('|')) + QLatin1Char('|');
}

void foldReply(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    const QString text = reply(records, static_cast<int>(state.range(1)));
    const RegisterFold fold(QLocale::c());
    for (auto _ : state) {
        benchmark::DoNotOptimize(fold.rows(text));
    }
    state.SetItemsProcessed(state.iterations() * records);
}

// The same fold in plain C++ over UTF-8: string_view fields, an unordered_map, strtod and
// "%.15g". No locale, no lenient reading: the lower bound the fold is held against.
std::vector<std::string> plainFold(const std::string& text) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t bar = text.find('|', start);
        fields.emplace_back(text.data() + start,
                            (bar == std::string::npos ? text.size() : bar) - start);
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    struct Row {
        std::string_view cells[4];
        double sum = 0;
        bool merged = false;
    };
    std::vector<Row> rows;
    std::unordered_map<std::string_view, size_t> rowOfKey;
    for (size_t base = 0; base + 3 < fields.size() && !fields[base].empty(); base += 4) {
        const auto [it, added] = rowOfKey.try_emplace(fields[base], rows.size());
        if (added) {
            rows.push_back({{fields[base], fields[base + 1], fields[base + 2], fields[base + 3]}});
            continue;
        }
        Row& row = rows[it->second];
        if (!row.merged) {
            row.sum = std::strtod(std::string(row.cells[1]).c_str(), nullptr);
            row.merged = true;
        }
        row.sum += std::strtod(std::string(fields[base + 1]).c_str(), nullptr);
        row.cells[2] = std::min(row.cells[2], fields[base + 2]);
        row.cells[3] = std::max(row.cells[3], fields[base + 3]);
    }
    std::vector<std::string> result;
    result.reserve(rows.size());
    for (const Row& row : rows) {
        char sum[32];
        if (row.merged) {
            std::snprintf(sum, sizeof sum, "%.15g", row.sum);
        }
        std::string line(row.cells[0]);
        line += ';';
        line += row.merged ? std::string_view(sum) : row.cells[1];
        line += ';';
        line += row.cells[2];
        line += ';';
        line += row.cells[3];
        result.push_back(std::move(line));
    }
    return result;
}

void plainCppAnchor(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    const std::string text = reply(records, static_cast<int>(state.range(1))).toStdString();
    for (auto _ : state) {
        benchmark::DoNotOptimize(plainFold(text));
    }
    state.SetItemsProcessed(state.iterations() * records);
}

// The share of the cutting alone, to tell it from the fold.
void cutReplyAlone(benchmark::State& state) {
    const QString text = reply(static_cast<int>(state.range(0)), 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cutReply(text));
    }
}

void recordsAndRegisters(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"records", "registers"});
    for (const int records : {4096, RegisterFold::kMaxRecords}) {
        for (const int registers : {0, 64, 1}) {
            benchmark->Args({records, registers});
        }
    }
}

} // namespace

BENCHMARK(foldReply)->Apply(recordsAndRegisters)->Unit(benchmark::kMicrosecond);
BENCHMARK(plainCppAnchor)->Apply(recordsAndRegisters)->Unit(benchmark::kMicrosecond);
BENCHMARK(cutReplyAlone)->Arg(RegisterFold::kMaxRecords)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
