// A sample-clock error: the signal as a sound card whose clock runs `ppm` parts per million fast
// would record it. Output sample k is the input read at position k / (1 + ppm x 1e-6), so the
// output holds round(n x (1 + ppm x 1e-6)) samples and a tone at f Hz comes out at
// f / (1 + ppm x 1e-6) Hz at the nominal rate. Band-limited (windowed-sinc) interpolation; when
// the output is shorter than the input the kernel's band edge moves down by the same ratio so
// nothing aliases.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quavel::channel {

// The accepted range of clock errors.
inline constexpr double kMaxClockPpm = 10000.0;

// Output length for an input of `input_samples` samples; ppm within +/- kMaxClockPpm.
std::size_t clock_error_length(std::size_t input_samples, double ppm);

// ppm within +/- kMaxClockPpm; 0 returns the input unchanged.
std::vector<double> apply_clock_error(std::span<const double> signal, double ppm);

} // namespace quavel::channel
