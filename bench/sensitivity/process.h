// Runs one of the project's command-line tools as a child process and collects what it printed
// and what it cost.
#pragma once

#include <string>
#include <vector>

namespace quavel::perf {

struct ProcessResult {
    int exit_code = -1; // -1 when it could not be started or did not exit normally
    std::string out;    // standard output
    std::string err;    // standard error
    double wall_seconds = 0.0;
    double cpu_seconds = 0.0; // user + system of the child
};

// `argv[0]` is the program's path; no shell is involved.
ProcessResult run_process(const std::vector<std::string>& argv);

} // namespace quavel::perf
