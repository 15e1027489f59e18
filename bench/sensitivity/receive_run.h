// The receive path of 'quavel-modem rx', called as a library: the same objects (modem, receiver,
// displays on memory canvases), the same initialisation and the same pump / tick / step loop over
// a recording held in memory, which is what the tool reads a WAV file into. The text is the
// primary pane's, which the tool prints. tool_check.h runs the real tool to confirm the two agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quavel::perf {

struct ReceiveOptions {
    uint32_t speed = 2; // 1, 2 or 4
    uint32_t centre_hz = 1000;
    bool afc = true;
    bool auto_sync = true;
    // Where the symbol slice starts in the history (0..63 N/128), as a click on the sync scope
    // sets it but to the sample; none: the profile's N/4.
    std::optional<uint32_t> sync_position;
};

struct ReceiveResult {
    std::string text;                    // everything the primary pane showed
    std::vector<std::size_t> printed_by; // text length after each receive step
    uint32_t final_centre_hz = 0;
    uint32_t final_sync_position = 0;
};

ReceiveResult receive(std::vector<int16_t> samples, const ReceiveOptions& options);

// Receive steps that cannot yet hold one whole symbol of the recording: the first decodes the
// empty history, the second the symbol that straddles the start. What they print is the stray
// character of a receiver settling, not a copy of anything sent.
inline constexpr std::size_t kSettlingSteps = 2;

// The text without what the settling steps printed.
std::string settled_text(const ReceiveResult& result);

} // namespace quavel::perf
