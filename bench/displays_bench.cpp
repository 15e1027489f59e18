// The drawing of one receive step on memory canvases: scroll and waterfall line, the cleared scope
// with 128 columns and the sync marker, the cleared spectrum with 75 lines.
#include <benchmark/benchmark.h>

#include <vector>

#include "modem/speed_profile.h"
#include "modem/tuning.h"
#include "rx/displays.h"
#include "rx/memory_canvas.h"

namespace quavel {
namespace {

void BM_ReceiveStepDrawing(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    SpeedProfile profile;
    build_speed_profile(profile, kSpeeds[item]);
    const Tuning tuning = compute_tuning(profile.speed, profile.N, 1000);
    std::vector<float> work(2 * kMaxSymbolSamples + 2);
    for (size_t i = 0; i < work.size(); ++i)
        work[i] = static_cast<float>(i % 97);
    MemoryCanvas waterfall(320, 20);
    MemoryCanvas scope(128, 64);
    MemoryCanvas spectrum(80, 64);
    ReceiveDisplays displays(waterfall, scope, spectrum);
    const uint32_t C = profile.N / 128;
    for (auto _ : state) {
        displays.scroll_waterfall(profile);
        displays.waterfall_line(work, profile, tuning, 1.0f);
        displays.clear_scope();
        for (int c = 0; c < 128; ++c)
            displays.scope_column(c, static_cast<float>(c % 70));
        displays.sync_marker(profile.sync_position, C);
        displays.clear_spectrum();
        for (int k = 0; k < 75; ++k) {
            displays.spectrum_line(k, static_cast<float>(k * 800), profile.spectrum_scale);
        }
        benchmark::DoNotOptimize(waterfall.pixels().data());
        benchmark::DoNotOptimize(scope.pixels().data());
        benchmark::DoNotOptimize(spectrum.pixels().data());
    }
}
BENCHMARK(BM_ReceiveStepDrawing)->Arg(0)->Arg(1)->Arg(2);

} // namespace
} // namespace quavel
