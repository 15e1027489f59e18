#include "channel/channel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "channel/analytic_signal.h"
#include "channel/clock_error.h"
#include "channel/frequency_shift.h"
#include "channel/portable_math.h"
#include "channel/random.h"
#include "channel/white_noise.h"
#include "modem/speed_profile.h"

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

double from_db(double db) {
    return portable_exp(db / 10.0 * kLn10);
}

// The neighbour's recording placed, faded, moved and levelled against the wanted signal.
void add_neighbour(std::vector<double>& signal, const NeighbourParams& n, double signal_power,
                   const std::optional<FadingParams>& fading, Random& random) {
    std::vector<double> placed(signal.size(), 0.0);
    const auto start = static_cast<std::size_t>(n.start_s * static_cast<double>(kSampleRateHz));
    for (std::size_t i = 0; i < n.samples.size() && start + i < placed.size(); ++i)
        placed[start + i] = n.samples[i];
    const SignalPower own = measure_signal_power(n.samples);
    if (own.silent() || placed.empty()) return;
    auto analytic = analytic_signal(placed);
    if (fading) apply_fading(analytic, *fading, random);
    placed = shift_to_real(analytic, n.offset_hz);
    const double gain = std::sqrt(signal_power * from_db(n.level_db) / own.mean_square);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] += gain * placed[i];
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

    if (params.crashes && !params.snr_db) {
        out.error = "static crashes are set against the noise, so they need an SNR";
        return out;
    }
    if ((params.neighbour || params.carrier) && out.report.signal.silent()) {
        out.error = "the input is silent, so there is no signal power to set a neighbour or a "
                    "carrier against";
        return out;
    }

    // The streams are drawn in this order whatever is asked for, so that adding a stage never
    // changes the draws of another (channel_fading_taps() draws the first one as here).
    uint64_t stream = params.seed;
    Random fading_random(splitmix64(stream));
    Random noise_random(splitmix64(stream));
    Random neighbour_random(splitmix64(stream));
    Random crash_random(splitmix64(stream));

    if (params.fading || params.offset_hz != 0.0) {
        auto analytic = analytic_signal(signal);
        if (params.fading) apply_fading(analytic, *params.fading, fading_random);
        signal = shift_to_real(analytic, params.offset_hz);
    }
    if (params.neighbour)
        add_neighbour(signal, *params.neighbour, out.report.signal.mean_square, params.fading,
                      neighbour_random);
    if (params.carrier) {
        const double power = out.report.signal.mean_square * from_db(params.carrier->level_db);
        add_carrier(signal, std::sqrt(2.0 * power), params.carrier->frequency_hz);
    }
    if (params.clock_ppm != 0.0) signal = apply_clock_error(signal, params.clock_ppm);
    if (params.snr_db) {
        out.report.noise_variance =
            noise_variance_for_snr(out.report.signal.mean_square, *params.snr_db);
        add_white_noise(signal, out.report.noise_variance, noise_random);
    }
    if (params.crashes)
        out.report.crashes =
            add_crashes(signal, *params.crashes, out.report.noise_variance, crash_random);
    if (params.agc) apply_agc_steps(signal, *params.agc);
    if (params.clip_db && !signal.empty()) {
        double sum = 0.0;
        for (const double x : signal)
            sum += x * x;
        const double rms = std::sqrt(sum / static_cast<double>(signal.size()));
        out.report.hard_clipped = hard_clip(signal, rms * std::sqrt(from_db(*params.clip_db)));
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
    if (const auto& n = params.neighbour) {
        if (!within(n->level_db, kMinSnrDb, kMaxSnrDb))
            return out_of_range("the neighbour's level", kMinSnrDb, kMaxSnrDb, "dB");
        if (!within(n->offset_hz, -kMaxOffsetHz, kMaxOffsetHz))
            return out_of_range("the neighbour's offset", -kMaxOffsetHz, kMaxOffsetHz, "Hz");
        if (!within(n->start_s, 0.0, kMaxAgcPeriodS))
            return out_of_range("the neighbour's start", 0.0, kMaxAgcPeriodS, "s");
        for (const double x : n->samples)
            if (!std::isfinite(x))
                return "the neighbour holds a sample that is not a finite number";
    }
    if (const auto& c = params.carrier) {
        if (!within(c->level_db, kMinSnrDb, kMaxSnrDb))
            return out_of_range("the carrier's level", kMinSnrDb, kMaxSnrDb, "dB");
        const double nyquist = kSampleRateHz / 2.0;
        if (!within(c->frequency_hz, 0.0, nyquist))
            return out_of_range("the carrier's frequency", 0.0, nyquist, "Hz");
    }
    if (const auto& c = params.crashes) {
        if (!within(c->rate_hz, 0.0, kMaxCrashRateHz))
            return out_of_range("the crash rate", 0.0, kMaxCrashRateHz, "a second");
        if (!within(c->min_db, 0.0, kMaxCrashDb) || !within(c->max_db, c->min_db, kMaxCrashDb))
            return out_of_range("the crash levels", 0.0, kMaxCrashDb, "dB, lowest first");
        if (!within(c->min_ms, 0.0, kMaxCrashMs) || !within(c->max_ms, c->min_ms, kMaxCrashMs))
            return out_of_range("the crash lengths", 0.0, kMaxCrashMs, "ms, shortest first");
    }
    if (const auto& a = params.agc) {
        if (!within(a->step_db, 0.0, kMaxAgcStepDb))
            return out_of_range("the AGC step", 0.0, kMaxAgcStepDb, "dB");
        if (!within(a->period_s, kMinAgcPeriodS, kMaxAgcPeriodS))
            return out_of_range("the AGC period", kMinAgcPeriodS, kMaxAgcPeriodS, "s");
    }
    if (params.clip_db && !within(*params.clip_db, kMinClipDb, kMaxClipDb))
        return out_of_range("the clip level", kMinClipDb, kMaxClipDb, "dB");
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

std::optional<FadingTaps> channel_fading_taps(const ChannelParams& params, std::size_t length) {
    if (!params.fading || !check_channel_params(params).empty()) return std::nullopt;
    uint64_t stream = params.seed;
    Random fading_random(splitmix64(stream));
    return draw_fading_taps(length, *params.fading, fading_random);
}

} // namespace quavel::channel
