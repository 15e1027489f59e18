// Everything that depends on the selected speed: lengths, scales, tone offsets and the shaping
// tables (pulse shape, symbol window, analysis window, keying ramp), plus the waterfall's grey
// palette and scroll rectangles. Sized for the largest profile; nothing is allocated.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "interfaces/rect.h"
#include "modem/code_table.h"

namespace quavel {

inline constexpr uint32_t kSampleRateHz = 8000;
inline constexpr uint32_t kMaxSymbolSamples = 8192; // N at speed 1
inline constexpr uint32_t kCaptureBlockSamples = 2048;
inline constexpr int kRampLength = 100;

// The mode's three speeds, in symbols per second.
enum class Speed : uint32_t { One = 1, Two = 2, Four = 4 };
// Slowest first, as values and as speeds.
inline constexpr std::array<uint32_t, 3> kSpeedValues = {1, 2, 4};
inline constexpr std::array<Speed, 3> kSpeeds = {Speed::One, Speed::Two, Speed::Four};
// The speed of `symbols_per_second`; none for anything but 1, 2 or 4.
constexpr std::optional<Speed> speed_from_value(uint32_t symbols_per_second) {
    for (const Speed s : kSpeeds)
        if (static_cast<uint32_t>(s) == symbols_per_second) return s;
    return std::nullopt;
}

struct SpeedProfile {
    uint32_t speed = 2;            // 1, 2 or 4 (nominal symbols per second)
    uint32_t N = 4096;             // symbol length in samples at 8000/s; analysis length at 4000/s
    uint32_t H = 2048;             // N / 2
    uint32_t symbol_step = 2;      // capture blocks of 2048 samples per symbol
    uint32_t sync_position = 1024; // start of the symbol slice in the history, 0..63*N/128
    float single_tone_ratio = 2.0f;
    float scope_gain = 0.006f;
    float spectrum_scale = 0.001f;
    uint32_t spectrum_length = 4096; // M: points of the symbol spectrum (2048 at speed 4)
    std::array<float, kToneCount> tone_offset_hz{};             // indexed by tone number - 1
    std::array<float, kMaxSymbolSamples> pulse_shape{};         // N entries used
    std::array<float, kMaxSymbolSamples / 2> symbol_window{};   // H entries used
    std::array<float, kMaxSymbolSamples + 1> analysis_window{}; // entries 1..N; [0] unused
    std::array<float, kRampLength> keying_ramp{};
    std::array<uint32_t, 256> grey_palette{}; // 0x00BBGGRR
    Rect scroll_source;
    Rect scroll_dest;
};

// Builds every value and table of the profile for `speed` and a waterfall image of the given
// size. Puts the sync position back to N / 4.
void build_speed_profile(SpeedProfile& p, Speed speed, int waterfall_width = 320,
                         int waterfall_height = 20);

} // namespace quavel
