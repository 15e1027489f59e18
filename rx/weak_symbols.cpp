#include "rx/weak_symbols.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quavel {

void build_weak_symbols(WeakSymbols& s, uint32_t speed) {
    SpeedProfile profile;
    build_speed_profile(profile, speed_item_index(speed) < 0 ? 1 : speed_item_index(speed));
    s.speed = profile.speed;
    s.length = profile.N / 16;
    s.spacing_hz = profile.speed == 4 ? 16.0 : 8.0;
    for (int t = 0; t < kToneCount; ++t)
        s.offset_hz[static_cast<std::size_t>(t)] =
            profile.tone_offset_hz[static_cast<std::size_t>(t)];
    s.pulse.fill(0.0f);
    s.pulse_energy = 0.0;
    for (uint32_t m = 0; m < s.length; ++m) {
        // The shape at the middle of the 16 input samples a baseband sample stands for.
        const uint32_t j = 16 * m + 8;
        s.pulse[m] = profile.pulse_shape[j < profile.N ? j : profile.N - 1];
        s.pulse_energy += double(s.pulse[m]) * s.pulse[m];
    }
    for (int k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[static_cast<std::size_t>(k)];
        const double dw = 2.0 * std::numbers::pi *
                          (s.offset_hz[static_cast<std::size_t>(pair.b - 1)] -
                           s.offset_hz[static_cast<std::size_t>(pair.a - 1)]) /
                          500.0;
        // |e^{i w_a m} + e^{i w_b m}|^2 / 4 = (1 + cos((w_b - w_a) m)) / 2
        double e = 0.0;
        for (uint32_t m = 0; m < s.length; ++m)
            e += double(s.pulse[m]) * s.pulse[m] * 0.5 * (1.0 + std::cos(dw * m));
        s.energy[static_cast<std::size_t>(k)] = e;
    }
}

WeakDecision decide_symbol(const WeakSymbols& s,
                           std::span<const std::complex<float>, kToneCount> z) {
    WeakDecision d;
    for (int k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[static_cast<std::size_t>(k)];
        const std::complex<float> y = 0.5f * (z[static_cast<std::size_t>(pair.a - 1)] +
                                              z[static_cast<std::size_t>(pair.b - 1)]);
        const double metric =
            std::norm(std::complex<double>(y)) / s.energy[static_cast<std::size_t>(k)];
        if (metric > d.best) {
            d.second = d.best;
            d.best = metric;
            d.symbol = static_cast<uint32_t>(k + 1);
        } else if (metric > d.second) {
            d.second = metric;
        }
    }
    if (d.symbol == 0) d.symbol = kIdleSymbol;
    return d;
}

double best_free_phase_metric(const WeakSymbols& s,
                              std::span<const std::complex<float>, kToneCount> z) {
    std::array<double, kToneCount> magnitude{};
    for (std::size_t t = 0; t < magnitude.size(); ++t)
        magnitude[t] = std::abs(std::complex<double>(z[t]));
    double best = 0.0;
    for (int k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[static_cast<std::size_t>(k)];
        const double y = 0.5 * (magnitude[static_cast<std::size_t>(pair.a - 1)] +
                                magnitude[static_cast<std::size_t>(pair.b - 1)]);
        best = std::max(best, y * y / s.energy[static_cast<std::size_t>(k)]);
    }
    return best;
}

} // namespace quavel
