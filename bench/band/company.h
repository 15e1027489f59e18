// The same sweeps with company: a crowded band (ten stations at once) and a strong neighbour.
#pragma once

#include <string>
#include <vector>

#include "pair_curve.h"
#include "sensitivity.h"

namespace quavel::perf {

// Ten stations 150 to 275 Hz apart over the stretch, speeds mixed: three of `speed` measured at
// the sweep's SNR, seven others of every speed at fixed SNRs from -10 to +10 dB.
inline constexpr int kCrowdStations = 10;
inline constexpr int kCrowdMeasured = 3;
MeasuredScene crowd_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed);

// One station at the sweep's SNR and one of the same speed 20 dB stronger 150 Hz away (above
// on even repeats, below on odd), whose over covers the other's.
inline constexpr double kNeighbourOverDb = 20.0;
inline constexpr double kNeighbourApartHz = 150.0;
MeasuredScene neighbour_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed);

// Per speed of the plan, the measured stations' curve.
std::vector<PairCurve> measure_crowd(const BenchContext& ctx, const SweepPlan& plan,
                                     std::string& error);
std::vector<PairCurve> measure_neighbour(const BenchContext& ctx, const SweepPlan& plan,
                                         std::string& error);

} // namespace quavel::perf
