// Measurements of the weak-signal receiver alone: its squelch on noise, how soon it copies a
// signal off the tuned frequency, and whether it follows a drifting one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trial.h"

namespace quavel::perf {

struct NoiseCopy {
    double minutes = 0.0;
    std::size_t characters = 0; // printed with the squelch on
    std::size_t characters_without_squelch = 0;
    double per_minute() const { return minutes > 0 ? double(characters) / minutes : 0.0; }
};

// `minutes` of white noise alone (at the level the measurement sets) through the receiver, in
// `parts` recordings of different seeds run on `jobs` threads.
NoiseCopy copy_noise(uint32_t speed, double minutes, int parts, int jobs);

struct Acquisition {
    double offset_hz = 0.0;
    int runs = 0;
    std::size_t chars = 0;
    std::size_t errors = 0;
    // The most characters at the start of the text, over the runs, before the copy is the sent
    // text to its end; and the symbols sent up to there, idle ones first included.
    std::size_t worst_lost_chars = 0;
    double worst_lost_symbols = 0.0;
};

// The signal `offset_hz` from the tuned frequency, AWGN at `snr_db`.
Acquisition acquire(const Transmission& tx, double offset_hz, double snr_db, int repeats, int jobs);

struct Start {
    double snr_db = 0.0;
    double noise_seconds = 0.0; // noise alone before the transmission
    int runs = 0;
    int clean = 0;          // copied from the first character, nothing printed before it
    int printed_before = 0; // something printed before the text's first characters
    std::size_t worst_lost_chars = 0;
};

// How the copy starts: the transmission after `noise_seconds` of the noise alone (whole
// symbols), AWGN at `snr_db`, the lead-ins spread over a symbol.
Start measure_start(const Transmission& tx, double snr_db, double noise_seconds, int repeats,
                    int jobs);

struct Ending {
    int runs = 0;
    std::size_t characters = 0; // printed in the noise after the transmissions
};

// The transmission at `snr_db` on AWGN, then `seconds` of the noise alone: what the receiver
// prints after the transmission, beyond its copy of the same transmission without that noise.
Ending copy_after(const Transmission& tx, double snr_db, double seconds, int repeats, int jobs);

struct Drift {
    double rate_hz_per_s = 0.0;
    double span_hz = 0.0; // how far the signal moved over the transmission
    int runs = 0;
    std::size_t chars = 0;
    std::size_t errors = 0;
    double cer() const { return chars ? double(errors) / double(chars) : 0.0; }
};

// The signal's frequency moving at `rate_hz_per_s`, centred on the tuned frequency over the
// transmission, AWGN at `snr_db`.
Drift follow_drift(const Transmission& tx, double rate_hz_per_s, double snr_db, int repeats,
                   int jobs);

} // namespace quavel::perf
