#pragma once

#include <string>
#include <vector>

namespace quavel::tools {

// Each returns the process exit code: 0 on success, 1 on a runtime failure (unreadable input,
// unwritable output, no device), 2 on a usage error. Once a verb has used the sound card it
// ends the process itself with that code (see exit_after_sound_card).
int run_tx(const std::vector<std::string>& args);
int run_rx(const std::vector<std::string>& args);
// rx --band: run_rx hands its arguments over when they hold --band.
int run_rx_band(const std::vector<std::string>& args);
int run_channel(const std::vector<std::string>& args);
int run_devices(const std::vector<std::string>& args);

} // namespace quavel::tools
