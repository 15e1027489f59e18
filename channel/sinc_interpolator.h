// Band-limited interpolation between samples: a Kaiser-windowed sinc kernel tabulated at
// kSincPhases fractional positions per sample (linearly interpolated between them). Used to read
// a signal at non-integer positions, for the sample-clock error and for a fractional path delay.
//
// The kernel passes 0..0.9 x cutoff flat and rejects beyond cutoff by about 100 dB, where cutoff
// is `cutoff` times the Nyquist frequency. Samples outside the buffer count as zero.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace quavel::channel {

class SincInterpolator {
public:
    static constexpr int kHalfTaps = 64; // taps on each side of the position
    static constexpr int kTaps = 2 * kHalfTaps;
    static constexpr int kSincPhases = 2048;

    // cutoff: (0, 1], the kernel's band edge as a fraction of the Nyquist frequency.
    explicit SincInterpolator(double cutoff);

    // The value at `position` (in samples from the first, any finite value).
    double at(std::span<const double> signal, double position) const;
    std::complex<double> at(std::span<const std::complex<double>> signal, double position) const;

private:
    struct Weights {
        std::ptrdiff_t first; // index of the sample weights[0] applies to
        std::array<double, kTaps> weights;
    };
    Weights weights_at(double position) const;

    // kernel_[p * kTaps + t] is the kernel at offset (t - kHalfTaps + 1) - p / kSincPhases
    // samples; one extra phase row makes interpolation between rows uniform.
    std::vector<double> kernel_;
};

} // namespace quavel::channel
