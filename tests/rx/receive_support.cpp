#include "receive_support.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "interfaces/text_pane.h"
#include "modem/angles.h"
#include "modem/code_table.h"
#include "modem/synthesis.h"
#include "platform/wav/wav_input.h"
#include "rx/receive_chain.h"

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
    const double phi = kTwoPi * uniform();
    spare_ = r * std::sin(phi);
    has_spare_ = true;
    return r * std::cos(phi);
}

std::vector<int16_t> make_transmission(const Transmission& t) {
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[t.speed_item]);
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

Reception receive(std::span<const int16_t> samples, const ReceiveSettings& settings) {
    StringPane primary;
    StringPane secondary;
    ReceiveChainSettings chain_settings;
    chain_settings.speed = kSpeedValues[static_cast<size_t>(settings.speed_item)];
    chain_settings.centre_hz = settings.centre_hz;
    chain_settings.afc = settings.afc;
    chain_settings.auto_sync = settings.auto_sync;
    chain_settings.test_mode = settings.test_mode;
    ReceiveChain chain(chain_settings, primary, secondary);
    SampleInput input(
        std::make_unique<MemorySampleSource>(std::vector<int16_t>(samples.begin(), samples.end())),
        Pacing::Fast);
    Reception r;
    chain.receive_recording(
        input, [&] { r.first_minima.push_back(chain.receiver().demodulator().first_minimum); });
    r.primary = primary.text();
    r.secondary = secondary.text();
    r.centre_hz = chain.modem().tuning.centre_hz;
    r.sync_position = chain.modem().profile.sync_position;
    r.steps = chain.receiver().steps();
    return r;
}

bool copies(const std::string& copy, std::string_view text, size_t stray) {
    return copy.size() >= text.size() && copy.size() - text.size() <= stray && copy.ends_with(text);
}

} // namespace quavel::rxtest
