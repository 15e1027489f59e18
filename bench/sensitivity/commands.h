// What quavel_sensitivity does, once its options are read: a quick check of the whole path, a
// trace of every trial of one point, or the full measurement. Each returns the exit code.
#pragma once

#include "options.h"

namespace quavel::perf {

// The scoring on cases worked by hand, the tools against the library path, a clean copy and a
// short sweep at speed 4, printed.
int run_smoke(const Options& o);

// Every trial of one point (o.trace): lead-in, errors and what each detector printed.
int run_trace(const Options& o);

// Every part the options ask for; the CSV files into o.out_dir and, with o.doc, the tables into
// the document's generated blocks.
int run_full(const Options& o);

} // namespace quavel::perf
