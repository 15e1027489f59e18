// A stretch of band: several stations' overs, each at its own SNR and starting time, steady
// carriers, and white noise over it all, mixed into one 16-bit recording at 8000 samples/s.
//
// Levels are set against a fixed noise floor, so a station's SNR (in 2500 Hz, against the power of
// its own over) does not depend on who else is on the air.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "over.h"

namespace quavel::perf {

// The noise's rms over 0..4000 Hz, in 16-bit units: ten stations up to +10 dB above it and a
// neighbour 20 dB over a weak station stay well inside the range.
inline constexpr double kNoiseRms = 1000.0;

struct SceneStation {
    Over over;
    double snr_db = 0.0;
    std::size_t start_sample = 0;
    // Where each character's last symbol ends, in seconds into the recording.
    double char_end_s(std::size_t i) const {
        return static_cast<double>(start_sample + over.char_end_samples[i]) / 8000.0;
    }
    double start_s() const { return static_cast<double>(start_sample) / 8000.0; }
    double end_s() const {
        return static_cast<double>(start_sample + over.samples.size()) / 8000.0;
    }
};

struct SceneCarrier {
    double freq_hz = 1000.0;
    double level_db = 10.0; // its power over the noise in 2500 Hz
};

struct Scene {
    std::vector<SceneStation> stations;
    std::vector<SceneCarrier> carriers;
    std::size_t length_samples = 0; // at least every over's end (render() extends it)
    uint64_t seed = 1;
    bool noise = true;
    double length_s() const { return static_cast<double>(length_samples) / 8000.0; }
};

struct Rendered {
    std::vector<int16_t> samples;
    std::size_t clipped = 0;
};

Rendered render(const Scene& scene);

// The recording's length that leaves `tail_s` of band after the last over.
std::size_t length_after_overs(const Scene& scene, double tail_s);

} // namespace quavel::perf
