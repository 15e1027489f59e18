// Sensitivity on AWGN: one station alone somewhere in 200..2800 Hz, both receivers on the same
// recording, an SNR sweep per speed. The band receiver is told nothing; the weak receiver is
// told the speed and the frequency.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pair_curve.h"
#include "scene_run.h"

namespace quavel::perf {

// About the weak receiver's 5% point at each speed: where the sweeps are centred.
double expected_weak_5pct_db(uint32_t speed);

struct SweepPlan {
    std::vector<uint32_t> speeds{1, 2, 4};
    int repeats = 4;   // overs per point (the same frequencies, start and noise at every SNR)
    int below_db = -4; // the fixed points, in steps of step_db around the expected 5% point
    int above_db = 3;
    int step_db = 1;
    int extend_db = 6; // more points above while the band receiver is still above 5%
    uint64_t seed = 1;
};

// One station alone: the scene of one over of `speed` at `snr_db`, placed by `repeat`.
Scene lone_station_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed);

// Fails (an empty result, `error` set) when the tool does.
std::vector<PairCurve> measure_sensitivity(const BenchContext& ctx, const SweepPlan& plan,
                                           std::string& error);

// A sweep of `points` through `trial`, which makes the scene of one over at an SNR and repeat
// and says which of its stations are measured; both receivers' copies of those are counted. Used
// by the sweeps with company too. Points are added above while the band receiver is above 5%.
struct MeasuredScene {
    Scene scene;
    std::vector<bool> measured; // per station
};
PairCurve sweep_pair(const BenchContext& ctx, uint32_t speed, double base_db, const SweepPlan& plan,
                     const std::function<MeasuredScene(double snr_db, int repeat)>& trial,
                     std::string& error);

} // namespace quavel::perf
