// One scene through both receivers: the band receiver (the tool, as a process) over the whole
// recording, and the single-channel weak receiver on the stations asked for.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "band_tool.h"
#include "score.h"
#include "weak_copy.h"

namespace quavel::perf {

struct BenchContext {
    std::string tool; // quavel-modem
    std::string dir;  // a temporary folder for the recordings
    int jobs = 2;
};

struct SceneResult {
    SceneScore score;
    std::vector<std::optional<WeakCopy>> weak; // per station, where asked for
    std::size_t clipped = 0;
    double wall_s = 0.0;
    double cpu_s = 0.0;
    std::string error;
};

// `weak_for[i]`: also copy station i with the weak receiver (missing entries: no). `slot` names
// the recording's file, one per job running at once.
SceneResult run_scene(const BenchContext& ctx, const Scene& scene, int slot,
                      const std::vector<bool>& weak_for = {}, BandRange range = {});

// A uniform draw in [low, high) from (seed, index), the same on every platform.
double draw(uint64_t seed, uint64_t index, double low, double high);

} // namespace quavel::perf
