// One station's over as our own transmitter sends it: the text's symbols at any tone-5
// frequency, framed as 'quavel-modem tx' frames them (three idle symbols before the text, two
// after), and where in it each printable character's last symbol ends, to time a copy by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quavel::perf {

struct Over {
    uint32_t speed = 2;
    double tone5_hz = 1000.0;
    std::string text; // what a perfect copy prints (characters outside the code dropped)
    std::vector<int16_t> samples; // whole symbols, full scale
    uint32_t symbol_samples = 0;  // N
    // Per character of `text`: the sample (from the over's first) where its last symbol ends.
    std::vector<std::size_t> char_end_samples;
    double symbol_s() const { return symbol_samples / 8000.0; }
};

// Idle symbols the transmitter sends before the first character and after the last.
inline constexpr std::size_t kLeadIdleSymbols = 3;
inline constexpr std::size_t kTailIdleSymbols = 2;

// `speed` 1, 2 or 4; `tone5_hz` such that all nine tones lie inside 0..4000 Hz.
Over make_over(uint32_t speed, double tone5_hz, const std::string& text);

} // namespace quavel::perf
