// Undoes a receiver AGC's steps in the audio before the weak-signal receiver's filter. An AGC
// moves the whole audio at once, noise and signal alike, by 10 or 20 dB when a strong signal
// comes and goes; a symbol that straddles such a step is half at one level and half at the
// other, and a matched filter keeps only about two thirds of its SNR. The level followed is the
// noise floor of the passband, the median over its 62.5 Hz bins in 16 ms blocks, which a station
// (a few bins wide) hardly moves. A step of that floor, with the whole audio stepping as far,
// held over three blocks, is taken back from where it began (the audio is delayed for that) by
// a gain that stays until the next step. Slow changes (fading, a band opening) pass unchanged.
// Allocation-free; one object per audio stream.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "rx/weak_fft.h"

namespace quavel {

class LevelSteps {
public:
    static constexpr uint32_t kBlock = 128; // samples at 8000 samples/s
    // The audio comes out this much later, so that a step found takes effect where it began.
    static constexpr uint32_t kDelay = 4 * kBlock;

    LevelSteps();

    void reset();

    // One sample in; out, the sample kDelay before it with the steps so far undone. The first
    // kDelay samples fill the delay and give none (false), so that what comes out starts with
    // the audio itself, not with a delay's silence.
    bool take(float x, float& out) {
        const float oldest = delayed_[head_];
        delayed_[head_] = x;
        head_ = head_ + 1 == kDelay ? 0 : head_ + 1;
        if (switch_in_ > 0 && --switch_in_ == 0) gain_ = next_gain_;
        block_[fill_] = x;
        if (++fill_ == kBlock) measure();
        if (filled_ < kDelay) {
            ++filled_;
            return false;
        }
        out = gain_ * oldest;
        return true;
    }

    // The gain applied now (1 until the first step), and steps undone since the reset.
    float gain() const { return gain_; }
    uint64_t steps() const { return steps_; }

private:
    void measure();
    // The gain that undoes the step, against the floor before it.
    float step_gain() const;
    // Where in the delayed audio the step began: samples from the oldest one held.
    uint32_t step_start() const;

    WeakFft fft_;
    std::array<float, kBlock> window_{};
    std::array<float, kBlock> block_{};
    std::array<std::complex<float>, kBlock> spectrum_{};
    std::array<float, kDelay> delayed_{};
    uint32_t head_ = 0; // the oldest sample held, and where the next one goes
    uint32_t fill_ = 0;
    uint32_t filled_ = 0;    // samples in the delay so far, up to kDelay
    float gain_ = 1.0f;      // applied to what comes out now
    float next_gain_ = 1.0f; // ... and from switch_in_ samples on (0: no change waiting)
    uint32_t switch_in_ = 0;
    double floor_ = 0.0;      // the floor followed, as the gain leaves it (0: none yet)
    double whole_ = 0.0;      // the whole stretch's power followed the same way
    int pending_ = 0;         // the last blocks stepped up (1), down (-1) or neither
    int pending_blocks_ = 0;  // how many of them in a row
    int settling_ = 0;        // blocks since a step, while its gain is being settled (0: none)
    double since_step_ = 0.0; // the mean floor of those blocks, in the input's units
    uint64_t steps_ = 0;
};

} // namespace quavel
