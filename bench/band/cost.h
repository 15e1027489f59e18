// What the band receiver costs: the tool's CPU time (user + system) and wall time on a recording,
// against the number of stations in it and against the width of the stretch it watches. The runs
// go one at a time (nothing else of the measurement beside them), the median of `runs`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scene_run.h"

namespace quavel::perf {

struct CostRun {
    int stations = 0;          // in the recording
    int stations_in_range = 0; // of them, inside from..to
    BandRange range;
    double audio_s = 0.0;
    double wall_s = 0.0; // of the median run (by CPU time)
    double cpu_s = 0.0;
    double cpu_factor() const { return cpu_s > 0 ? audio_s / cpu_s : 0.0; }
    double wall_factor() const { return wall_s > 0 ? audio_s / wall_s : 0.0; }
};

struct CostPlan {
    std::vector<int> station_counts{0, 1, 5, 10};
    std::vector<BandRange> widths{{1000, 1500}, {1000, 2300}, {200, 2800}};
    std::vector<int> width_station_counts{0, 10};
    int runs = 3;
    // The recording's length; none: as long as a speed-1 over and a little more (about 165 s).
    std::optional<double> length_s;
    uint64_t seed = 1;
};

struct CostResults {
    std::vector<CostRun> by_stations; // the whole stretch
    std::vector<CostRun> by_width;
};

CostResults measure_cost(const BenchContext& ctx, const CostPlan& plan, std::string& error);

} // namespace quavel::perf
