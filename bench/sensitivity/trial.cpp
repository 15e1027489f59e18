#include "trial.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "channel/ideal_detector.h"
#include "channel/limit_detector.h"
#include "channel/signal_power.h"
#include "channel/white_noise.h"
#include "error_rate.h"
#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "receive_run.h"
#include "weak_run.h"

namespace quavel::perf {

std::vector<int16_t> padded_transmission(const Transmission& tx, std::size_t lead_samples,
                                         std::size_t more_tail) {
    const std::size_t N = tx.symbol_samples;
    lead_samples %= N;
    std::vector<int16_t> out(lead_samples, 0);
    out.insert(out.end(), tx.samples.begin(), tx.samples.end());
    out.resize(out.size() + (N - lead_samples) + more_tail, 0);
    return out;
}

ReceivedAudio through_channel(const Transmission& tx, const TrialSpec& spec) {
    ReceivedAudio audio;
    const std::vector<int16_t> padded =
        padded_transmission(tx, spec.lead_samples, spec.tail_samples);
    std::vector<double> clean(padded.begin(), padded.end());
    channel::ChannelParams params = spec.channel;
    if (params.neighbour && params.neighbour->samples.empty()) params.neighbour->samples = clean;

    if (spec.set_level) {
        // The noise, the neighbour and the carrier are set against the clean signal's power, so
        // the output's mean square is known beforehand; fading keeps it on average.
        const double signal = channel::measure_signal_power(clean).mean_square;
        const double noise =
            params.snr_db ? channel::noise_variance_for_snr(signal, *params.snr_db) : 0.0;
        double others = 0.0;
        if (params.neighbour) others += signal * std::pow(10.0, params.neighbour->level_db / 10.0);
        if (params.carrier) others += signal * std::pow(10.0, params.carrier->level_db / 10.0);
        audio.gain = std::min(1.0, kReceiveLevelRms / std::sqrt(signal + noise + others));
    }
    std::vector<float> input(padded.size());
    for (std::size_t i = 0; i < padded.size(); ++i)
        input[i] = static_cast<float>(padded[i] * audio.gain);
    const auto out = channel::apply_channel(std::span<const float>(input), params);
    if (!out.ok()) {
        audio.error = out.error;
        return audio;
    }
    audio.noise_variance = out.report.noise_variance;
    // Rounded and clipped as the channel tool rounds its 16-bit output.
    constexpr double kLow = std::numeric_limits<int16_t>::min();
    constexpr double kHigh = std::numeric_limits<int16_t>::max();
    audio.samples.resize(out.samples.size());
    for (std::size_t i = 0; i < out.samples.size(); ++i) {
        const double rounded = std::round(static_cast<double>(out.samples[i]));
        if (rounded < kLow || rounded > kHigh) ++audio.clipped;
        audio.samples[i] = static_cast<int16_t>(std::clamp(rounded, kLow, kHigh));
    }
    return audio;
}

uint32_t true_sync_position(uint32_t symbol_samples, std::size_t lead_samples) {
    const uint32_t N = symbol_samples;
    const uint32_t position = N / 4 + static_cast<uint32_t>(lead_samples % N) / 2;
    return position > 63 * N / 128 ? position - N / 2 : position;
}

void low_pass_2khz(std::vector<int16_t>& samples) {
    // Windowed sinc: cut at 1800 Hz, Blackman window over 63 taps (transition about 700 Hz).
    // Only what folds onto the passband matters: the noise near 4000 Hz minus the tones.
    constexpr int kTaps = 63;
    constexpr int kHalf = kTaps / 2;
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kCut = 1800.0 / 8000.0; // cycles per sample
    std::array<double, kTaps> taps{};
    double sum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
        const int n = i - kHalf;
        const double sinc = n == 0 ? 2.0 * kCut : std::sin(2.0 * kPi * kCut * n) / (kPi * n);
        const double x = 2.0 * kPi * i / (kTaps - 1);
        const double window = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        taps[i] = sinc * window;
        sum += taps[i];
    }
    for (double& t : taps)
        t /= sum;
    const std::vector<int16_t> in = samples;
    const long size = static_cast<long>(in.size());
    for (long k = 0; k < size; ++k) {
        double y = 0.0;
        for (int i = 0; i < kTaps; ++i) {
            const long j = k + kHalf - i;
            if (j >= 0 && j < size) y += taps[i] * in[j];
        }
        samples[k] = static_cast<int16_t>(std::clamp(std::round(y), -32768.0, 32767.0));
    }
}

int ideal_segments(const channel::ChannelParams& channel, uint32_t symbol_samples) {
    if (!channel.fading) return 1;
    const double seconds = symbol_samples / 8000.0;
    const double parts = seconds * 4.0 * channel.fading->spread_hz;
    int segments = 1;
    while (segments * 2 <= parts && segments * 2 <= channel::IdealDetector::kMaxSegments)
        segments *= 2;
    return segments;
}

