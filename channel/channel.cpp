#include "channel/channel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "channel/analytic_signal.h"
#include "channel/clock_error.h"
#include "channel/frequency_shift.h"
#include "channel/random.h"
#include "channel/white_noise.h"

namespace quavel::channel {

namespace {

bool within(double value, double low, double high) {
    return std::isfinite(value) && value >= low && value <= high;
}

std::string out_of_range(const char* what, double low, double high, const char* unit) {
    char text[160];
    std::snprintf(text, sizeof text, "%s must be a number from %g to %g %s", what, low, high, unit);
    return text;
}

// The whole chain in double precision.
ChannelOutput<double> run_chain(std::vector<double> signal, const ChannelParams& params) {
    ChannelOutput<double> out;
    out.error = check_channel_params(params);
    if (!out.ok()) return out;
    out.report.signal = measure_signal_power(signal);
    if (params.snr_db && out.report.signal.silent()) {
        out.error = "the input is silent (nowhere above 1 LSB rms), so there is no signal power "
                    "to set an SNR against";
        return out;
    }

    uint64_t stream = params.seed;
    Random fading_random(splitmix64(stream));
    Random noise_random(splitmix64(stream));

    if (params.fading || params.offset_hz != 0.0) {
        auto analytic = analytic_signal(signal);
        if (params.fading) apply_fading(analytic, *params.fading, fading_random);
        signal = shift_to_real(analytic, params.offset_hz);
    }
    if (params.clock_ppm != 0.0) signal = apply_clock_error(signal, params.clock_ppm);
    if (params.snr_db) {
        out.report.noise_variance =
            noise_variance_for_snr(out.report.signal.mean_square, *params.snr_db);
        add_white_noise(signal, out.report.noise_variance, noise_random);
    }
    out.samples = std::move(signal);
    return out;
}

template <typename Sample>
ChannelOutput<double> run_chain(std::span<const Sample> input, const ChannelParams& params) {
    return run_chain(std::vector<double>(input.begin(), input.end()), params);
}

template <typename Sample> ChannelOutput<Sample> carry_over(ChannelOutput<double>& from) {
    ChannelOutput<Sample> to;
    to.report = from.report;
    to.error = std::move(from.error);
    return to;
}

} // namespace

std::string check_channel_params(const ChannelParams& params) {
    if (params.fading) {
        const FadingParams& f = *params.fading;
        if (f.path_count != 1 && f.path_count != 2) return "fading needs 1 or 2 paths";
        if (!within(f.delay_ms, 0.0, kMaxDelayMs))
            return out_of_range("the second path's delay", 0.0, kMaxDelayMs, "ms");
        if (!within(f.spread_hz, 0.0, kMaxSpreadHz))
            return out_of_range("the Doppler spread", 0.0, kMaxSpreadHz, "Hz");
    }
    if (!within(params.offset_hz, -kMaxOffsetHz, kMaxOffsetHz))
        return out_of_range("the frequency offset", -kMaxOffsetHz, kMaxOffsetHz, "Hz");
    if (!within(params.clock_ppm, -kMaxClockPpm, kMaxClockPpm))
        return out_of_range("the clock error", -kMaxClockPpm, kMaxClockPpm, "ppm");
    if (params.snr_db && !within(*params.snr_db, kMinSnrDb, kMaxSnrDb))
        return out_of_range("the SNR", kMinSnrDb, kMaxSnrDb, "dB");
    return {};
}

ChannelOutput<float> apply_channel(std::span<const float> input, const ChannelParams& params) {
    for (const float s : input) {
        if (!std::isfinite(s)) {
            ChannelOutput<float> bad;
            bad.error = "the input holds a sample that is not a finite number";
            return bad;
        }
    }
    auto chain = run_chain(input, params);
    auto out = carry_over<float>(chain);
    if (out.ok()) out.samples.assign(chain.samples.begin(), chain.samples.end());
    return out;
}

ChannelOutput<int16_t> apply_channel(std::span<const int16_t> input, const ChannelParams& params,
                                     OutputLevel level) {
    auto chain = run_chain(input, params);
    auto out = carry_over<int16_t>(chain);
    if (!out.ok()) return out;
    constexpr double kLow = std::numeric_limits<int16_t>::min();
    constexpr double kHigh = std::numeric_limits<int16_t>::max();
    double gain = 1.0;
    if (level.mode == OutputLevel::Mode::Gain) {
        gain = std::pow(10.0, std::clamp(level.gain_db, kMinGainDb, kMaxGainDb) / 20.0);
    } else if (level.mode == OutputLevel::Mode::Fit) {
        double peak = 0.0;
        for (const double x : chain.samples)
            peak = std::max(peak, std::abs(x));
        // Below this peak every sample rounds into the range as it is.
        if (peak > kHigh + 0.5) gain = kHigh / peak;
    }
    out.report.gain_db = 20.0 * std::log10(gain);
    out.samples.resize(chain.samples.size());
    for (std::size_t i = 0; i < chain.samples.size(); ++i) {
        // Rounded, not truncated: truncation toward zero would add a distortion of up to one
        // count and stop an untouched recording from coming out unchanged.
        const double rounded = std::round(gain == 1.0 ? chain.samples[i] : chain.samples[i] * gain);
        if (rounded < kLow || rounded > kHigh) ++out.report.clipped_samples;
        out.samples[i] = static_cast<int16_t>(std::clamp(rounded, kLow, kHigh));
    }
    return out;
}

} // namespace quavel::channel
