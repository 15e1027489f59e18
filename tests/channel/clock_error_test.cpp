#include <gtest/gtest.h>

#include <cmath>

#include "channel/clock_error.h"
#include "channel/signal_support.h"
#include "channel/sinc_interpolator.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

struct LengthCase {
    std::size_t input;
    double ppm;
    std::size_t output;
};

class ClockErrorLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ClockErrorLength, OutputLengthChangesByTheRightCount) {
    const auto c = GetParam();
    EXPECT_EQ(clock_error_length(c.input, c.ppm), c.output);
    const std::vector<double> x(c.input, 1.0);
    EXPECT_EQ(apply_clock_error(x, c.ppm).size(), c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ClockErrorLength,
    ::testing::Values(LengthCase{800000, 100, 800080}, LengthCase{800000, -250, 799800},
                      LengthCase{8000, 0.5, 8000}, LengthCase{8000, 62.4, 8000},
                      LengthCase{8000, 62.6, 8001}, LengthCase{8000, 10000, 8080},
                      LengthCase{8000, -10000, 7920}, LengthCase{3, 10000, 3},
                      LengthCase{0, 100, 0}),
    [](const auto& param_info) {
        return "Input" + std::to_string(param_info.param.input) + "Ppm" +
               quavel::test::name_of_number(param_info.param.ppm);
    });

class ClockErrorTone : public ::testing::TestWithParam<double> {};

// A tone comes out at f / (1 + ppm 1e-6), with its amplitude.
TEST_P(ClockErrorTone, FrequencyScalesByTheRatio) {
    const double ppm = GetParam();
    const double ratio = 1.0 + ppm * 1e-6;
    constexpr double kHz = 1000.0;
    const auto x = test::tone(20 * 8000, kHz, 10000.0);
    const auto y = apply_clock_error(x, ppm);
    const double measured = test::tone_frequency(y, kHz / ratio, 1000, y.size() - 1000);
    EXPECT_NEAR(measured / kHz * ratio, 1.0, 1e-9);
    EXPECT_NEAR(test::tone_frequency(x, kHz, 1000, x.size() - 1000), kHz, 1e-9); // the yardstick
    double peak = 0.0;
    for (std::size_t n = 1000; n < y.size() - 1000; ++n)
        peak = std::max(peak, std::fabs(y[n]));
    EXPECT_NEAR(peak, 10000.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Ppm, ClockErrorTone,
                         ::testing::Values(100.0, -100.0, 1.0, 5000.0, -10000.0),
                         [](const auto& param_info) {
                             return "Ppm" + quavel::test::name_of_number(param_info.param);
                         });

TEST(ClockError, ZeroPpmIsTheInput) {
    const auto x = test::tone(1000, 321.0, 100.0);
    EXPECT_EQ(apply_clock_error(x, 0.0), x);
}

// The interpolator reads a band-limited signal between its samples to about -100 dB, and
// rejects what lies beyond its band edge.
TEST(SincInterpolator, ReadsBetweenSamples) {
    const SincInterpolator interpolator(1.0);
    for (const double hz : {100.0, 1234.5, 3000.0, 3550.0}) {
        const auto x = test::tone(4000, hz, 1.0);
        double worst = 0.0;
        for (double position = 1000.0; position < 1100.0; position += 0.137) {
            const double expected = std::cos(test::kTwoPi * hz * position / 8000.0);
            worst = std::max(worst, std::fabs(interpolator.at(x, position) - expected));
        }
        EXPECT_LT(worst, 2e-5) << hz;
    }
    const auto beyond = test::tone(4000, 3990.0, 1.0);
    const SincInterpolator narrow(0.5);
    double leak = 0.0;
    for (double position = 1000.0; position < 1100.0; position += 0.137)
        leak = std::max(leak, std::fabs(narrow.at(beyond, position)));
    EXPECT_LT(leak, 1e-4);
}

} // namespace
} // namespace quavel::channel
