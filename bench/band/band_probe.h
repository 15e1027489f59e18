// The band receiver called as the library the tool is built on, fed a recording in small pieces,
// to time what the tool's lines cannot: when each station's speed was found (its first
// characters) and when each character printed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "band_tool.h"

namespace quavel::perf {

// Audio handed over at a time: 16 ms, so a time read after it is at most that late.
inline constexpr std::size_t kProbeStepSamples = 128;

struct ProbeStation {
    uint32_t id = 0;
    double freq_hz = 0.0;
    uint32_t speed = 0;
    double found_s = 0.0;          // audio time of its first characters
    std::string text;              // everything it printed
    std::vector<double> printed_s; // per character of `text`: audio time it printed at
    std::size_t held = 0;          // characters that came with the first (kept while trying)
    std::vector<BandLine> lines;   // its lines, as the tool would print them
};

std::vector<ProbeStation> probe_band(std::span<const int16_t> samples, BandRange range = {});

} // namespace quavel::perf
