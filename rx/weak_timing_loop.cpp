#include "rx/weak_timing_loop.h"

#include <algorithm>
#include <cmath>

#include "rx/weak_front_end.h"
#include "rx/weak_statistics.h"

namespace quavel {

namespace {
constexpr double kTimingMemory = 0.15;
constexpr double kTimingGain = 0.3;
constexpr double kRateGain = 0.035;
// From a symbol metric 10^kQuickFrom times the noise, fully kQuickOver decades above, the loop
// moves to these.
constexpr double kQuickFrom = 2.0;
constexpr double kQuickOver = 2.0;
constexpr double kQuickTimingMemory = 0.5;
constexpr double kQuickTimingGain = 0.6;
constexpr double kQuickRateGain = 0.15;

// After this many single tones and narrow pairs in a row, the next few wide pairs (spread over
// at least kWeakWide spacings) may set the timing anew, within kDoubtLobe of the widest pair's
// lobe, when one fits kSnapMargin better there.
constexpr int kDoubtAfter = 4;
constexpr int kDoubtSymbols = 3;
constexpr double kDoubtLobe = 0.45;
constexpr double kSnapMargin = 1.5;
} // namespace

WeakTimingLoop::Gains WeakTimingLoop::gains(double strength) {
    const double quick =
        strength > 0.0 ? std::clamp((std::log10(strength) - kQuickFrom) / kQuickOver, 0.0, 1.0)
                       : 0.0;
    return {kTimingMemory + quick * (kQuickTimingMemory - kTimingMemory),
            kTimingGain + quick * (kQuickTimingGain - kTimingGain),
            kRateGain + quick * (kQuickRateGain - kRateGain)};
}

WeakTimingLoop::Error WeakTimingLoop::error() const {
    const int shifts = shifts_;
    const auto peak = static_cast<int>(std::max_element(curve_.begin(), curve_.begin() + shifts) -
                                       curve_.begin());
    Error e;
    e.samples = (peak - shifts / 2) * kStep;
    if (peak > 0 && peak < shifts - 1) {
        const double left = curve_[static_cast<std::size_t>(peak - 1)];
        const double centre = curve_[static_cast<std::size_t>(peak)];
        const double right = curve_[static_cast<std::size_t>(peak + 1)];
        const double curve = left - 2.0 * centre + right;
        if (curve < 0.0) e.samples += kStep * 0.5 * (left - right) / curve;
    }
    e.at_edge = peak == 0 || peak == shifts - 1;
    return e;
}

double WeakTimingLoop::step(const Error& error, const Gains& gains, double weight,
                            double rate_limit, const double* snap_to) {
    if (!error.at_edge)
        rate_ =
            std::clamp(rate_ + gains.rate_gain * weight * error.samples, -rate_limit, rate_limit);
    const double correction = rate_ + (snap_to ? *snap_to : gains.gain * weight * error.samples);
    // The curve is kept relative to the tracked start: move it with the correction.
    const int shifts = shifts_;
    std::array<double, kMaxShifts> moved{};
    for (int j = 0; j < shifts; ++j) {
        const double x = std::clamp(j + correction / kStep, 0.0, shifts - 1.0);
        const auto i = std::min(static_cast<int>(x), shifts - 2);
        const double f = x - i;
        moved[static_cast<std::size_t>(j)] = (1.0 - f) * curve_[static_cast<std::size_t>(i)] +
                                             f * curve_[static_cast<std::size_t>(i + 1)];
    }
    curve_ = moved;
    return correction;
}

void WeakTimingDoubt::restart() {
    doubt_ = kDoubtSymbols;
    narrow_run_ = 0;
}

double WeakTimingDoubt::reach(const WeakSymbols& symbols) {
    return kDoubtLobe * kWeakRateHz / ((kToneCount - 1) * symbols.spacing_hz);
}

bool WeakTimingDoubt::snaps(const WeakDecision& snapped, double shift, double centre_best,
                            double noise) {
    return shift != 0.0 && snapped.best > kSnapMargin * centre_best &&
           weak_spread(snapped.symbol) >= kWeakWide &&
           snapped.best - snapped.second >= kWeakClear * noise;
}

void WeakTimingDoubt::count(uint32_t symbol, double statistic) {
    if (weak_spread(symbol) >= kWeakWide && statistic >= kWeakClear) {
        narrow_run_ = 0;
        if (doubt_ > 0) --doubt_;
    } else if (weak_spread(symbol) < 2 && ++narrow_run_ >= kDoubtAfter) {
        doubt_ = kDoubtSymbols;
    }
}

} // namespace quavel
