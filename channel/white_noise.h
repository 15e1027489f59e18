// White Gaussian noise set by a signal-to-noise ratio in the 2500 Hz bandwidth of an SSB
// receiver. At 8000 samples per second white noise spreads evenly over 0..4000 Hz, so with a
// density of N0 per Hz its total variance is N0 x 4000 and the share in 2500 Hz is N0 x 2500.
#pragma once

#include <span>

#include "channel/random.h"

namespace quavel::channel {

inline constexpr double kNoiseBandwidthHz = 2500.0;
inline constexpr double kMinSnrDb = -40.0;
inline constexpr double kMaxSnrDb = 100.0;

// The total per-sample variance that puts `signal_power` (mean square, > 0) `snr_db` above the
// noise in kNoiseBandwidthHz.
double noise_variance_for_snr(double signal_power, double snr_db);

// Adds independent Gaussian samples of variance `variance` (>= 0) to every sample of `signal`.
void add_white_noise(std::span<double> signal, double variance, Random& random);

} // namespace quavel::channel
