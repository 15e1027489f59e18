// Everything a full run measured, as plain data: what report_tables.h turns into the CSV files
// and the document's tables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "curves.h"
#include "realtime_factor.h"
#include "tolerance.h"
#include "weak_extras.h"

namespace quavel::perf {

// Each part in the order of the speeds (and channels) asked for; none: the part was not measured.
struct Measurements {
    std::vector<Curve> curves; // every speed on every channel
    std::optional<std::vector<Diagnostics>> diagnostics;
    std::optional<std::vector<LeadRun>> lead;
    std::optional<std::vector<AfcRun>> afc;
    std::optional<std::vector<ClockRun>> clock;
    std::optional<std::vector<WeakExtras>> weak;
    std::optional<std::vector<RealTimeRun>> realtime;
};

// How the run was made, for the document.
struct RunInfo {
    std::size_t text_chars = 0;
    int repeats = 0;      // transmissions per SNR point
    int side_repeats = 0; // per AFC, clock, acquisition and drift point
    int jobs = 0;
    std::size_t sweep_transmissions = 0;
    std::string machine; // the CPU's model name
    unsigned logical_cpus = 0;
    double elapsed_s = 0.0;
    std::string tool_log; // one line per tool check
};

} // namespace quavel::perf
