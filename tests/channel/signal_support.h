// Test signals and measurements for the channel simulator's tests.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "modem/angles.h"

namespace quavel::channel::test {

inline constexpr double kRate = 8000.0;
using quavel::kTwoPi;

inline std::vector<double> tone(std::size_t length, double hz, double amplitude) {
    std::vector<double> out(length);
    for (std::size_t n = 0; n < length; ++n)
        out[n] = amplitude * std::cos(kTwoPi * hz * static_cast<double>(n) / kRate);
    return out;
}

// Amplitude of the component at `hz` in x[first, first + length): exact for a tone with a whole
// number of cycles in the span (1 s spans give 1 Hz bins).
inline double amplitude_at(std::span<const double> x, double hz, std::size_t first,
                           std::size_t length) {
    std::complex<double> sum{};
    for (std::size_t n = first; n < first + length; ++n)
        sum += x[n] * std::polar(1.0, -kTwoPi * hz * static_cast<double>(n) / kRate);
    return 2.0 * std::abs(sum) / static_cast<double>(length);
}

inline double mean_square(std::span<const double> x) {
    double sum = 0.0;
    for (double v : x)
        sum += v * v;
    return x.empty() ? 0.0 : sum / static_cast<double>(x.size());
}

inline double db(double power_ratio) {
    return 10.0 * std::log10(power_ratio);
}

// Frequency of a steady tone near `guess_hz` in x[first, end), from the drift of its phase
// between a Hann-windowed second at each end of the span. The tone must be within
// 0.5 / (span in seconds) Hz of the guess, so the drift does not wrap.
inline double tone_frequency(std::span<const double> x, double guess_hz, std::size_t first,
                             std::size_t end) {
    constexpr std::size_t kWindow = 8000;
    auto phasor = [&](std::size_t begin) {
        std::complex<double> sum{};
        for (std::size_t i = 0; i < kWindow; ++i) {
            const double n = static_cast<double>(begin + i);
            const double w = 0.5 - 0.5 * std::cos(kTwoPi * (i + 0.5) / kWindow);
            sum += w * x[begin + i] * std::polar(1.0, -kTwoPi * guess_hz * n / kRate);
        }
        return sum;
    };
    const std::size_t last = end - kWindow;
    const double drift = std::arg(phasor(last) * std::conj(phasor(first)));
    const double seconds = static_cast<double>(last - first) / kRate;
    return guess_hz + drift / (kTwoPi * seconds);
}

} // namespace quavel::channel::test
