// What an HF band adds besides Gaussian noise and fading, for measuring a receiver against it:
// static crashes, a steady carrier, a second station of the mode, a receiver's AGC stepping the
// level, and audio clipped by an overdriven sound card. Each is a stage of the channel (see
// channel.h for where each sits in the chain); all draw their randomness from the channel's seed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "channel/random.h"

namespace quavel::channel {

// Static crashes: bursts of white Gaussian noise arriving at random (a Poisson process of
// `rate_hz` a second), each lasting a duration drawn uniformly from [min_ms, max_ms] at a
// power drawn uniformly in dB from [min_db, max_db] above the channel's white noise.
struct CrashParams {
    double rate_hz = 5.0;
    double min_db = 20.0;
    double max_db = 40.0;
    double min_ms = 1.0;
    double max_ms = 5.0;
};
inline constexpr double kMaxCrashRateHz = 100.0;
inline constexpr double kMaxCrashDb = 60.0;
inline constexpr double kMaxCrashMs = 50.0;

// A steady unmodulated carrier `level_db` above the signal's power at `frequency_hz`.
struct CarrierParams {
    double level_db = 10.0;
    double frequency_hz = 1000.0;
};

// A second station: its recording (same rate and units as the input), set `level_db` above the
// wanted signal's power (both measured over their active spans), moved by `offset_hz` and
// starting `start_s` into the input. It fades independently with the same model as the wanted
// signal; it is cut or padded with silence to the input's length.
struct NeighbourParams {
    std::vector<double> samples;
    double level_db = 0.0;
    double offset_hz = 150.0;
    double start_s = 0.0;
};

// A receiver's AGC stepping: the whole received audio (signal and noise alike, so the SNR stays
// the same) is `step_db` down for every other `period_s`, starting at the first period's end.
struct AgcParams {
    double step_db = 15.0;
    double period_s = 3.0;
};
inline constexpr double kMaxAgcStepDb = 60.0;
inline constexpr double kMinAgcPeriodS = 0.05;
inline constexpr double kMaxAgcPeriodS = 3600.0;

// Hard clipping `clip_db` above the rms of the audio (so -3 dB clips a sine's peaks, 0 dB cuts
// most of the crests of noise). The clip level is taken over the whole recording.
inline constexpr double kMinClipDb = -20.0;
inline constexpr double kMaxClipDb = 40.0;

// Adds crashes, drawing arrival times, durations and levels from `random`; returns how many.
std::size_t add_crashes(std::span<double> signal, const CrashParams& params, double noise_variance,
                        Random& random);

// Adds the carrier at `amplitude` (peak), phase 0 at the first sample.
void add_carrier(std::span<double> signal, double amplitude, double frequency_hz);

// Steps the level as the AGC would.
void apply_agc_steps(std::span<double> signal, const AgcParams& params);

// Clips at +-`level`; returns how many samples it changed.
std::size_t hard_clip(std::span<double> signal, double level);

} // namespace quavel::channel
