// The measurement plan: SNR sweeps per speed and channel, the AFC pull-in, the sample-clock
// error. Trials run on `jobs` threads; each trial owns its own receiver and detector, so the
// results do not depend on how many threads ran them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "trial.h"

namespace quavel::perf {

// Gaussian noise, the three fading presets, and what else a band adds on top of the noise:
// static crashes a second, a carrier dB above the signal half-way between two of its tones, the
// receiver's AGC stepping 15 dB every 3 s, a neighbour of the mode dB stronger 150 Hz up (the
// same transmission half a symbol later), a sample clock 200 ppm fast or slow, the audio
// clipped at its rms.
enum class ChannelKind {
    Awgn,
    Quiet,
    Moderate,
    Disturbed,
    Crashes2,
    Crashes5,
    Crashes10,
    Carrier10,
    Carrier20,
    Agc15,
    Neighbour10,
    Neighbour20,
    ClockFast,
    ClockSlow,
    Clipped,
};
inline constexpr ChannelKind kChannelKinds[] = {
    ChannelKind::Awgn,      ChannelKind::Quiet,       ChannelKind::Moderate,
    ChannelKind::Disturbed, ChannelKind::Crashes2,    ChannelKind::Crashes5,
    ChannelKind::Crashes10, ChannelKind::Carrier10,   ChannelKind::Carrier20,
    ChannelKind::Agc15,     ChannelKind::Neighbour10, ChannelKind::Neighbour20,
    ChannelKind::ClockFast, ChannelKind::ClockSlow,   ChannelKind::Clipped};

// "awgn", "quiet", "moderate", "disturbed", "crashes2", ..., "clipped".
const char* channel_name(ChannelKind kind);

// The channel of one trial. `repeat` picks the seed and the lead-in; the same repeat gives the
// same noise and fading at every SNR, so a curve is not made ragged by a new draw per point.
TrialSpec trial_spec(ChannelKind kind, double snr_db, uint32_t speed, int repeat,
                     uint32_t symbol_samples);

// Where a sweep of `speed` (1, 2 or 4) on `kind` starts: about the classic receiver's 5% point,
// so that few points are wasted.
int sweep_start_db(uint32_t speed, ChannelKind kind);

// Calls `trial(i)` for i in [0, count) on up to `jobs` threads; results in index order.
std::vector<TrialResult> run_parallel(int count, int jobs,
                                      const std::function<TrialResult(int)>& trial);

struct SnrPoint {
    double snr_db = 0.0;
    int runs = 0;
    std::size_t chars = 0; // characters sent over all runs
    std::size_t receiver_errors = 0;
    std::size_t ideal_errors = 0;
    std::size_t limit_errors = 0;
    bool limit_measured = false; // false: --no-limit, limit_errors means nothing
    std::size_t weak_errors = 0;
    std::size_t clipped = 0;
    double receiver_cer() const { return chars ? double(receiver_errors) / double(chars) : 0.0; }
    double ideal_cer() const { return chars ? double(ideal_errors) / double(chars) : 0.0; }
    double limit_cer() const { return chars ? double(limit_errors) / double(chars) : 0.0; }
    double weak_cer() const { return chars ? double(weak_errors) / double(chars) : 0.0; }
};

struct SweepSettings {
    TrialOptions trial;
    int repeats = 6;
    int jobs = 2;
    int lowest_db = -30;
    int highest_db = 30;
    int step_db = 1;
    // An error floor: this many dB more took off less than a third of the errors.
    int floor_window_db = 5;
    // The receiver is done climbing once it has copied without error this many points in a row.
    int clean_points_to_stop = 2;
    // Stop going down once the receiver is at least this bad and the ideal detector past its
    // 5% point.
    double bad_cer_to_stop = 0.4;
    double bad_ideal_cer_to_stop = 0.1;
};

// Evaluates steps of `step_db` from `start_db` upward until the receiver copies perfectly (or shows
// an error floor) and the ideal and limit detectors are below 1% (or show a floor), then downward
// until the receiver is lost and both detectors are past their 5% points. Points in increasing
// SNR.
std::vector<SnrPoint> sweep_snr(const Transmission& tx, ChannelKind kind, int start_db,
                                const SweepSettings& settings,
                                const std::function<void(const SnrPoint&)>& progress);

SnrPoint evaluate_point(const Transmission& tx, ChannelKind kind, double snr_db, int repeats,
                        int jobs, const TrialOptions& options = {});

struct OffsetPoint {
    double offset_hz = 0.0;
    int runs = 0;
    std::size_t chars = 0;
    std::size_t errors = 0;
    double mean_final_error_hz = 0.0; // receiver's final centre minus the signal's true centre
    std::size_t weak_errors = 0;
    double weak_mean_final_error_hz = 0.0;
    double cer() const { return chars ? double(errors) / double(chars) : 0.0; }
    double weak_cer() const { return chars ? double(weak_errors) / double(chars) : 0.0; }
};

// The receiver tuned to the nominal centre, the signal shifted by each offset, AWGN at `snr_db`.
// Each direction stops after two offsets in a row copied worse than `lost_cer`.
std::vector<OffsetPoint> sweep_offset(const Transmission& tx, double snr_db,
                                      const std::vector<double>& offsets_hz, int repeats, int jobs,
                                      double lost_cer = 0.5);

struct LeadPoint {
    double lead_fraction = 0.0; // of a symbol
    std::size_t chars = 0;
    std::size_t receiver_errors = 0;
    std::size_t ideal_errors = 0;
    std::size_t weak_errors = 0;
    std::size_t limit_errors = 0;
};

// One transmission at each of `count` lead-ins spread evenly over a symbol, AWGN at `snr_db`.
std::vector<LeadPoint> sweep_lead(const Transmission& tx, double snr_db, int count, int jobs);

struct ClockPoint {
    double ppm = 0.0;
    double snr_db = 0.0;
    int runs = 0;
    std::size_t chars = 0;
    std::size_t errors = 0;
    std::size_t weak_errors = 0;
    double cer() const { return chars ? double(errors) / double(chars) : 0.0; }
    double weak_cer() const { return chars ? double(weak_errors) / double(chars) : 0.0; }
};

std::vector<ClockPoint> sweep_clock(const Transmission& tx, double snr_db,
                                    const std::vector<double>& ppms, int repeats, int jobs);

} // namespace quavel::perf
