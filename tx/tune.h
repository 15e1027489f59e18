// The tune carrier: a steady tone at the centre frequency for 6 x speed playback buffers
// (49152 samples, 6.144 s, at every speed), for adjusting the transmitter.
#pragma once

#include <cstdint>
#include <span>

namespace quavel {

inline constexpr int kCarrierAmplitude = 30000;
inline constexpr uint32_t kTuneBuffersPerSpeed = 6;

struct TuneCarrier {
    bool active = false;
    // Counts carrier samples from the start; a float because that is what the phase is formed
    // from (exact up to 2^24, far beyond the 49152 samples a carrier lasts).
    float sample_counter = 0.0f;
    uint32_t buffers_sent = 0;

    // "Tune Up": the carrier starts afresh at phase 0.
    void start();
    // Fills all of `out` (one playback buffer, N samples) with the next carrier samples,
    // 30000 x sin(k x phase_step) for carrier sample k, so the phase runs on across buffers.
    // `phase_step_rad` is the tuning's tune phase step; `speed` 1, 2 or 4. Returns true when
    // this buffer was the last one (the carrier is then no longer active).
    bool fill(std::span<int16_t> out, float phase_step_rad, uint32_t speed);
};

} // namespace quavel
