// The weak-signal receiver beyond its SNR curves, per speed: what its squelch lets through on
// noise alone and after a transmission, what the squelch costs at the 5% point, how soon it copies
// a signal off the tuned frequency, and whether it follows a drifting one.
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
};

// `settings` gives the sweep's repeats and threads; `side_repeats` the transmissions of each
// acquisition, drift and ending case.
WeakExtras measure_weak_extras(const Transmission& tx, bool open_squelch_sweep,
                               const SweepSettings& settings, int side_repeats);

} // namespace quavel::perf