TrialOptions::IdealModel ideal_model(const channel::ChannelParams& channel, uint32_t speed) {
    if (!channel.fading || channel.fading->path_count < 2)
        return TrialOptions::IdealModel::LockedPhase;
    // From the lowest tone to the highest: eight spacings.
    const double span_hz = 8.0 * tone_spacing_hz(speed);
    const double turn_degrees = 360.0 * channel.fading->delay_ms / 1000.0 * span_hz;
    if (turn_degrees < 40.0) return TrialOptions::IdealModel::LockedPhase;
    return turn_degrees < 80.0 ? TrialOptions::IdealModel::FreePhase
                               : TrialOptions::IdealModel::Fading;
}

TrialResult run_trial(const Transmission& tx, const TrialSpec& spec, const TrialOptions& options) {
    TrialResult result;
    ReceivedAudio audio = through_channel(tx, spec);
    if (!audio.error.empty()) {
        result.error = audio.error;
        return result;
    }
    result.clipped = audio.clipped;

    if (options.ideal) {
        SpeedProfile profile;
        build_speed_profile(profile, speed_from_value(tx.speed).value_or(Speed::Two));
        const int segments = options.ideal_segments > 0
                                 ? options.ideal_segments
                                 : ideal_segments(spec.channel, tx.symbol_samples);
        const auto model = options.ideal_model == TrialOptions::IdealModel::Auto
                               ? ideal_model(spec.channel, tx.speed)
                               : options.ideal_model;
        channel::FadingKnowledge knowledge;
        knowledge.noise_variance = audio.noise_variance + 1.0 / 12.0; // with the rounding
        knowledge.single_tone_amplitude = kSymbolAmplitude * audio.gain;
        using Phase = channel::IdealDetector::PairPhase;
        const channel::IdealDetector ideal =
            model == TrialOptions::IdealModel::Fading
                ? channel::IdealDetector(profile, tx.centre_hz, spec.channel.offset_hz, segments,
                                         knowledge)
                : channel::IdealDetector(
                      profile, tx.centre_hz, spec.channel.offset_hz, segments,
                      model == TrialOptions::IdealModel::FreePhase ? Phase::Free : Phase::Locked);
        // The transmission's symbols only: the tail after it is noise alone.
        const std::size_t lead = spec.lead_samples % tx.symbol_samples;
        const std::size_t end = std::min(audio.samples.size(), lead + tx.samples.size());
        const auto symbols =
            ideal.detect_all(std::span<const int16_t>(audio.samples).first(end), lead);
        result.ideal_text = channel::symbols_to_text(symbols);
        result.ideal_errors = edit_distance(tx.text, result.ideal_text);
    }

    if (options.limit) {
        SpeedProfile profile;
        build_speed_profile(profile, speed_from_value(tx.speed).value_or(Speed::Two));
        // Told what the simulation knows: the level it set, the noise it added (with the
        // rounding), the shift, and on a fading channel its taps.
        const auto taps = channel::channel_fading_taps(spec.channel, audio.samples.size());
        channel::KnownChannel known;
        known.amplitude = kSymbolAmplitude * audio.gain;
        known.noise_variance = audio.noise_variance + 1.0 / 12.0;
        known.shift_hz = spec.channel.offset_hz;
        known.fading = taps ? &*taps : nullptr;
        const channel::LimitDetector limit(profile, tx.centre_hz, known);
        const std::size_t lead = spec.lead_samples % tx.symbol_samples;
        const std::size_t end = std::min(audio.samples.size(), lead + tx.samples.size());
        const auto symbols =
            limit.detect_all(std::span<const int16_t>(audio.samples).first(end), lead);
        result.limit_text = channel::symbols_to_text(symbols);
        result.limit_errors = edit_distance(tx.text, result.limit_text);
    }

    if (options.weak) {
        const WeakResult weak =
            receive_weak(audio.samples, {tx.speed, tx.centre_hz, options.weak_squelch});
        result.weak_text = weak.text;
        result.weak_errors = edit_distance(tx.text, weak.text);
        result.weak_frequency_hz = weak.final_frequency_hz;
    }

    if (!options.classic) return result;
    ReceiveOptions rx;
    rx.speed = tx.speed;
    rx.centre_hz = tx.centre_hz;
    rx.afc = options.afc;
    if (options.known_sync) {
        rx.auto_sync = false;
        rx.sync_position = true_sync_position(tx.symbol_samples, spec.lead_samples);
    }
    if (options.low_pass) low_pass_2khz(audio.samples);
    const ReceiveResult received = receive(std::move(audio.samples), rx);
    result.receiver_text = settled_text(received);
    result.receiver_errors = edit_distance(tx.text, result.receiver_text);
    result.final_centre_hz = received.final_centre_hz;
    return result;
}

} // namespace quavel::perf
