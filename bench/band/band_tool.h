// 'quavel-modem rx --band --json' over a recording: written to a WAV file, read back as lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "band_lines.h"

namespace quavel::perf {

struct BandRange {
    double from_hz = 200.0;
    double to_hz = 2800.0;
};

struct BandRun {
    std::vector<BandLine> lines;
    std::size_t bad_lines = 0; // printed but not of the JSON form
    double wall_s = 0.0;
    double cpu_s = 0.0; // user + system of the process
    std::string error;  // the tool failed or the file could not be written
};

// `wav_path` is where the recording is written (left there for a second run to reuse).
BandRun run_band_tool(const std::string& tool, std::span<const int16_t> samples,
                      const std::string& wav_path, BandRange range = {});

// The same on a recording already written.
BandRun run_band_tool_on(const std::string& tool, const std::string& wav_path,
                         BandRange range = {});

} // namespace quavel::perf
