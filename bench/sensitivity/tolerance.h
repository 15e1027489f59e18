// How much the receivers tolerate a signal that is off in time or in frequency: the lead-in moved
// across a whole symbol, the signal off the tuned frequency (the AFC's pull-in) and a sample-clock
// error between the two sound cards. All on AWGN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sweep.h"
#include "trial.h"

namespace quavel::perf {

// The SNR of the high-SNR half of these measurements.
inline constexpr double kHighSnrDb = 10.0;

struct LeadRun {
    uint32_t speed = 0;
    double snr_db = 0.0;
    int steps = 0;                 // lead-ins, evenly over one symbol
    std::vector<LeadPoint> points; // one per lead-in
    // Over all lead-ins.
    std::size_t chars = 0;
    std::size_t receiver_errors = 0;
    std::size_t ideal_errors = 0;
    std::size_t weak_errors = 0;
    // The classic receiver's worst lead-in, and the lead-ins (fractions of a symbol) where it
    // copied worse than 1%: how many and from where to where.
    double worst_cer = 0.0;
    double worst_lead = 0.0;
    std::size_t bad_leads = 0;
    double first_bad_lead = 1.0;
    double last_bad_lead = 0.0;
    std::size_t weak_bad_leads = 0; // lead-ins with any weak-signal error
};

// The lead-in in 32 steps over a symbol, at kHighSnrDb and near the classic receiver's 1% point.
std::vector<LeadRun> measure_lead(const Transmission& tx, int jobs);

struct AfcRun {
    uint32_t speed = 0;
    double snr_db = 0.0;
    double spacing_hz = 0.0; // the tones' spacing at this speed
    std::vector<OffsetPoint> points;
    // The pull-in: every offset from 0 out to these still copied below 5% CER.
    double low_hz = 0.0;
    double high_hz = 0.0;
    double weak_low_hz = 0.0;
    double weak_high_hz = 0.0;
};

// Offsets in eighths of the tone spacing out to three spacings, at kHighSnrDb.
AfcRun measure_afc(const Transmission& tx, int repeats, int jobs);

struct ClockRun {
    uint32_t speed = 0;
    double snr_db = 0.0;
    std::vector<ClockPoint> points; // one per kClockErrorsPpm
};

// The sample-clock errors measured, in parts per million of the receiver's rate.
inline constexpr double kClockErrorsPpm[] = {-1000, -300, -100, 0, 100, 300, 1000};

// The clock errors at kHighSnrDb and 3 dB above the sweep's start.
std::vector<ClockRun> measure_clock(const Transmission& tx, int repeats, int jobs);

} // namespace quavel::perf
