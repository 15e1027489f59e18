// The weak-signal receiver's cost: one capture block (2048 samples, 256 ms of audio) through it
// at each speed, on a noisy signal (copying: search, tracking, the three models and the timing
// curve all at work) and on noise alone (following noise, relocking as the search moves).
//
//   build/bench/quavel_bench --benchmark_filter=WeakBlock
//
// `x_realtime` is seconds of audio per second of processing; its inverse is the share of one
// core the receiver takes in real time.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "rx/weak_receiver.h"

namespace quavel {
namespace {

// Two minutes of a text sent over and over, in noise about 6 dB above the receiver's threshold,
// or noise alone.
std::vector<int16_t> audio(uint32_t speed, bool signal) {
    SpeedProfile p;
    build_speed_profile(p, speed_from_value(speed).value_or(Speed::Two));
    const auto length = static_cast<std::size_t>(120 * kSampleRateHz);
    std::vector<double> x(length, 0.0);
    if (signal) {
        const std::string text = "CQ CQ DE G4ABC G4ABC K THE QUICK BROWN FOX 1234567890 ";
        std::vector<int16_t> row(p.N);
        std::size_t at = 0;
        for (std::size_t i = 0; at + p.N <= length; ++i) {
            const auto e = encode_character(static_cast<unsigned char>(text[i % text.size()]));
            for (int k = 0; k < e.count && at + p.N <= length; ++k, at += p.N) {
                synthesise_symbol(row, e.symbols[static_cast<std::size_t>(k)], 1003.0f, p);
                for (uint32_t j = 0; j < p.N; ++j)
                    x[at + j] = 0.05 * row[j];
            }
        }
    }
    // A fixed noise: a sum of incommensurate tones would do, but a plain generator is simpler.
    uint64_t state = 88172645463325252ull;
    auto uniform = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    std::vector<int16_t> out(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double g =
            std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
        out[n] = static_cast<int16_t>(std::lround(x[n] + 2000.0 * g));
    }
    return out;
}

void BM_WeakBlock(benchmark::State& state) {
    const uint32_t speed = kSpeedValues[static_cast<std::size_t>(state.range(0))];
    const bool signal = state.range(1) != 0;
    const std::vector<int16_t> samples = audio(speed, signal);
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({speed, 1000, true});
    std::array<uint8_t, 8> out{};
    std::size_t at = 0;
    for (auto _ : state) {
        if (at + kCaptureBlockSamples > samples.size()) at = 0;
        benchmark::DoNotOptimize(
            rx->push(std::span(samples).subspan(at, kCaptureBlockSamples), out));
        at += kCaptureBlockSamples;
    }
    state.counters["dropped"] = static_cast<double>(rx->dropped());
    state.SetLabel("speed " + std::to_string(speed) + (signal ? ", signal in noise" : ", noise"));
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                          kCaptureBlockSamples / kSampleRateHz,
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WeakBlock)->ArgsProduct({{0, 1, 2}, {1, 0}})->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quavel
