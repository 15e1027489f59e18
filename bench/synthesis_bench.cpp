// One symbol synthesis at each speed (2N sines: what a refill costs before it can copy the row),
// and a rebuild of the Morse identification (what every retune costs the transmitter).
#include <benchmark/benchmark.h>

#include <string>

#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "tx/morse_id.h"

namespace {

void BM_SynthesiseSymbol(benchmark::State& state) {
    quavel::SpeedProfile profile;
    quavel::build_speed_profile(profile, quavel::kSpeeds[static_cast<size_t>(state.range(0))]);
    quavel::SymbolBank bank;
    uint32_t symbol = 2;
    for (auto _ : state) {
        quavel::synthesise_symbol(bank.row(symbol - 1), symbol, 1000.0f, profile);
        benchmark::DoNotOptimize(bank.row(symbol - 1).data());
        symbol = symbol % 45 + 1;
    }
    state.SetLabel("speed " + std::to_string(profile.speed) + ", N = " + std::to_string(profile.N));
    state.SetItemsProcessed(state.iterations() * profile.N);
}
BENCHMARK(BM_SynthesiseSymbol)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_BuildIdentification(benchmark::State& state) {
    quavel::SpeedProfile profile;
    quavel::build_speed_profile(profile, quavel::Speed::Two);
    quavel::IdentificationAudio audio;
    const std::string callsign = state.range(0) == 0 ? "DL1ABC" : std::string(14, ',');
    for (auto _ : state) {
        audio.build(1000.0f, callsign, profile.keying_ramp);
        benchmark::DoNotOptimize(audio.store().data());
    }
    state.SetLabel(callsign);
}
BENCHMARK(BM_BuildIdentification)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
