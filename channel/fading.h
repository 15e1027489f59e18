// Two-path Gaussian-Doppler (Watterson) fading on an analytic signal. Each path multiplies the
// signal by its own complex Gaussian tap, independent of the other path's; the second path is
// delayed by `delay_ms`. A tap's Doppler power spectrum is a Gaussian whose two-sigma width is
// `spread_hz`, so its standard deviation is spread_hz / 2 and its autocorrelation at lag tau is
// exp(-2 pi^2 (spread_hz / 2)^2 tau^2). Paths have equal mean power and the mean powers sum to 1,
// so fading leaves the long-term mean power of the signal unchanged.
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "channel/random.h"

namespace quavel::channel {

inline constexpr double kMaxDelayMs = 10.0;
inline constexpr double kMaxSpreadHz = 100.0;
inline constexpr double kMinSpreadHz = 1e-6; // smaller spreads count as 0

struct FadingParams {
    int path_count = 2;     // 1 or 2
    double delay_ms = 0.0;  // 0..kMaxDelayMs, the second path's delay behind the first
    double spread_hz = 0.0; // 0..kMaxSpreadHz; 0 is a fixed random gain per path
};

// The ITU-R F.1487 mid-latitude channels and a flutter channel, by their command-line names:
// "quiet" 0.5 ms / 0.1 Hz, "moderate" 1 ms / 0.5 Hz, "disturbed" 2 ms / 1 Hz, "flutter"
// 0.5 ms / 10 Hz, all two paths. Nothing for any other name.
std::optional<FadingParams> fading_preset(std::string_view name);

// One path's tap gain process at 8000 samples per second: `length` samples of a circular complex
// Gaussian process with E|g|^2 = 1 and the Gaussian Doppler spectrum of `spread_hz`
// (0..kMaxSpreadHz; below kMinSpreadHz a fixed gain). White Gaussian noise at a low rate (32 times
// the spread) is shaped by a Gaussian FIR filter and brought to 8000 samples per second by cubic
// interpolation; the filter is run in before the first sample, so the process is stationary from
// sample 0.
std::vector<std::complex<double>> doppler_tap(std::size_t length, double spread_hz, Random& random);

// The two paths' tap processes as apply_fading() draws them from `random` (the first path's
// before the second's): the faded signal is path_gain (first[n] x[n] + second[n] x[n - delay]),
// or first[n] x[n] alone with one path (then `second` is empty and path_gain 1). For a reference
// that is told the channel; apply_fading() fades with exactly these.
struct FadingTaps {
    std::vector<std::complex<double>> first;
    std::vector<std::complex<double>> second;
    double path_gain = 1.0;
    double delay_samples = 0.0; // params.delay_ms at 8000 samples per second
};
FadingTaps draw_fading_taps(std::size_t length, const FadingParams& params, Random& random);

// Fades `signal` (analytic, 8000 samples per second) in place. The paths' taps are drawn from
// `random`, the first path's before the second's. A delay that is not a whole number of samples
// is applied by band-limited interpolation; the delayed path reads zeros before the start.
void apply_fading(std::span<std::complex<double>> signal, const FadingParams& params,
                  Random& random);

} // namespace quavel::channel
