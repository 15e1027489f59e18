// A full run's measurements as the performance document's tables: the thresholds and summaries
// read off the measured points (report_csv.h has the points themselves).
#pragma once

#include <vector>

#include "curves.h"
#include "measurements.h"
#include "report.h"
#include "table.h"

namespace quavel::perf {

// The SNR at 1% and 5% CER of each curve, per receiver, and the gaps to the ideal detector.
Table threshold_table(const std::vector<Curve>& curves);

// The 5% points on AWGN beside those of other keyboard modes.
Table comparison_table(const std::vector<Curve>& curves);

// The document's generated blocks, by name (run, thresholds, comparison, afc, ...), each a
// markdown table but for 'run', a list describing how the run was made.
std::vector<NamedText> document_blocks(const Measurements& m, const RunInfo& info);

} // namespace quavel::perf
