#pragma once

#include <string>
#include <vector>

namespace quavel::tools {

// Each returns the process exit code: 0 on success, 1 on a runtime failure (unreadable input,
// unwritable output, no device), 2 on a usage error.
int run_tx(const std::vector<std::string>& args);
int run_rx(const std::vector<std::string>& args);
int run_channel(const std::vector<std::string>& args);

} // namespace quavel::tools
