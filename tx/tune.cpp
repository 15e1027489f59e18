#include "tx/tune.h"

#include <cmath>

namespace quavel {

void TuneCarrier::start() {
    active = true;
    sample_counter = 0.0f;
    buffers_sent = 0;
}

bool TuneCarrier::fill(std::span<int16_t> out, float phase_step_rad, uint32_t speed) {
    for (int16_t& sample : out) {
        const double k = sample_counter;
        sample_counter += 1.0f;
        sample = static_cast<int16_t>(kCarrierAmplitude * std::sin(k * phase_step_rad));
    }
    ++buffers_sent;
    if (buffers_sent >= kTuneBuffersPerSpeed * speed) {
        active = false;
        return true;
    }
    return false;
}

} // namespace quavel
