// Runs of the weak-signal receiver for its tests: audio fed in the console's capture blocks, the
// symbols turned into the primary pane's text through the code table's own decoding.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rx/weak_receiver.h"

namespace quavel::rxtest {

struct WeakCopy {
    std::vector<uint32_t> symbols;
    std::string text;           // the primary alphabet, escapes applied
    bool locked_at_end = false; // the receiver reported a lock after the last block
    double frequency_hz = 0.0;  // where it copied at the end
};

WeakCopy weak_copy(std::span<const int16_t> samples, const WeakReceiver::Config& config);

// The primary pane's text for a run of symbols.
std::string primary_text(std::span<const uint32_t> symbols);

// Noise alone: `seconds` of white Gaussian noise of standard deviation `sigma`.
std::vector<int16_t> noise_only(double seconds, double sigma, uint64_t seed);

} // namespace quavel::rxtest
