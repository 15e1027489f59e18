#include "rx/weak_frequency_loop.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "rx/weak_front_end.h"
#include "rx/weak_statistics.h"

namespace quavel {

namespace {
// Loop gains, per symbol, applied to errors weighted by the symbol's confidence.
constexpr double kFrequencyGain = 0.25;
constexpr double kDriftGain = 0.02;
constexpr double kMaxDriftHz = 0.5; // per symbol
// Alignments: how fast their fit is averaged, and by how much one must fit better.
constexpr double kAliasMemory = 0.2;
// The powers beyond the outer tones, over more symbols: a neighbour's tones come and go.
constexpr double kAliasPowerMemory = 0.08;
// Power beyond the tones counts as lit at this many times the noise (averaged, noise alone
// stays well below it).
constexpr double kGoesOn = 3.0;
// The weight of symbols a move needs after a reset (a lock or a move): a few clear ones.
constexpr double kAliasEvidence = 3.0;
constexpr double kAliasMargin = 1.15;
constexpr double kAliasMarginClosed = 1.05; // while the squelch is closed
} // namespace

double weak_centroid_gap_s(const WeakSymbols& symbols) {
    const uint32_t half = symbols.length / 2;
    double w1 = 0.0, c1 = 0.0, w2 = 0.0, c2 = 0.0;
    for (uint32_t m = 0; m < symbols.length; ++m) {
        (m < half ? w1 : w2) += symbols.pulse[m];
        (m < half ? c1 : c2) += symbols.pulse[m] * double(m);
    }
    return (c2 / w2 - c1 / w1) / kWeakRateHz;
}

double weak_frequency_error(const WeakParts& parts, TonePair pair, double centroid_gap_s) {
    const auto a = static_cast<std::size_t>(pair.a - 1);
    const auto b = static_cast<std::size_t>(pair.b - 1);
    std::complex<double> turn;
    for (const std::size_t t : {a, b}) {
        const std::complex<double> first(parts[0][t] + parts[1][t]);
        const std::complex<double> second(parts[2][t] + parts[3][t]);
        turn += second * std::conj(first);
        if (a == b) break;
    }
    return std::arg(turn) / (2.0 * std::numbers::pi * centroid_gap_s);
}

void WeakFrequencyLoop::step(double error_hz, double weight, double limit_hz) {
    drift_hz_ = std::clamp(drift_hz_ + kDriftGain * weight * error_hz, -kMaxDriftHz, kMaxDriftHz);
    offset_hz_ = std::clamp(offset_hz_ + kFrequencyGain * weight * error_hz + drift_hz_, -limit_hz,
                            limit_hz);
}

void WeakAliasWatch::reset() {
    fit_.fill(1.0);
    far_ = {};
    evidence_ = 0.0;
}

int WeakAliasWatch::step(const WeakSymbols& symbols,
                         const std::array<std::complex<float>, kToneCount>& z, const Beyond& beyond,
                         double weight, bool open) {
    std::array<std::complex<float>, kToneCount> lower{};
    std::array<std::complex<float>, kToneCount> higher{};
    lower[0] = beyond[2];
    for (int t = 1; t < kToneCount; ++t) {
        lower[static_cast<std::size_t>(t)] = z[static_cast<std::size_t>(t - 1)];
        higher[static_cast<std::size_t>(t - 1)] = z[static_cast<std::size_t>(t)];
    }
    higher[kToneCount - 1] = beyond[3];
    const std::array<double, 3> fit = {weak_idle_favoured(decide_symbol(symbols, lower)),
                                       weak_idle_favoured(decide_symbol(symbols, z)),
                                       weak_idle_favoured(decide_symbol(symbols, higher))};
    const double scale = fit[1] > 0.0 ? 1.0 / fit[1] : 0.0;
    for (std::size_t i = 0; i < fit_.size(); ++i)
        fit_[i] += kAliasMemory * weight * (fit[i] * scale - fit_[i]);
    const std::array<std::complex<float>, 4> far = {beyond[0], beyond[1], beyond[4], beyond[5]};
    for (std::size_t i = 0; i < far_.size(); ++i)
        far_[i] += kAliasPowerMemory * weight * (std::norm(far[i]) - far_[i]);
    const double lit = kGoesOn * std::min(far_[0], far_[3]);
    const std::array<bool, 2> blocked = {std::max(far_[0], far_[1]) > lit,
                                         std::max(far_[2], far_[3]) > lit};
    // Not on a symbol or two: one noise symbol can fit a spacing over by far.
    evidence_ += weight;
    if (evidence_ < kAliasEvidence) return 0;
    const double margin = open ? kAliasMargin : kAliasMarginClosed;
    for (int side : {0, 2}) {
        if (blocked[static_cast<std::size_t>(side / 2)]) continue;
        if (fit_[static_cast<std::size_t>(side)] > margin * fit_[1]) {
            reset();
            return side - 1;
        }
    }
    return 0;
}

} // namespace quavel
