#include "platform/qt/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace quavel {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

constexpr uint32_t kMinRateHz = 1000;
constexpr uint32_t kMaxRateHz = 768000;
constexpr double kStopbandDb = 90.0;
// Transition band as a fraction of the lower Nyquist frequency, centred on it.
constexpr double kTransitionFraction = 0.2;
// Odd ratios (44100 -> 8000 has 80 phases) get an exact row per phase; ratios with very many
// phases share rows, costing at most 1/1024 of an input sample of timing.
constexpr uint32_t kMaxPhases = 1024;
constexpr size_t kMaxTableTaps = size_t{1} << 21;

double bessel_i0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
        if (term < sum * 1e-14) break;
    }
    return sum;
}

} // namespace

bool Resampler::configure(uint32_t in_rate_hz, uint32_t out_rate_hz) {
    taps_.clear();
    history_.clear();
    valid_ = in_rate_hz >= kMinRateHz && in_rate_hz <= kMaxRateHz && out_rate_hz >= kMinRateHz &&
             out_rate_hz <= kMaxRateHz;
    if (!valid_) return false;
    const uint32_t g = std::gcd(in_rate_hz, out_rate_hz);
    up_ = out_rate_hz / g;
    down_ = in_rate_hz / g;
    half_width_ = 0;
    phases_ = 1;
    if (passthrough()) return true;

    // Cutoff and transition in cycles per input sample.
    const double ratio = std::min(1.0, static_cast<double>(up_) / down_);
    const double cutoff = 0.5 * ratio;
    const double transition = kTransitionFraction * 0.5 * ratio;
    const double beta = 0.1102 * (kStopbandDb - 8.7);
    const double length = (kStopbandDb - 8.0) / (2.285 * kTwoPi * transition);
    half_width_ = static_cast<uint32_t>(std::ceil(length / 2.0));
    const size_t row = 2 * size_t{half_width_};
    phases_ = std::min<uint32_t>(up_, kMaxPhases);
    phases_ =
        static_cast<uint32_t>(std::max<size_t>(1, std::min<size_t>(phases_, kMaxTableTaps / row)));

    taps_.assign(phases_ * row, 0.0f);
    const double i0_beta = bessel_i0(beta);
    for (uint32_t p = 0; p < phases_; ++p) {
        const double frac = static_cast<double>(p) / phases_;
        double sum = 0.0;
        std::vector<double> h(row);
        for (size_t j = 0; j < row; ++j) {
            // Distance from the tap's input sample to the output instant, in input samples.
            const double x = frac - (static_cast<double>(j) - (half_width_ - 1.0));
            const double u = x / half_width_;
            const double window =
                std::abs(u) >= 1.0 ? 0.0 : bessel_i0(beta * std::sqrt(1.0 - u * u)) / i0_beta;
            const double arg = 2.0 * cutoff * x;
            const double sinc =
                arg == 0.0 ? 1.0 : std::sin(3.141592653589793 * arg) / (3.141592653589793 * arg);
            h[j] = 2.0 * cutoff * sinc * window;
            sum += h[j];
        }
        // Unity gain at DC in every phase, so a constant stays constant.
        for (size_t j = 0; j < row; ++j)
            taps_[p * row + j] = static_cast<float>(h[j] / sum);
    }
    reset();
    return true;
}

void Resampler::reset() {
    history_.clear();
    phase_ = 0;
    base_ = 0;
    if (!passthrough() && half_width_ > 0) {
        // Silence before the first sample, so the first outputs need no special case.
        history_.assign(half_width_ - 1, 0.0f);
        base_ = half_width_ - 1;
    }
}

void Resampler::process(std::span<const float> in, std::vector<float>& out) {
    if (!valid_) return;
    if (passthrough()) {
        out.insert(out.end(), in.begin(), in.end());
        return;
    }
    history_.insert(history_.end(), in.begin(), in.end());
    const size_t row = 2 * size_t{half_width_};
    while (base_ + half_width_ < history_.size()) {
        const uint64_t p = phases_ == up_ ? phase_ : phase_ * phases_ / up_;
        const float* x = history_.data() + (base_ - (half_width_ - 1));
        const float* t = taps_.data() + p * row;
        double acc = 0.0;
        for (size_t j = 0; j < row; ++j)
            acc += static_cast<double>(x[j]) * t[j];
        out.push_back(static_cast<float>(acc));
        phase_ += down_;
        base_ += phase_ / up_;
        phase_ %= up_;
    }
    // Keep only what the next output still reaches back to.
    const uint64_t first_needed = base_ - (half_width_ - 1);
    const uint64_t drop = std::min<uint64_t>(first_needed, history_.size());
    if (drop > 0) {
        history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
        base_ -= drop;
    }
}

} // namespace quavel
