// Reading the contact log at start-up: 100,000 contacts (a lifetime of them, about 30 MB) read
// and indexed for who was worked before.
//   build/bench/quavel_bench --benchmark_filter=AdifLog
#include <benchmark/benchmark.h>

#include <string>

#include "station/adif_log.h"

namespace {

std::string log_of(int contacts) {
    std::string text = quavel::adif_header("bench", 1796047200);
    quavel::QsoRecord r;
    r.station_callsign = "G3XYZ";
    r.freq_mhz = 14.0705;
    r.band = "20m";
    r.name = "Jo";
    r.comment = "a contact like the others";
    for (int i = 0; i < contacts; ++i) {
        // A few thousand different calls, worked again and again.
        r.call = "G" + std::to_string(i % 10) + "A" + std::string(1, char('A' + i % 26)) +
                 std::string(1, char('A' + (i / 26) % 26));
        r.start_utc = 1796047200 + i * 600;
        r.end_utc = r.start_utc + 300;
        text += quavel::adif_record(r);
    }
    return text;
}

void BM_ReadAdifLog100k(benchmark::State& state) {
    const std::string text = log_of(100000);
    for (auto _ : state) {
        const quavel::AdifRead read = quavel::read_adif(text);
        benchmark::DoNotOptimize(read.records.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadAdifLog100k)->Unit(benchmark::kMillisecond);

void BM_ReadAndIndexAdifLog100k(benchmark::State& state) {
    const std::string text = log_of(100000);
    for (auto _ : state) {
        quavel::WorkedIndex index;
        for (const quavel::AdifRecord& record : quavel::read_adif(text).records)
            index.add(record);
        benchmark::DoNotOptimize(index.size());
    }
}
BENCHMARK(BM_ReadAndIndexAdifLog100k)->Unit(benchmark::kMillisecond);

} // namespace
