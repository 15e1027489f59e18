// The HF channel simulator: the instrument the modem is measured with, not part of the modem.
// A recording at 8000 samples per second passes, in this order, through
//   1. fading (two-path Gaussian-Doppler, on the analytic signal),
//   2. a frequency offset (on the analytic signal, no mirror image),
//   3. a sample-clock error (the only stage that changes the length),
//   4. white Gaussian noise, set by the SNR in 2500 Hz against the power of the clean input's
//      active span (see signal_power.h), the usual convention: fading then changes the
//      short-term SNR around the requested mean, as on the air.
// and, when asked for (interference.h), what else a band and a receiver add: a neighbouring
// station and a carrier join the signal after its offset (before the clock error, which the
// sound card applies to everything it hears), static crashes join the noise, and the receiver's
// AGC steps and clipping come last, on everything together.
// Stages left at their defaults are skipped; with none requested the output equals the input.
// Samples are in 16-bit units (full scale +/-32768) whether carried as int16_t or float.
//
// Randomness comes from `seed` only: the fading and the noise draw from two streams derived
// from it, so one seed gives the same noise with or without fading, and the same output on
// every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "channel/fading.h"
#include "channel/interference.h"
#include "channel/signal_power.h"

namespace quavel::channel {

struct ChannelParams {
    std::optional<FadingParams> fading; // none: no fading
    double offset_hz = 0.0;             // within +/- kMaxOffsetHz (frequency_shift.h)
    double clock_ppm = 0.0;             // within +/- kMaxClockPpm (clock_error.h)
    std::optional<double> snr_db;       // none: no noise; else kMinSnrDb..kMaxSnrDb (white_noise.h)
    std::optional<NeighbourParams> neighbour;
    std::optional<CarrierParams> carrier;
    std::optional<CrashParams> crashes; // needs snr_db: crashes are set against the noise
    std::optional<AgcParams> agc;
    std::optional<double> clip_db; // kMinClipDb..kMaxClipDb above the rms
    uint64_t seed = 1;
};

// A message naming the first parameter out of range, or empty when all are valid.
std::string check_channel_params(const ChannelParams& params);

struct ChannelReport {
    SignalPower signal;              // of the clean input
    double noise_variance = 0.0;     // per sample; 0 without noise
    std::size_t clipped_samples = 0; // samples held at -32768 or 32767 (16-bit output only)
    double gain_db = 0.0;            // the gain the 16-bit output was given (OutputLevel)
    std::size_t crashes = 0;         // static crashes added
    std::size_t hard_clipped = 0;    // samples changed by clip_db
};

// How the 16-bit output is levelled. Noise added to a full-scale recording goes beyond the
// 16-bit range; clipped, it would no longer be the channel that was asked for.
struct OutputLevel {
    enum class Mode {
        AsIs, // as it comes: what goes beyond the range is clipped
        Gain, // scaled by gain_db (kMinGainDb..kMaxGainDb), then clipped where still too loud
        Fit,  // scaled down, never up, just enough that no sample clips
    };
    Mode mode = Mode::AsIs;
    double gain_db = 0.0;
};
inline constexpr double kMinGainDb = -60.0;
inline constexpr double kMaxGainDb = 60.0;

template <typename Sample> struct ChannelOutput {
    std::vector<Sample> samples;
    ChannelReport report;
    std::string error; // empty on success; then `samples` is the whole output
    bool ok() const { return error.empty(); }
};

// Fails (with nothing in `samples`) on parameters out of range, and when noise is asked of an
// input without an active span (an SNR against silence means nothing).
ChannelOutput<float> apply_channel(std::span<const float> input, const ChannelParams& params);

// As above, levelled as `level` says and rounded to the nearest 16-bit value; values beyond
// the range are clipped (never wrapped) and counted in report.clipped_samples.
ChannelOutput<int16_t> apply_channel(std::span<const int16_t> input, const ChannelParams& params,
                                     OutputLevel level = {});

// The fading taps apply_channel() gives an input of `length` samples with these parameters (the
// same seed, the same draws), for a reference told the channel; none without fading.
std::optional<FadingTaps> channel_fading_taps(const ChannelParams& params, std::size_t length);

} // namespace quavel::channel
