// The receiver's cost: the FFT at its three sizes, one whole receive step at each speed (with
// and without the displays drawn on memory canvases), and the real-time factor of decoding ten
// minutes of audio through capture, ring, demodulator and decoder as `quavel-modem rx` does.
//
//   build/bench/quavel_bench --benchmark_filter='Fft|ReceiveStep|TenMinutes'
//
// `x_realtime` is seconds of audio received per second of processing; its inverse is the share of
// one core that receiving in real time takes. The tool itself, on a
// ten-minute file made by the transmitter:
//
//   python3 -c "print(('CQ CQ CQ DE QUAVEL QUAVEL PSE K ' * 40)[:1165])" > ten.txt
//   build/quavel-modem tx --speed 2 -o ten.wav < ten.txt      # 599 s of audio
//   time build/quavel-modem rx ten.wav > /dev/null
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "interfaces/text_pane.h"
#include "modem/code_table.h"
#include "modem/modem.h"
#include "modem/synthesis.h"
#include "platform/wav/wav_input.h"
#include "rx/fft.h"
#include "rx/receive_chain.h"

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
    const auto speed = kSpeedValues[static_cast<size_t>(state.range(0))];
    const bool draw = state.range(1) != 0;
    PrimedInput input; // outlives the chain, which closes it
    StringPane primary;
    StringPane secondary;
    ReceiveChainSettings settings;
    settings.speed = speed;
    settings.afc = false;
    settings.draw_displays = draw;
    ReceiveChain chain(settings, primary, secondary);
    chain.open(input);
    chain.capture_tick();
    const SpeedProfile& p = chain.modem().profile;

    std::vector<int16_t> symbol(p.N);
    synthesise_symbol(symbol, 2, 1000.0f, p);
    for (auto _ : state) {
        for (uint32_t b = 0; b < p.symbol_step; ++b) {
            chain.receiver().capture().ring().write_block(
                std::span<const int16_t, kCaptureBlockSamples>(
                    symbol.data() + b * kCaptureBlockSamples, kCaptureBlockSamples));
        }
        if (!chain.step()) state.SkipWithError("no step ran");
        primary.clear();
        secondary.clear();
    }
    state.SetLabel(std::string("speed ") + std::to_string(p.speed) +
                   (draw ? ", displays drawn" : ", no displays"));
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(p.N) / kSampleRateHz, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReceiveStep)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

// Ten minutes of text at the speed given, received from memory as fast as it can be read, by the
// classic receiver alone (0) or with the weak-signal receiver printing (1), as the console runs.
void BM_ReceiveTenMinutes(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    const bool weak = state.range(1) != 0;
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[item]);
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
        StringPane primary;
        StringPane secondary;
        ReceiveChainSettings settings;
        settings.speed = p.speed;
        settings.receiver = weak ? ReceiverChoice::weak : ReceiverChoice::classic;
        ReceiveChain chain(settings, primary, secondary);
        SampleInput input(std::make_unique<MemorySampleSource>(audio), Pacing::Fast);
        chain.receive_recording(input);
        benchmark::DoNotOptimize(primary.text().size());
    }
    state.SetLabel("speed " + std::to_string(p.speed) + ", 600 s of audio" +
                   (weak ? ", weak-signal receiver" : ""));
    state.counters["x_realtime"] =
        benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReceiveTenMinutes)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
} // namespace quavel
