// The measurement calls the channel and the receiver as libraries; these checks run the real
// 'quavel-modem' tools on the same audio and confirm that both paths give the same result.
// The transmitted audio always comes from the real 'quavel-modem tx'.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "trial.h"

namespace quavel::perf {

// Runs 'quavel-modem tx --speed S -o DIR/txS.wav -- TEXT' and reads the file back.
std::optional<Transmission> make_transmission(const std::string& tool, uint32_t speed,
                                              const std::string& text, const std::string& dir,
                                              std::string& error);

struct ToolCheck {
    bool passed = false;
    std::string detail;
};

// The padded transmission through 'quavel-modem channel' against the library channel at the
// same settings without the level stage: the samples must agree to within one count (the
// library's output passes through a float before it is rounded).
ToolCheck check_channel_tool(const std::string& tool, const Transmission& tx, const TrialSpec& spec,
                             const std::string& dir);

// The received audio of `spec` written as a WAV file and decoded by 'quavel-modem rx': its
// output must be the library receiver's text, character for character.
ToolCheck check_receive_tool(const std::string& tool, const Transmission& tx, const TrialSpec& spec,
                             const std::string& dir);

// The tools against the library path on a few cases per speed: the channel at a level that does
// not clip, the receiver on levelled audio near its threshold and, with `fading_case`, on a fading
// channel. One line per case goes to `log`; true when every case agreed.
bool check_tools(const std::string& tool, const std::map<uint32_t, Transmission>& txs,
                 bool fading_case, const std::string& dir, std::string& log);

} // namespace quavel::perf
