// Sample-rate conversion of one channel of audio by a rational ratio, for sound devices that will
// not run at the modem's 8000 samples per second. A windowed-sinc (Kaiser) interpolator low-passes
// at the lower of the two Nyquist frequencies, so nothing above 4000 Hz folds into the modem's
// band when a 44100 or 48000 Hz device is brought down to 8000 Hz. Passband flat to 0.9 of that
// Nyquist frequency, stopband from 1.1 of it, about 90 dB down.
//
// Streaming: feed blocks of any length; the output of many small blocks equals the output of one
// large block. Output sample k sits at input time k * in_rate / out_rate (no delay), which needs
// half a filter length of input beyond it, so the output lags the input by that much.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quavel {

class Resampler {
public:
    Resampler() = default;
    // Prepares the filter for `in_rate_hz` -> `out_rate_hz` (each 1000..768000) and forgets any
    // history. False (and passes nothing through afterwards) for a rate outside that range.
    bool configure(uint32_t in_rate_hz, uint32_t out_rate_hz);
    // Forgets the history, as after configure.
    void reset();
    // Appends every output sample that `in` completes to `out`.
    void process(std::span<const float> in, std::vector<float>& out);

    bool passthrough() const { return up_ == down_; }
    // Input samples of look-ahead the filter needs on each side of an output instant.
    uint32_t half_width_samples() const { return half_width_; }

private:
    uint32_t up_ = 1;   // L: output rate / gcd
    uint32_t down_ = 1; // M: input rate / gcd
    bool valid_ = true;
    uint32_t half_width_ = 0;
    uint32_t phases_ = 1;        // rows of the tap table (at most kMaxPhases)
    std::vector<float> taps_;    // phases_ rows of 2 * half_width_ taps
    std::vector<float> history_; // input not yet wholly consumed, padded at the start
    uint64_t base_ = 0;          // index in history_ of the input sample at or before
                                 // the next output instant
    uint64_t phase_ = 0;         // that instant's fraction past base_, in 1/up_ units
};

} // namespace quavel
