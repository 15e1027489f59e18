// Everything one run of the band benchmark measured; a part not run stays empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cost.h"
#include "false_alarms.h"
#include "pair_curve.h"
#include "speed_trials.h"

namespace quavel::perf {

struct BandResults {
    std::optional<std::vector<PairCurve>> alone;     // one station alone
    std::optional<std::vector<PairCurve>> crowd;     // ten stations at once
    std::optional<std::vector<PairCurve>> neighbour; // a strong neighbour 150 Hz away
    std::optional<SpeedTrials> calls;
    std::optional<NoiseRun> noise;
    std::optional<std::vector<CarrierCase>> carriers;
    std::optional<CostResults> cost;
};

// How the run was made, for the document.
struct BandRunInfo {
    bool quick = false;
    int sweep_repeats = 0;
    int company_repeats = 0;
    int jobs = 0;
    std::string machine;
    double elapsed_s = 0.0;
};

// The thresholds the receiver is held to.
inline constexpr double kAloneTargetDb = 0.5;      // to the weak receiver's 5% point
inline constexpr double kCrowdTargetDb = 0.5;      // in a crowd, to its own point alone
inline constexpr double kNeighbourTargetDb = 1.0;  // beside a neighbour 20 dB stronger
inline constexpr double kFoundTargetSymbols = 4.0; // after the weak receiver's lock
inline constexpr double kLatencyTargetSymbols = 2.0;
inline constexpr double kCostTargetFactor = 4.0; // real time over CPU time, ten stations

} // namespace quavel::perf
