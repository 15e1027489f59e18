#include "receive_support.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "modem/code_table.h"
#include "modem/synthesis.h"
#include "platform/canvas.h"
#include "platform/text_pane.h"
#include "platform/wav_input.h"
#include "rx/displays.h"
#include "rx/receiver.h"

namespace quavel::rxtest {

double NoiseSource::uniform() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    const uint64_t x = state_ * 0x2545F4914F6CDD1DULL;
    return (static_cast<double>(x >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

double NoiseSource::gaussian() {
    if (has_spare_) {
        has_spare_ = false;
        return spare_;
    }
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double phi = 6.283185307179586 * uniform();
    spare_ = r * std::sin(phi);
    has_spare_ = true;
    return r * std::cos(phi);
}

std::vector<int16_t> make_transmission(const Transmission& t) {
    SpeedProfile p;
    build_speed_profile(p, t.speed_item);
    std::vector<uint32_t> symbols(t.lead_idle, kIdleSymbol);
    for (char c : t.text) {
        const EncodedCharacter e = encode_character(static_cast<unsigned char>(c));
        for (int i = 0; i < e.count; ++i)
            symbols.push_back(e.symbols[i]);
    }
    symbols.insert(symbols.end(), t.tail_idle, kIdleSymbol);

    std::vector<double> signal(t.offset_samples, 0.0);
    std::vector<int16_t> row(p.N);
    for (uint32_t s : symbols) {
        synthesise_symbol(row, s, t.centre_hz, p);
        for (int16_t v : row)
            signal.push_back(v * static_cast<double>(t.amplitude));
    }
    NoiseSource noise(t.seed);
    std::vector<int16_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        const double v = signal[i] + (t.noise_sigma > 0.0 ? t.noise_sigma * noise.gaussian() : 0);
        out[i] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return out;
}

namespace {

class Listener : public ProfileListener {
public:
    explicit Listener(Receiver& rx) : rx_(rx) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override { rx_.profile_rebuilt(p); }
    void after_profile_change() override { rx_.after_profile_change(); }

private:
    Receiver& rx_;
};

} // namespace

Reception receive(std::span<const int16_t> samples, const ReceiveSettings& settings) {
    auto modem = std::make_unique<Modem>();
    auto rx = std::make_unique<Receiver>();
    MemoryCanvas waterfall(320, 20);
    MemoryCanvas scope(128, 64);
    MemoryCanvas spectrum(80, 64);
    ReceiveDisplays displays(waterfall, scope, spectrum);
    Listener listener(*rx);
    modem->initialise_profile(settings.speed_item, listener);
    modem->set_centre_frequency(settings.centre_hz, listener);
    rx->decoder.set_afc(settings.afc);
    rx->auto_sync = settings.auto_sync;
    rx->set_test_mode(settings.test_mode);

    SampleInput input(
        std::make_unique<MemorySampleSource>(std::vector<int16_t>(samples.begin(), samples.end())),
        Pacing::Fast);
    rx->capture.open(input);
    StringPane primary;
    StringPane secondary;
    const ReceiveOutputs outputs{primary, secondary, &displays};
    Reception r;
    bool more = true;
    while (more) {
        more = rx->capture.pump();
        while (rx->capture_tick()) {
            while (rx->receive_step(*modem, listener, outputs)) {
                r.first_minima.push_back(rx->demodulator.first_minimum);
            }
        }
    }
    rx->capture.close();
    r.primary = primary.text();
    r.secondary = secondary.text();
    r.centre_hz = modem->tuning.centre_hz;
    r.sync_position = modem->profile.sync_position;
    r.steps = rx->steps();
    return r;
}

bool copies(const std::string& copy, std::string_view text, size_t stray) {
    return copy.size() >= text.size() && copy.size() - text.size() <= stray && copy.ends_with(text);
}

} // namespace quavel::rxtest
