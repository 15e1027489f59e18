// The weak-signal receiver beyond its SNR curves, per speed: what its squelch lets through on
// noise alone and after a transmission, what the squelch costs at the 5% point, how soon it copies
// a signal off the tuned frequency, whether it follows a drifting one, how its copy starts, and
// its thresholds on a shorter over, where the errors before the lock weigh more.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sweep.h"
#include "trial.h"
#include "weak_measure.h"

namespace quavel::perf {

struct DriftRun {
    double snr_db = 0.0;
    Drift drift;
};

struct WeakExtras {
    uint32_t speed = 0;
    NoiseCopy noise; // ten minutes of noise alone
    Ending ending;   // the noise after transmissions at 0 dB
    double tail_seconds = 0.0;
    // An AWGN sweep of the weak-signal receiver alone with its squelch off; none when the
    // measurement has no AWGN curve to set it against.
    std::optional<std::vector<SnrPoint>> open_squelch;
    std::vector<Acquisition> acquisitions; // -20, -10, 0, +10, +20 Hz off, at 0 dB
    std::vector<DriftRun> drifts;          // at 0 dB and at the sweep's start
    std::vector<Start> starts;             // at +10 and 0 dB, after a short and a long noise
    // An AWGN sweep of the weak-signal receiver alone on an over of `short_chars` characters;
    // none without an AWGN curve or a short over to send.
    std::optional<std::vector<SnrPoint>> short_over;
    std::size_t short_chars = 0;
};

// `settings` gives the sweep's repeats and threads; `side_repeats` the transmissions of each
// acquisition, drift, start and ending case. `short_tx`, when given, is the short over.
WeakExtras measure_weak_extras(const Transmission& tx, const Transmission* short_tx,
                               bool awgn_sweeps, const SweepSettings& settings, int side_repeats);

} // namespace quavel::perf
