#include "rx/weak_symbols.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quavel {

void build_weak_symbols(WeakSymbols& s, uint32_t speed) {
    SpeedProfile profile;
    build_speed_profile(profile, speed_from_value(speed).value_or(Speed::Two));
    s.speed = profile.speed;
    s.length = profile.N / 16;
    s.spacing_hz = tone_spacing_hz(profile.speed);
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
        std::array<double, kWeakParts> quarter{};
        for (uint32_t m = 0; m < s.length; ++m) {
            const double v = double(s.pulse[m]) * s.pulse[m] * 0.5 * (1.0 + std::cos(dw * m));
            e += v;
            quarter[kWeakParts * m / s.length] += v;
        }
        const auto i = static_cast<std::size_t>(k);
        s.energy[i] = e;
        for (std::size_t q = 0; q < quarter.size(); ++q)
            s.quarter_energy[q][i] = quarter[q];
        s.half_energy[0][i] = quarter[0] + quarter[1];
        s.half_energy[1][i] = quarter[2] + quarter[3];
    }
}

namespace {

// Keeps the best metric and the runner-up's as symbol index k (0-based) offers its own.
template <typename Index> void offer(WeakDecision& d, double metric, Index k) {
    if (metric > d.best) {
        d.second = d.best;
        d.best = metric;
        d.symbol = static_cast<uint32_t>(k + 1);
    } else if (metric > d.second) {
        d.second = metric;
    }
}

} // namespace

WeakDecision decide_symbol(const WeakSymbols& s,
                           std::span<const std::complex<float>, kToneCount> z) {
    WeakDecision d;
    for (int k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[static_cast<std::size_t>(k)];
        const std::complex<float> y = 0.5f * (z[static_cast<std::size_t>(pair.a - 1)] +
                                              z[static_cast<std::size_t>(pair.b - 1)]);
        const double metric =
            std::norm(std::complex<double>(y)) / s.energy[static_cast<std::size_t>(k)];
        offer(d, metric, k);
    }
    if (d.symbol == 0) d.symbol = kIdleSymbol;
    return d;
}

namespace {

WeakDecision decide_tone_by_tone(const WeakSymbols& s, const WeakParts& parts,
                                 const WeakLevels& levels) {
    // Below this SNR the weights hardly change shape; it also keeps them finite.
    constexpr double kLowestSnr = 0.25;
    const double rho = std::max(levels.tone_snr, kLowestSnr);
    const double single_weight = rho / (1.0 + rho);
    const double pair_snr = rho / 4.0;
    const double pair_weight = pair_snr / (1.0 + pair_snr) / single_weight;
    const double single_penalty = std::log1p(rho) / single_weight;
    const double pair_penalty = std::log1p(pair_snr) / single_weight;
    std::array<double, kToneCount> energy{};
    for (std::size_t t = 0; t < kToneCount; ++t) {
        std::complex<double> z;
        for (const auto& part : parts)
            z += std::complex<double>(part[t]);
        energy[t] = std::norm(z) / s.pulse_energy;
    }
    WeakDecision d;
    d.best = d.second = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[k];
        const auto a = static_cast<std::size_t>(pair.a - 1);
        const auto b = static_cast<std::size_t>(pair.b - 1);
        const double metric =
            a == b ? energy[a] - single_penalty * levels.noise
                   : pair_weight * (energy[a] + energy[b]) - 2.0 * pair_penalty * levels.noise;
        offer(d, metric, k);
    }
    return d;
}

} // namespace

WeakDecision decide_symbol(const WeakSymbols& s, WeakModel model, const WeakParts& parts,
                           const WeakLevels& levels) {
    if (model == WeakModel::ToneByTone && levels.noise > 0.0)
        return decide_tone_by_tone(s, parts, levels);
    if (model == WeakModel::Locked || model == WeakModel::ToneByTone) {
        std::array<std::complex<float>, kToneCount> z{};
        for (const auto& part : parts)
            for (std::size_t t = 0; t < z.size(); ++t)
                z[t] += part[t];
        return decide_symbol(s, z);
    }
    // Magnitudes per part: halves from the quarters, or the quarters themselves.
    const bool halves = model == WeakModel::FreeHalves;
    const std::size_t count = halves ? 2 : kWeakParts;
    std::array<std::array<double, kToneCount>, kWeakParts> magnitude{};
    for (std::size_t p = 0; p < count; ++p) {
        for (std::size_t t = 0; t < kToneCount; ++t) {
            const std::complex<float> z =
                halves ? parts[2 * p][t] + parts[2 * p + 1][t] : parts[p][t];
            magnitude[p][t] = std::sqrt(std::norm(std::complex<double>(z)));
        }
    }
    WeakDecision d;
    for (std::size_t k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[k];
        const auto a = static_cast<std::size_t>(pair.a - 1);
        const auto b = static_cast<std::size_t>(pair.b - 1);
        double metric = 0.0;
        for (std::size_t p = 0; p < count; ++p) {
            const double y = 0.5 * (magnitude[p][a] + magnitude[p][b]);
            const double e = halves ? s.half_energy[p][k] : s.quarter_energy[p][k];
            if (e > 0.0) metric += y * y / e;
        }
        offer(d, metric, k);
    }
    if (d.symbol == 0) d.symbol = kIdleSymbol;
    return d;
}

double log_bessel_i0(double x) {
    // Abramowitz and Stegun 9.8.1 and 9.8.2.
    constexpr double kSplit = 3.75;
    if (x <= kSplit) {
        const double t = (x / kSplit) * (x / kSplit);
        return std::log1p(
            t * (3.5156229 +
                 t * (3.0899424 +
                      t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
    }
    const double t = kSplit / x;
    const double scaled =
        0.39894228 +
        t * (0.01328592 +
             t * (0.00225319 +
                  t * (-0.00157565 +
                       t * (0.00916281 +
                            t * (-0.02057706 +
                                 t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(scaled);
}

WeakDecision decide_known_level(const WeakSymbols& s,
                                std::span<const std::complex<float>, kToneCount> z,
                                const WeakLevels& levels) {
    if (levels.noise <= 0.0 || levels.steady_snr <= 0.0) return decide_symbol(s, z);
    const double rho = levels.steady_snr;
    const double per_noise = 1.0 / (levels.noise * s.pulse_energy);
    WeakDecision d;
    d.best = d.second = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < kSymbolCount; ++k) {
        const TonePair pair = kTonePairs[k];
        const std::complex<double> c(0.5f * (z[static_cast<std::size_t>(pair.a - 1)] +
                                             z[static_cast<std::size_t>(pair.b - 1)]));
        const double y = std::norm(c) * per_noise;
        const double metric = levels.noise * (log_bessel_i0(2.0 * std::sqrt(rho * y)) -
                                              rho * s.energy[k] / s.pulse_energy);
        offer(d, metric, k);
    }
    if (d.symbol == 0) d.symbol = kIdleSymbol;
    return d;
}

double best_free_phase_metric(const WeakSymbols& s,
                              std::span<const std::complex<float>, kToneCount> z) {
    std::array<double, kToneCount> magnitude{};
    for (std::size_t t = 0; t < magnitude.size(); ++t)
        magnitude[t] = std::sqrt(std::norm(std::complex<double>(z[t])));
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
