#include "channel/sinc_interpolator.h"

#include <cmath>

#include "channel/portable_math.h"

namespace quavel::channel {

namespace {

// Kaiser beta for about 100 dB of stop-band rejection.
constexpr double kKaiserBeta = 10.0;

// The windowed sinc with its band edge at `cutoff` of Nyquist (and a transition band from
// 0.9 cutoff to cutoff), at `offset` samples from the centre.
double kernel_value(double offset, double cutoff, double i0_beta) {
    constexpr double kHalfWidth = SincInterpolator::kHalfTaps;
    const double ratio = offset / kHalfWidth;
    if (ratio <= -1.0 || ratio >= 1.0) return 0.0;
    const double window = bessel_i0(kKaiserBeta * std::sqrt(1.0 - ratio * ratio)) / i0_beta;
    const double centre_cutoff = 0.95 * cutoff; // the middle of the transition band
    const double x = centre_cutoff * offset;    // in half-cycles
    const double sinc = x == 0.0 ? 1.0 : portable_sin_cos_turns(x / 2.0).sin / (kPi * x);
    return centre_cutoff * sinc * window;
}

} // namespace

SincInterpolator::SincInterpolator(double cutoff)
    : kernel_(static_cast<std::size_t>(kSincPhases + 1) * kTaps) {
    const double i0_beta = bessel_i0(kKaiserBeta);
    for (int p = 0; p <= kSincPhases; ++p) {
        const double fraction = static_cast<double>(p) / kSincPhases;
        for (int t = 0; t < kTaps; ++t) {
            const double offset = static_cast<double>(t - kHalfTaps + 1) - fraction;
            kernel_[static_cast<std::size_t>(p) * kTaps + t] =
                kernel_value(offset, cutoff, i0_beta);
        }
    }
}

SincInterpolator::Weights SincInterpolator::weights_at(double position) const {
    const double base = std::floor(position);
    const double fraction = position - base; // [0, 1)
    const double phase = fraction * kSincPhases;
    const double phase_base = std::floor(phase);
    const double blend = phase - phase_base;
    const auto row = static_cast<std::size_t>(phase_base);
    const double* a = &kernel_[row * kTaps];
    const double* b = &kernel_[(row + 1) * kTaps];
    Weights w{};
    w.first = static_cast<std::ptrdiff_t>(base) - kHalfTaps + 1;
    for (int t = 0; t < kTaps; ++t)
        w.weights[t] = a[t] + (b[t] - a[t]) * blend;
    return w;
}

namespace {

template <typename T, typename W> T weighted_sum(std::span<const T> signal, const W& w) {
    T sum{};
    const auto n = static_cast<std::ptrdiff_t>(signal.size());
    for (int t = 0; t < SincInterpolator::kTaps; ++t) {
        const std::ptrdiff_t i = w.first + t;
        if (i >= 0 && i < n) sum += signal[static_cast<std::size_t>(i)] * w.weights[t];
    }
    return sum;
}

} // namespace

double SincInterpolator::at(std::span<const double> signal, double position) const {
    return weighted_sum(signal, weights_at(position));
}

std::complex<double> SincInterpolator::at(std::span<const std::complex<double>> signal,
                                          double position) const {
    return weighted_sum(signal, weights_at(position));
}

} // namespace quavel::channel
