// A frequency shift without a mirror: the analytic signal is turned by exp(j 2 pi offset t) and
// its real part kept, so every component moves by `offset_hz` in the same direction. Components
// pushed below 0 Hz or above 4000 Hz fold back, as they would in any real 8000-per-second signal.
#pragma once

#include <complex>
#include <span>
#include <vector>

namespace quavel::channel {

// The accepted range of shifts.
inline constexpr double kMaxOffsetHz = 2000.0;

// Real part of the analytic `signal` (8000 samples per second) shifted by `offset_hz` (within
// +/- kMaxOffsetHz); the phase of the shift is 0 at sample 0.
std::vector<double> shift_to_real(std::span<const std::complex<double>> signal, double offset_hz);

} // namespace quavel::channel
