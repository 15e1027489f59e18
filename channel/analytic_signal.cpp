#include "channel/analytic_signal.h"

#include <array>
#include <cmath>
#include <cstddef>

#include "channel/portable_math.h"

namespace quavel::channel {

namespace {

// Kaiser beta for about 90 dB of stop-band (image) rejection.
constexpr double kKaiserBeta = 9.0;

// The odd taps h[1], h[3], ..., h[kHilbertHalfTaps]; h[-k] = -h[k] and the even taps are zero.
// The ideal transformer is 2 / (pi k) at odd k.
std::array<double, (kHilbertHalfTaps + 1) / 2> hilbert_taps() {
    std::array<double, (kHilbertHalfTaps + 1) / 2> taps{};
    const double i0_beta = bessel_i0(kKaiserBeta);
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double k = static_cast<double>(2 * i + 1);
        const double ratio = k / (kHilbertHalfTaps + 1);
        const double window = bessel_i0(kKaiserBeta * std::sqrt(1.0 - ratio * ratio)) / i0_beta;
        taps[i] = 2.0 / (kPi * k) * window;
    }
    return taps;
}

} // namespace

std::vector<std::complex<double>> analytic_signal(std::span<const double> real) {
    static_assert(kHilbertHalfTaps % 2 == 1, "the outermost tap must be an odd, non-zero one");
    const auto taps = hilbert_taps();
    const auto n = static_cast<std::ptrdiff_t>(real.size());
    auto at = [&](std::ptrdiff_t i) { return i >= 0 && i < n ? real[i] : 0.0; };

    std::vector<std::complex<double>> out(real.size());
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        double quadrature = 0.0;
        const bool inside = i >= kHilbertHalfTaps && i + kHilbertHalfTaps < n;
        for (std::size_t t = 0; t < taps.size(); ++t) {
            const auto k = static_cast<std::ptrdiff_t>(2 * t + 1);
            const double difference = inside ? real[i - k] - real[i + k] : at(i - k) - at(i + k);
            quadrature += taps[t] * difference;
        }
        out[i] = {real[i], quadrature};
    }
    return out;
}

} // namespace quavel::channel
