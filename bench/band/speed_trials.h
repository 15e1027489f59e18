// Many short calls at 0 dB and better, twelve at a time over the stretch at mixed speeds and
// starting times: is each station's speed found, is it ever wrong, how soon is it found beside
// the weak receiver's own lock (told the speed and the frequency), and once a station is copied,
// how soon after its symbol ends does each character print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scene_run.h"

namespace quavel::perf {

inline constexpr int kCallsPerRecording = 12;

struct CallResult {
    uint32_t speed = 0;
    double snr_db = 0.0;
    double freq_hz = 0.0;
    double symbol_s = 0.0;
    std::size_t chars = 0;
    // Its lines.
    bool listed = false;
    std::size_t errors = 0;
    std::size_t wrong_speed_lines = 0;
    std::size_t ids = 0;
    // From the library, fed in small pieces: when the speed was found (the first characters),
    // relative to the over's start, and its speed.
    std::optional<double> found_s;
    uint32_t found_speed = 0;
    std::optional<double> weak_lock_s; // the weak receiver's first lock, from the over's start
    // Per character printed after the first ones (the copy equal to the text): seconds from the
    // end of its last symbol to its printing.
    std::vector<double> latency_s;
    // Per line ended by its length (the copy equal to the text): the same for its last character,
    // from the line's time_s.
    std::vector<double> line_latency_s;
    // Found within the weak receiver's lock time and four symbols.
    std::optional<double> found_after_weak_symbols() const {
        if (!found_s || !weak_lock_s) return std::nullopt;
        return (*found_s - *weak_lock_s) / symbol_s;
    }
};

struct SpeedTrials {
    std::vector<CallResult> calls;
    std::size_t false_lines = 0;
    double audio_s = 0.0;
    // Recordings the tool was also run on, and of them those whose lines were the library's,
    // line for line (station, frequency, speed and text as the tool prints them, the time within
    // the tool's capture block).
    int tool_recordings = 0;
    int tool_agreed = 0;
};

// Every kToolEvery-th recording also goes through the tool, to hold the library's lines to it.
inline constexpr int kToolEvery = 4;

// `calls` rounded up to whole recordings of kCallsPerRecording. The calls are scored by the
// library's lines: it is what times them, and the tool prints what it hands over.
SpeedTrials measure_speed_trials(const BenchContext& ctx, int calls, uint64_t seed,
                                 std::string& error);

} // namespace quavel::perf
