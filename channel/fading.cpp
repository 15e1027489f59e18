#include "channel/fading.h"

#include <algorithm>
#include <cmath>

#include "channel/portable_math.h"
#include "channel/sinc_interpolator.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

namespace {

constexpr double kRateHz = static_cast<double>(kSampleRateHz);

// The tap process is generated at this many times the spread: its spectrum then occupies a
// few per cent of the low rate, where cubic interpolation is transparent.
constexpr double kTapRatePerSpread = 32.0;

// The Gaussian shaping filter is cut at this many of its standard deviations.
constexpr double kFilterSigmas = 5.0;

struct Preset {
    std::string_view name;
    FadingParams params;
};

constexpr Preset kPresets[] = {
    {"quiet", {2, 0.5, 0.1}},
    {"moderate", {2, 1.0, 0.5}},
    {"disturbed", {2, 2.0, 1.0}},
    {"flutter", {2, 0.5, 10.0}},
};

// Catmull-Rom cubic through p1 (t = 0) and p2 (t = 1).
std::complex<double> cubic(const std::complex<double>* p, double t) {
    const std::complex<double> a = -p[0] + 3.0 * p[1] - 3.0 * p[2] + p[3];
    const std::complex<double> b = 2.0 * p[0] - 5.0 * p[1] + 4.0 * p[2] - p[3];
    const std::complex<double> c = p[2] - p[0];
    return 0.5 * (((a * t + b) * t + c) * t + 2.0 * p[1]);
}

} // namespace

std::optional<FadingParams> fading_preset(std::string_view name) {
    for (const Preset& p : kPresets)
        if (p.name == name) return p.params;
    return std::nullopt;
}

std::vector<std::complex<double>> doppler_tap(std::size_t length, double spread_hz,
                                              Random& random) {
    if (length == 0) return {};
    // Below kMinSpreadHz a tap would not move in days: it is the fixed gain of spread 0.
    if (!(spread_hz >= kMinSpreadHz))
        return std::vector<std::complex<double>>(length, random.complex_gaussian());

    // Output samples per low-rate sample (at most 2.5e8).
    const auto step = static_cast<std::size_t>(
        std::max(1.0, std::floor(kRateHz / (kTapRatePerSpread * spread_hz))));
    const double low_rate_hz = kRateHz / static_cast<double>(step);

    // Filtering white noise by H(f) = exp(-f^2 / (4 sigma_f^2)) gives the power spectrum
    // exp(-f^2 / (2 sigma_f^2)); H's impulse response is a Gaussian of standard deviation
    // 1 / (2 sqrt(2) pi sigma_f) seconds.
    const double sigma_f = spread_hz / 2.0;
    const double sigma_taps = low_rate_hz / (2.0 * std::sqrt(2.0) * kPi * sigma_f);
    const auto half = static_cast<std::ptrdiff_t>(std::ceil(kFilterSigmas * sigma_taps));
    std::vector<double> filter(static_cast<std::size_t>(2 * half + 1));
    double energy = 0.0;
    for (std::ptrdiff_t k = -half; k <= half; ++k) {
        const double x = static_cast<double>(k) / sigma_taps;
        const double h = portable_exp(-0.5 * x * x);
        filter[static_cast<std::size_t>(k + half)] = h;
        energy += h * h;
    }
    const double norm = 1.0 / std::sqrt(energy); // unit power gain for white input
    for (double& h : filter)
        h *= norm;

    // Low-rate samples m = -1 .. last + 2 for the cubic around every output sample.
    const std::size_t last = (length - 1) / step;
    const std::size_t low_count = last + 4;
    std::vector<std::complex<double>> white(low_count + filter.size() - 1);
    for (auto& w : white)
        w = random.complex_gaussian();
    std::vector<std::complex<double>> low(low_count);
    for (std::size_t j = 0; j < low_count; ++j) {
        std::complex<double> sum{};
        for (std::size_t k = 0; k < filter.size(); ++k)
            sum += filter[k] * white[j + k];
        low[j] = sum;
    }

    std::vector<std::complex<double>> tap(length);
    for (std::size_t n = 0; n < length; ++n) {
        const std::size_t m = n / step; // low[m] is low-rate sample m - 1
        const double t = static_cast<double>(n - m * step) / static_cast<double>(step);
        tap[n] = cubic(&low[m], t);
    }
    return tap;
}

FadingTaps draw_fading_taps(std::size_t length, const FadingParams& params, Random& random) {
    FadingTaps taps;
    taps.first = doppler_tap(length, params.spread_hz, random);
    if (params.path_count < 2) return taps;
    taps.second = doppler_tap(length, params.spread_hz, random);
    taps.path_gain = std::sqrt(0.5); // each path carries half the mean power
    taps.delay_samples = params.delay_ms * 1e-3 * kRateHz;
    return taps;
}

void apply_fading(std::span<std::complex<double>> signal, const FadingParams& params,
                  Random& random) {
    const std::size_t n = signal.size();
    const FadingTaps taps = draw_fading_taps(n, params, random);
    const auto& first = taps.first;
    if (params.path_count < 2) {
        for (std::size_t i = 0; i < n; ++i)
            signal[i] *= first[i];
        return;
    }
    const auto& second = taps.second;
    const std::vector<std::complex<double>> clean(signal.begin(), signal.end());
    const double path_gain = taps.path_gain;
    const double delay_samples = taps.delay_samples;
    const double whole_delay = std::nearbyint(delay_samples);

    if (delay_samples == whole_delay) {
        const auto d = static_cast<std::size_t>(whole_delay);
        for (std::size_t i = 0; i < n; ++i) {
            const std::complex<double> late = i >= d ? clean[i - d] : std::complex<double>{};
            signal[i] = path_gain * (first[i] * clean[i] + second[i] * late);
        }
        return;
    }
    const SincInterpolator interpolator(1.0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::complex<double> late = interpolator.at(
            std::span<const std::complex<double>>(clean), static_cast<double>(i) - delay_samples);
        signal[i] = path_gain * (first[i] * clean[i] + second[i] * late);
    }
}

} // namespace quavel::channel
