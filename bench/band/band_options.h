// What the command line asks of quavel_band_bench (read in main.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#ifndef QUAVEL_MODEM_TOOL
#define QUAVEL_MODEM_TOOL "quavel-modem"
#endif

namespace quavel::perf {

// The parts of the measurement, in the order they run.
inline constexpr const char* kBandParts[] = {"sensitivity", "crowd", "neighbour",
                                             "speed",       "noise", "cost"};

struct BandOptions {
    bool quick = false;
    std::string tool = QUAVEL_MODEM_TOOL;
    std::string out_dir = ".";
    std::string doc; // empty: no document update
    int jobs = 2;
    int repeats = 0; // overs a sweep point alone; 0: 4 (1 quick)
    uint64_t seed = 1;
    std::set<std::string> parts{std::begin(kBandParts), std::end(kBandParts)};
    // --trace SPEED SNR: every over of one point of the sweep alone, with both copies.
    std::optional<std::pair<uint32_t, double>> trace;
    bool has(const char* part) const { return parts.count(part) > 0; }
};

// Runs the parts asked for; the CSV files into out_dir and, with doc, the tables into its
// generated blocks. Returns the exit code.
int run_band_bench(const BandOptions& o);

// o.trace: the overs of one point alone, each with the band receiver's lines and the weak
// receiver's copy.
int run_band_trace(const BandOptions& o);

} // namespace quavel::perf
