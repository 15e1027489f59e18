// What the command line asks of quavel_sensitivity (read in main.cpp).
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "sweep.h"
#include "trial.h"

#ifndef QUAVEL_MODEM_TOOL
#define QUAVEL_MODEM_TOOL "quavel-modem"
#endif

namespace quavel::perf {

struct Options {
    bool smoke = false;
    // --trace: every trial of one point, with its texts.
    std::optional<std::tuple<uint32_t, ChannelKind, double>> trace;
    int trace_leads = 0; // --leads K: the trace at lead-ins 0, N/K, 2N/K ... instead
    std::string tool = QUAVEL_MODEM_TOOL;
    std::string out_dir = ".";
    std::string doc; // empty: no document update
    int repeats = 8;
    int jobs = 2;
    std::vector<uint32_t> speeds{1, 2, 4};
    std::vector<ChannelKind> channels{std::begin(kChannelKinds), std::end(kChannelKinds)};
    bool afc = true;
    bool clock = true;
    bool rtf = true;
    bool diagnostics = true;
    bool lead = true;
    bool weak_extras = true; // squelch, acquisition and drift of the weak-signal receiver
    int ideal_segments = 0;  // 0: from the channel's Doppler spread
    TrialOptions::IdealModel ideal_model = TrialOptions::IdealModel::Auto;
    bool limit = true; // the limit detector beside the ideal one (--no-limit)
};

} // namespace quavel::perf
