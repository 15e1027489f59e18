// A noise blanker for impulse noise (static crashes, ignition, switching spikes): a sample far
// above the recent level of the audio starts a blank, and the audio is silenced until no sample
// has been that loud for a short hold. A crash is a few milliseconds of noise tens of dB above
// the band's; silenced, it costs the symbol it falls in a few per cent of its energy, where let
// through it would outweigh the whole symbol.
//
// The level is the mean square of the audio over the last few tens of milliseconds, leaving out
// what was blanked, with a floor a little below its mean square over the last second or so, so
// that the quiet start of a symbol after a gap is not taken for a crash. A blank that goes on
// far longer than a crash is a change of level instead (an AGC or a band opening): the level
// jumps to that of the blanked span and the audio passes again. Allocation-free; one object per
// audio stream.
#pragma once

#include <cstdint>

namespace quavel {

class NoiseBlanker {
public:
    struct Config {
        float threshold = 4.5f;   // a sample this many times the level's rms starts a blank
        float level_ms = 25.0f;   // the level's time constant
        float floor_ms = 1000.0f; // the floor's
        float floor_db = -12.0f;  // the floor below the long mean square
        float hold_ms = 1.5f;     // silence this long after the last loud sample
        float longest_ms = 10.0f; // a blank longer than this is a change of level
        float quietest = 1.0f;    // the lowest level, in squared 16-bit units (1 LSB rms)
        float sample_rate_hz = 8000.0f;
    };

    NoiseBlanker() : NoiseBlanker(Config{}) {}
    NoiseBlanker(const Config& config, bool enabled) : NoiseBlanker(config) { enabled_ = enabled; }
    explicit NoiseBlanker(const Config& config);

    void reset();
    void set_enabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // One sample (in 16-bit units) in, the sample or silence out.
    float take(float x);

    // Blanks started since the last reset.
    uint64_t blanks() const { return blanks_; }
    // Samples silenced since the last reset.
    uint64_t silenced() const { return silenced_; }

private:
    Config config_;
    bool enabled_ = true;
    float threshold_square_;
    float level_weight_;
    float floor_weight_;
    float floor_gain_;
    uint32_t hold_;
    uint32_t longest_;
    uint32_t warm_up_;

    float level_ = 0.0f;
    float floor_ = 0.0f;
    uint32_t warmed_ = 0;
    uint32_t hold_left_ = 0;
    uint32_t blanked_ = 0;    // samples in the current blank
    float run_square_ = 0.0f; // their sum of squares
    uint64_t blanks_ = 0;
    uint64_t silenced_ = 0;
};

} // namespace quavel
