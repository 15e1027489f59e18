// The real-time factor of the receive tool: wall and CPU time of 'quavel-modem rx' on the clean
// recording and on a noisy one, the median of three runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trial.h"

namespace quavel::perf {

struct RealTimeRun {
    uint32_t speed = 0;
    std::string input; // "clean" or "awgn -10.0 dB"
    double audio_s = 0.0;
    double wall_s = 0.0; // of the median run
    double cpu_s = 0.0;
    double factor() const { return audio_s / wall_s; }
};

// `dir` holds the transmission as make_transmission() wrote it (txS.wav); the noisy recording is
// written beside it. None, with `error` set, when a recording cannot be written or the tool fails.
std::optional<std::vector<RealTimeRun>> measure_realtime(const std::string& tool,
                                                         const Transmission& tx,
                                                         const std::string& dir,
                                                         std::string& error);

} // namespace quavel::perf
