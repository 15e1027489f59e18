#include <gtest/gtest.h>

#include <cmath>

#include "modem/speed_profile.h"
#include "modem/tuning.h"

namespace quavel {
namespace {

class Profiles : public ::testing::TestWithParam<int> {};

TEST_P(Profiles, ValuesFollowTheSpeed) {
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[GetParam()]);
    const uint32_t speed = kSpeedValues[GetParam()];
    EXPECT_EQ(p.speed, speed);
    EXPECT_EQ(p.N, 8192 / speed);
    EXPECT_EQ(p.H, p.N / 2);
    EXPECT_EQ(p.symbol_step, p.N / 2048);
    EXPECT_EQ(p.sync_position, p.N / 4);
    EXPECT_EQ(p.spectrum_length, speed == 4 ? 2048u : 4096u);
    EXPECT_FLOAT_EQ(p.tone_offset_hz[0], speed == 4 ? -64.0f : -32.0f);
    EXPECT_EQ(p.scroll_source, (Rect{0, 1, 320, 20}));
    EXPECT_EQ(p.scroll_dest, (Rect{0, 0, 320, 19}));
    EXPECT_EQ(p.grey_palette[1], 0x010101u);
    EXPECT_EQ(p.grey_palette[255], 0xFFFFFFu);
    EXPECT_NEAR(p.keying_ramp[0], 0.000247, 1e-6);
    EXPECT_FLOAT_EQ(p.keying_ramp[99], 1.0f);
    // The pulse shape starts at zero and is symmetric: the flat top about (N - 1) / 2, the
    // bell about N / 2.
    EXPECT_EQ(p.pulse_shape[0], 0.0f);
    EXPECT_NEAR(p.pulse_shape[p.N - 1], 0.0, 3e-5);
    const uint32_t mirror = speed == 4 ? p.N : p.N - 1;
    for (uint32_t k = 1; k < p.N; k += 97) {
        EXPECT_NEAR(p.pulse_shape[k], p.pulse_shape[mirror - k], 1e-6) << k;
    }
    for (uint32_t j = 0; j < p.H; j += 101) {
        EXPECT_EQ(p.symbol_window[j], 3.0f * p.pulse_shape[2 * j]);
    }
    // Analysis window: flat 2^-15 over the middle half, tapering to zero at N.
    const float scale = 0.000030517578125f;
    EXPECT_LT(p.analysis_window[p.N / 4 - 1], scale);
    EXPECT_EQ(p.analysis_window[p.N / 4], scale);
    EXPECT_EQ(p.analysis_window[3 * p.N / 4 - 1], scale);
    EXPECT_LT(p.analysis_window[p.N], 1e-19f);
}

INSTANTIATE_TEST_SUITE_P(
    AllSpeeds, Profiles, ::testing::Values(0, 1, 2), [](const auto& param_info) {
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param)]);
    });

TEST(SpeedProfile, FlatTopWorkedValues) {
    SpeedProfile p;
    build_speed_profile(p, Speed::One);
    EXPECT_NEAR(p.pulse_shape[1364], 0.9325, 5e-5);
    EXPECT_EQ(p.pulse_shape[1365], 1.0f);
    EXPECT_EQ(p.pulse_shape[6826], 1.0f);
    EXPECT_NEAR(p.pulse_shape[6827], 0.9325, 5e-5);
    EXPECT_LT(std::fabs(p.pulse_shape[8191]), 3e-15);
    build_speed_profile(p, Speed::Two);
    EXPECT_NEAR(p.pulse_shape[681], 0.9316, 5e-5);
    EXPECT_EQ(p.pulse_shape[682], 1.0f);
    EXPECT_EQ(p.pulse_shape[3413], 1.0f);
    EXPECT_LT(p.pulse_shape[3414], 1.0f);
}

TEST(SpeedProfile, BellAtSpeedFour) {
    SpeedProfile p;
    build_speed_profile(p, Speed::Four);
    EXPECT_FLOAT_EQ(p.pulse_shape[1024], 1.0f);
    EXPECT_NEAR(p.pulse_shape[512], 0.5, 1e-4);
    EXPECT_LT(p.analysis_window[511], 0.000030517578125f);
    EXPECT_EQ(p.analysis_window[512], 0.000030517578125f);
    EXPECT_EQ(p.analysis_window[1535], 0.000030517578125f);
    EXPECT_LT(p.analysis_window[2048], 1e-19f);
}

struct EdgeCase {
    uint32_t speed, centre, L, U, Lh, Uh, ml, mh, mc;
};

class TuningEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(TuningEdges, WorkedValues) {
    const EdgeCase c = GetParam();
    const Tuning t = compute_tuning(c.speed, 8192 / c.speed, c.centre);
    EXPECT_EQ(t.band_low, c.L);
    EXPECT_EQ(t.band_high, c.U);
    EXPECT_EQ(t.half_band_low, c.Lh);
    EXPECT_EQ(t.half_band_high, c.Uh);
    EXPECT_EQ(t.marker_low, c.ml);
    EXPECT_EQ(t.marker_high, c.mh);
    EXPECT_EQ(t.marker_centre, c.mc);
}

INSTANTIATE_TEST_SUITE_P(Worked, TuningEdges,
                         ::testing::Values(EdgeCase{1, 1000, 3947, 4244, 1973, 2122, 168, 242, 205},
                                           EdgeCase{2, 1000, 1973, 2122, 987, 1060, 168, 242, 205},
                                           EdgeCase{4, 1000, 949, 1098, 475, 548, 131, 279, 205},
                                           EdgeCase{2, 900, 1769, 1916, 883, 958, 65, 139, 102}),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param.speed) + "At" +
                                    std::to_string(param_info.param.centre) + "Hz";
                         });

TEST(Tuning, EdgesAreOddAndEvenEverywhereInRange) {
    for (uint32_t speed : kSpeedValues) {
        for (uint32_t c = kCentreMinHz; c <= kCentreMaxHz; ++c) {
            const Tuning t = compute_tuning(speed, 8192 / speed, c);
            ASSERT_EQ(t.band_low % 2, 1u) << c;
            ASSERT_EQ(t.band_high % 2, 0u) << c;
            ASSERT_EQ(t.half_band_low % 2, 1u) << c;
            ASSERT_EQ(t.half_band_high % 2, 0u) << c;
            // The symbol band always holds the 74 bins the tone table addresses.
            const uint32_t lo = speed == 1 ? t.half_band_low : t.band_low;
            const uint32_t hi = speed == 1 ? t.half_band_high : t.band_high;
            ASSERT_GE((hi - lo + 1) / 2, 74u) << c;
            ASSERT_LE(t.band_high, 2 * (8192 / speed)) << c;
        }
    }
}

TEST(Tuning, RangeAndMarkersAtTheWaterfallEnds) {
    EXPECT_EQ(clamp_centre_hz(5), kCentreMinHz);
    EXPECT_EQ(clamp_centre_hz(-900), kCentreMinHz);
    EXPECT_EQ(clamp_centre_hz(99999), kCentreMaxHz);
    EXPECT_TRUE(centre_in_range(802));
    EXPECT_TRUE(centre_in_range(1112));
    // 802 Hz: the lower edge is below 800 and its column lands far outside the image.
    EXPECT_GT(compute_tuning(2, 4096, 802).marker_low, 319u);
    EXPECT_EQ(compute_tuning(2, 4096, 1112).marker_centre, 321u);
    EXPECT_NEAR(compute_tuning(2, 4096, 1000).tune_phase_step, 0.785398f, 1e-6f);
}

} // namespace
} // namespace quavel
