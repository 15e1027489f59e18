// The receiver's cost: the FFT at its three sizes, one whole receive step at each speed (with
// and without the displays drawn on memory canvases), and the real-time factor of decoding ten
// minutes of audio through capture, ring, demodulator and decoder as `quavel-modem rx` does.
//
//   build/bench/quavel_bench --benchmark_filter='Fft|ReceiveStep|TenMinutes'
//
// `x_realtime` is seconds of audio received per second of processing. The tool itself, on a
// ten-minute file made by the transmitter:
//
//   python3 -c "print(('CQ CQ CQ DE QUAVEL QUAVEL PSE K ' * 40)[:1165])" > ten.txt
//   build/quavel-modem tx --speed 2 -o ten.wav < ten.txt      # 599 s of audio
//   time build/quavel-modem rx ten.wav > /dev/null
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "modem/code_table.h"
#include "modem/modem.h"
#include "modem/synthesis.h"
#include "platform/canvas.h"
#include "platform/text_pane.h"
#include "platform/wav_input.h"
#include "rx/displays.h"
#include "rx/fft.h"
#include "rx/receiver.h"

namespace quavel {
namespace {

void BM_Fft(benchmark::State& state) {
    const auto n = static_cast<uint32_t>(state.range(0));
    std::vector<float> data(2 * n + 1);
    for (size_t i = 1; i < data.size(); ++i)
        data[i] = static_cast<float>(i % 13) - 6.0f;
    for (auto _ : state) {
        fft_forward(data, n);
        benchmark::DoNotOptimize(data.data());
        fft_inverse(data, n);
        // Keep the values from growing without bound across iterations.
        for (size_t i = 1; i < data.size(); ++i)
            data[i] *= 1.0f / static_cast<float>(n);
    }
    state.SetLabel("forward + inverse");
}
BENCHMARK(BM_Fft)->Arg(2048)->Arg(4096)->Arg(8192)->Unit(benchmark::kMicrosecond);

class Forwarder : public ProfileListener {
public:
    explicit Forwarder(Receiver& rx) : rx_(rx) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override { rx_.profile_rebuilt(p); }
    void after_profile_change() override { rx_.after_profile_change(); }

private:
    Receiver& rx_;
};

// An input that has delivered once (so the receive steps may run) and then stays quiet: the
// benchmark writes the ring itself.
class PrimedInput : public AudioInput {
public:
    bool open(std::span<int16_t>, Done done) override {
        done(0);
        return true;
    }
    void requeue(int) override {}
    void stop() override {}
    void restart() override {}
    void close() override {}
};

// One receive step on a two-tone symbol at the receiver's centre.
void BM_ReceiveStep(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    const bool draw = state.range(1) != 0;
    PrimedInput input; // outlives the receiver, whose capture closes it
    auto modem = std::make_unique<Modem>();
    auto rx = std::make_unique<Receiver>();
    Forwarder listener(*rx);
    modem->initialise_profile(item, listener);
    rx->decoder.afc = false;
    rx->capture.open(input);
    rx->capture.tick();
    MemoryCanvas waterfall(320, 20);
    MemoryCanvas scope(128, 64);
    MemoryCanvas spectrum(80, 64);
    ReceiveDisplays displays(waterfall, scope, spectrum);
    StringPane primary;
    StringPane secondary;
    const ReceiveOutputs outputs{primary, secondary, draw ? &displays : nullptr};

    std::vector<int16_t> symbol(modem->profile.N);
    synthesise_symbol(symbol, 2, 1000.0f, modem->profile);
    const uint32_t step = modem->profile.symbol_step;
    for (auto _ : state) {
        for (uint32_t b = 0; b < step; ++b) {
            rx->capture.ring().write_block(std::span<const int16_t, kCaptureBlockSamples>(
                symbol.data() + b * kCaptureBlockSamples, kCaptureBlockSamples));
        }
        if (!rx->receive_step(*modem, listener, outputs)) state.SkipWithError("no step ran");
        primary.clear();
        secondary.clear();
    }
    state.SetLabel(std::string("speed ") + std::to_string(modem->profile.speed) +
                   (draw ? ", displays drawn" : ", no displays"));
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(modem->profile.N) / kSampleRateHz,
                           benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReceiveStep)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

// Ten minutes of text at the speed given, received from memory as fast as it can be read.
void BM_ReceiveTenMinutes(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    SpeedProfile p;
    build_speed_profile(p, item);
    const uint32_t symbols = 600 * kSampleRateHz / p.N;
    const std::string_view text = "CQ CQ CQ DE QUAVEL QUAVEL PSE K ";
    std::vector<int16_t> audio;
    audio.reserve(static_cast<size_t>(symbols) * p.N);
    std::vector<int16_t> row(p.N);
    for (uint32_t i = 0; i < symbols; ++i) {
        const EncodedCharacter e =
            encode_character(static_cast<unsigned char>(text[i % text.size()]));
        synthesise_symbol(row, e.count > 0 ? e.symbols[0] : kIdleSymbol, 1000.0f, p);
        audio.insert(audio.end(), row.begin(), row.end());
    }

    for (auto _ : state) {
        auto modem = std::make_unique<Modem>();
        auto rx = std::make_unique<Receiver>();
        Forwarder listener(*rx);
        modem->initialise_profile(item, listener);
        MemoryCanvas waterfall(320, 20);
        MemoryCanvas scope(128, 64);
        MemoryCanvas spectrum(80, 64);
        ReceiveDisplays displays(waterfall, scope, spectrum);
        StringPane primary;
        StringPane secondary;
        const ReceiveOutputs outputs{primary, secondary, &displays};
        SampleInput input(std::make_unique<MemorySampleSource>(audio), Pacing::Fast);
        rx->capture.open(input);
        bool more = true;
        while (more) {
            more = rx->capture.pump();
            while (rx->capture_tick()) {
                while (rx->receive_step(*modem, listener, outputs)) {
                }
            }
        }
        rx->capture.close();
        benchmark::DoNotOptimize(primary.text().size());
    }
    state.SetLabel("speed " + std::to_string(p.speed) + ", 600 s of audio");
    state.counters["x_realtime"] =
        benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReceiveTenMinutes)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
} // namespace quavel
