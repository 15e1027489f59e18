// The band benchmark's results as tables: CSV files for plots and the performance document's
// generated blocks.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "results.h"
#include "table.h"

namespace quavel::perf {

using NamedText = std::pair<std::string, std::string>;

// band_*.csv, for the parts measured.
std::vector<NamedText> band_csv_files(const BandResults& r);

// The document's blocks (band-run, band-sensitivity, ...), for the parts measured.
std::vector<NamedText> band_document_blocks(const BandResults& r, const BandRunInfo& info);

// The value below which `fraction` (0..1) of `values` lie (nearest rank); none when empty.
std::optional<double> percentile(std::vector<double> values, double fraction);

} // namespace quavel::perf
