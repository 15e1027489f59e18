#include "modem/speed_profile.h"

#include <cmath>

#include "modem/angles.h"

namespace quavel {

namespace {

constexpr float kSampleScale = 0.000030517578125f; // 2^-15

struct SpeedRow {
    uint32_t speed;
    uint32_t N;
    uint32_t symbol_step;
    float scope_gain;
    float spectrum_scale;
};
constexpr std::array<SpeedRow, 3> kRows = {{
    {1, 8192, 4, 0.003f, 0.0005f},
    {2, 4096, 2, 0.006f, 0.001f},
    {4, 2048, 1, 0.01f, 0.002f},
}};

void build_pulse_shape(SpeedProfile& p) {
    const uint32_t N = p.N;
    auto& shape = p.pulse_shape;
    if (p.speed == 4) {
        for (uint32_t k = 0; k < N; ++k) {
            shape[k] = static_cast<float>(0.5 * (1.0 - std::cos(kAirTwoPi * k / N)));
        }
        return;
    }
    // Flat top: the outer parts of a raised-cosine bell of n + 1 samples, the rise cut off at
    // k = p where the shape steps to 1.0.
    const uint32_t n = 2 * (N / 5);
    const uint32_t c = (3 * N) / 5;
    const uint32_t rise_end = N / 6;
    const uint32_t fall_start = (5 * N) / 6;
    auto bell = [n](uint32_t k) {
        return static_cast<float>(0.5 * (1.0 - std::cos(kAirTwoPi * k / n)));
    };
    for (uint32_t k = 0; k < N; ++k) {
        if (k < rise_end) {
            shape[k] = bell(k);
        } else if (k <= fall_start) {
            shape[k] = 1.0f;
        } else {
            shape[k] = bell(k - c);
        }
    }
}

void build_analysis_window(SpeedProfile& p) {
    const uint32_t N = p.N;
    const uint32_t H = N / 2;
    auto& w = p.analysis_window;
    w[0] = 0.0f;
    for (uint32_t i = 1; i <= N; ++i) {
        if (i <= N / 4 - 1) {
            w[i] = static_cast<float>(kSampleScale * 0.5 * (1.0 - std::cos(kAirTwoPi * i / H)));
        } else if (i <= 3 * N / 4 - 1) {
            w[i] = kSampleScale;
        } else {
            w[i] =
                static_cast<float>(kSampleScale * 0.5 * (1.0 - std::cos(kAirTwoPi * (i - H) / H)));
        }
    }
}

} // namespace

void build_speed_profile(SpeedProfile& p, Speed speed, int waterfall_width, int waterfall_height) {
    const SpeedRow& row = kRows[speed == Speed::One ? 0 : speed == Speed::Two ? 1 : 2];
    p.speed = row.speed;
    p.N = row.N;
    p.H = row.N / 2;
    p.symbol_step = row.symbol_step;
    p.sync_position = row.N / 4;
    p.single_tone_ratio = 2.0f;
    p.scope_gain = row.scope_gain;
    p.spectrum_scale = row.spectrum_scale;
    p.spectrum_length = row.speed == 4 ? 2048 : 4096;
    p.tone_offset_hz = tone_offsets_hz(row.speed);

    p.scroll_source = {0, 1, waterfall_width, waterfall_height};
    p.scroll_dest = {0, 0, waterfall_width, waterfall_height - 1};
    for (uint32_t i = 0; i < 256; ++i)
        p.grey_palette[i] = i * 65793u;
    for (int j = 0; j < kRampLength; ++j) {
        p.keying_ramp[j] = static_cast<float>(0.5 * (1.0 - std::cos(kAirTwoPi * 0.005 * (j + 1))));
    }
    build_pulse_shape(p);
    for (uint32_t j = 0; j < p.H; ++j)
        p.symbol_window[j] = 3.0f * p.pulse_shape[2 * j];
    build_analysis_window(p);
}

} // namespace quavel
