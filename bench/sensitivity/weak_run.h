// The weak-signal receiver over a recording held in memory, fed in the console's 2048-sample
// capture blocks; its symbols become the primary pane's text through the same escapes as the
// classic decoder's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modem/tuning.h"

namespace quavel::perf {

struct WeakOptions {
    uint32_t speed = 2;
    CentreHz centre_hz = 1000;
    bool squelch = true;
};

struct WeakResult {
    std::string text;
    std::vector<uint32_t> symbols;
    double final_frequency_hz = 0.0;
    // Samples into the recording when the squelch first opened; none: it never did.
    std::size_t first_open_sample = SIZE_MAX;
    // Symbols printed after the audio ended: at most a block late.
    // Symbols the receiver decided but had no room to hand over: the copy has gaps.
    uint64_t dropped = 0;
};

WeakResult receive_weak(const std::vector<int16_t>& samples, const WeakOptions& options);

} // namespace quavel::perf
