// A full run's measurements as CSV files for the plots: one row per measured point or case.
#pragma once

#include <vector>

#include "measurements.h"
#include "report.h"

namespace quavel::perf {

// perf_cer.csv and perf_thresholds.csv, then one file per part that was measured (perf_afc.csv,
// perf_clock.csv, perf_rtf.csv, perf_diagnostics.csv, perf_lead.csv, perf_weak.csv).
std::vector<NamedText> csv_files(const Measurements& m);

} // namespace quavel::perf
