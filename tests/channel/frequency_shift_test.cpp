#include <gtest/gtest.h>

#include <cmath>

#include "channel/analytic_signal.h"
#include "channel/frequency_shift.h"
#include "channel/signal_support.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

using test::amplitude_at;

struct ShiftCase {
    double tone_hz;
    double offset_hz;
};

class FrequencyShift : public ::testing::TestWithParam<ShiftCase> {};

// A tone moved by the offset keeps its amplitude in its new bin and leaves nothing in its old
// bin or in the mirror bin a mixer would fill (tone - offset).
TEST_P(FrequencyShift, ToneLandsInItsBinWithoutMirror) {
    const auto [tone_hz, offset_hz] = GetParam();
    constexpr double kAmplitude = 10000.0;
    const auto x = test::tone(5 * 8000, tone_hz, kAmplitude);
    const auto shifted = shift_to_real(analytic_signal(x), offset_hz);
    ASSERT_EQ(shifted.size(), x.size());
    // One second from the middle, clear of the transformer's edges: 1 Hz bins.
    constexpr std::size_t kFirst = 2 * 8000;
    constexpr std::size_t kLength = 8000;
    EXPECT_NEAR(amplitude_at(shifted, tone_hz + offset_hz, kFirst, kLength), kAmplitude,
                kAmplitude * 1e-4);
    const double mirror = amplitude_at(shifted, tone_hz - offset_hz, kFirst, kLength);
    const double old = amplitude_at(shifted, tone_hz, kFirst, kLength);
    EXPECT_LT(20.0 * std::log10(mirror / kAmplitude), -90.0);
    EXPECT_LT(20.0 * std::log10(old / kAmplitude), -90.0);

    // And no other bin holds anything either: the strongest bin is the shifted tone's.
    double best_amplitude = 0.0;
    int best_bin = -1;
    for (int bin = 0; bin < 4000; bin += 1) {
        if (std::abs(bin - (tone_hz + offset_hz)) > 40 && bin % 7 != 0) continue; // a sample
        const double a = amplitude_at(shifted, bin, kFirst, kLength);
        if (a > best_amplitude) best_amplitude = a, best_bin = bin;
    }
    EXPECT_EQ(best_bin, static_cast<int>(tone_hz + offset_hz));
}

INSTANTIATE_TEST_SUITE_P(Offsets, FrequencyShift,
                         ::testing::Values(ShiftCase{1000, 50}, ShiftCase{1000, -50},
                                           ShiftCase{1000, 1}, ShiftCase{900, -37},
                                           ShiftCase{500, 1200}, ShiftCase{1900, -1700},
                                           ShiftCase{150, 20}, ShiftCase{3800, 50}),
                         [](const auto& param_info) {
                             return "Tone" +
                                    quavel::test::name_of_number(param_info.param.tone_hz) +
                                    "HzBy" +
                                    quavel::test::name_of_number(param_info.param.offset_hz);
                         });

TEST(AnalyticSignal, QuadratureOfACosineIsTheSine) {
    const auto x = test::tone(16000, 1234.0, 1.0);
    const auto z = analytic_signal(x);
    double worst = 0.0;
    for (std::size_t n = 2000; n < 14000; ++n)
        worst =
            std::max(worst, std::fabs(z[n].imag() - std::sin(test::kTwoPi * 1234.0 * n / 8000.0)));
    EXPECT_LT(worst, 3e-5); // -90 dB
    EXPECT_EQ(z[5000].real(), x[5000]);
}

TEST(AnalyticSignal, EmptyAndShortInputs) {
    EXPECT_TRUE(analytic_signal({}).empty());
    const std::vector<double> one{5.0};
    const auto z = analytic_signal(one);
    ASSERT_EQ(z.size(), 1u);
    EXPECT_EQ(z[0], std::complex<double>(5.0, 0.0));
}

TEST(FrequencyShift, ZeroOffsetGivesTheRealPartBack) {
    const auto x = test::tone(1000, 700.0, 3000.0);
    const auto y = shift_to_real(analytic_signal(x), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        ASSERT_EQ(y[n], x[n]);
}

} // namespace
} // namespace quavel::channel
