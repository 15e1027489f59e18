#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "channel/analytic_signal.h"
#include "channel/fading.h"
#include "channel/signal_support.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

using cd = std::complex<double>;

TEST(FadingPreset, NamesGiveTheirChannels) {
    struct Case {
        const char* name;
        double delay_ms, spread_hz;
    };
    for (const Case c : {Case{"quiet", 0.5, 0.1}, Case{"moderate", 1.0, 0.5},
                         Case{"disturbed", 2.0, 1.0}, Case{"flutter", 0.5, 10.0}}) {
        const auto p = fading_preset(c.name);
        ASSERT_TRUE(p) << c.name;
        EXPECT_EQ(p->path_count, 2);
        EXPECT_EQ(p->delay_ms, c.delay_ms);
        EXPECT_EQ(p->spread_hz, c.spread_hz);
    }
    EXPECT_FALSE(fading_preset("custom"));
    EXPECT_FALSE(fading_preset("Quiet"));
    EXPECT_FALSE(fading_preset(""));
}

// Spread 0 and one path: a fixed complex gain, the same on every sample.
TEST(Fading, ZeroSpreadOnePathIsAPassThroughGain) {
    const auto x = test::tone(8000, 1000.0, 1000.0);
    auto z = analytic_signal(x);
    const auto clean = z;
    Random random(5);
    apply_fading(z, {1, 0.0, 0.0}, random);
    Random again(5);
    const cd gain = again.complex_gaussian();
    for (std::size_t n = 0; n < z.size(); ++n)
        ASSERT_EQ(z[n], gain * clean[n]) << n;
}

class FadingDelay : public ::testing::TestWithParam<double> {};

// With spread 0 and two paths, a tone comes out as sqrt(1/2) (g1 + g2 e^{-j w d}) times itself:
// the second path is the same tone d later, whole or fractional samples.
TEST_P(FadingDelay, SecondPathIsTheSignalDelayed) {
    const double delay_ms = GetParam();
    constexpr double kHz = 1100.0;
    const auto z0 = analytic_signal(test::tone(8000, kHz, 1.0));
    auto z = z0;
    Random random(11);
    apply_fading(z, {2, delay_ms, 0.0}, random);
    Random again(11);
    const cd g1 = again.complex_gaussian();
    const cd g2 = again.complex_gaussian();
    const double delay_s = delay_ms * 1e-3;
    const cd expected_gain =
        std::sqrt(0.5) * (g1 + g2 * std::polar(1.0, -test::kTwoPi * kHz * delay_s));
    double worst = 0.0;
    for (std::size_t n = 2000; n < 6000; ++n)
        worst = std::max(worst, std::abs(z[n] - expected_gain * z0[n]));
    EXPECT_LT(worst, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Delays, FadingDelay,
                         ::testing::Values(0.0, 0.5, 1.0, 2.0, 0.3, 1.0625, 10.0),
                         [](const auto& param_info) {
                             return "Delay" + quavel::test::name_of_number(param_info.param) + "ms";
                         });

struct TapCase {
    double spread_hz;
    double seconds;
    uint64_t seed;
};

class DopplerTap : public ::testing::TestWithParam<TapCase> {};

// The tap is a unit-power circular complex Gaussian process (a Rayleigh envelope) whose
// autocorrelation has the Gaussian shape of the requested spread. Tolerances are about four
// standard errors for the number of independent fades in the run.
TEST_P(DopplerTap, RayleighWithTheRequestedSpread) {
    const auto [spread_hz, seconds, seed] = GetParam();
    Random random(seed);
    const auto tap = doppler_tap(static_cast<std::size_t>(seconds * 8000), spread_hz, random);
    const double n = static_cast<double>(tap.size());

    double power = 0.0;
    cd pseudo{};
    double below_tenth = 0.0;
    for (const cd& g : tap) {
        power += std::norm(g);
        pseudo += g * g;
        below_tenth += std::norm(g) < 0.1;
    }
    power /= n;
    // Var of the mean of |g|^2 over T seconds is 1 / (2 sqrt(pi) sigma_f T).
    const double sigma_f = spread_hz / 2.0;
    const double standard_error = std::sqrt(1.0 / (2.0 * std::sqrt(M_PI) * sigma_f * seconds));
    EXPECT_NEAR(power, 1.0, 4.0 * standard_error);
    EXPECT_LT(std::abs(pseudo) / n, 4.0 * standard_error);
    // Rayleigh: P(|g|^2 < 0.1) = 1 - e^-0.1.
    EXPECT_NEAR(below_tenth / n, 1.0 - std::exp(-0.1), 0.02 + 0.1 * standard_error);

    // R(tau) / R(0) = exp(-2 pi^2 sigma_f^2 tau^2); at the lag where it is 1/2, read the spread
    // back from the measured correlation.
    const double half_lag_s = std::sqrt(std::log(2.0) / 2.0) / (M_PI * sigma_f);
    const auto lag = static_cast<std::size_t>(std::lround(half_lag_s * 8000));
    cd correlation{};
    double zero_lag = 0.0;
    for (std::size_t i = 0; i + lag < tap.size(); ++i) {
        correlation += tap[i + lag] * std::conj(tap[i]);
        zero_lag += std::norm(tap[i]);
    }
    const double rho = correlation.real() / zero_lag;
    const double tau = static_cast<double>(lag) / 8000.0;
    const double measured_spread =
        2.0 * std::sqrt(-std::log(rho) / (2.0 * M_PI * M_PI * tau * tau));
    EXPECT_NEAR(measured_spread / spread_hz, 1.0, 0.05) << "rho " << rho;
    EXPECT_LT(std::fabs(correlation.imag() / zero_lag), 0.06); // a symmetric Doppler spectrum
}

INSTANTIATE_TEST_SUITE_P(Spreads, DopplerTap,
                         ::testing::Values(TapCase{10.0, 100.0, 1}, TapCase{10.0, 100.0, 2},
                                           TapCase{1.0, 400.0, 3}, TapCase{37.0, 30.0, 4}),
                         [](const auto& param_info) {
                             return "Spread" +
                                    quavel::test::name_of_number(param_info.param.spread_hz) +
                                    "HzSeed" + std::to_string(param_info.param.seed);
                         });

TEST(DopplerTapProcess, TwoDrawsAreIndependentPaths) {
    Random random(9);
    const auto a = doppler_tap(400000, 10.0, random);
    const auto b = doppler_tap(400000, 10.0, random);
    cd cross{};
    for (std::size_t i = 0; i < a.size(); ++i)
        cross += a[i] * std::conj(b[i]);
    EXPECT_LT(std::abs(cross) / static_cast<double>(a.size()), 0.1);
}

TEST(DopplerTapProcess, DegenerateLengthsAndSpreads) {
    Random random(1);
    EXPECT_TRUE(doppler_tap(0, 1.0, random).empty());
    EXPECT_EQ(doppler_tap(1, 1.0, random).size(), 1u);
    const auto tiny = doppler_tap(100, 1e-300, random); // a fixed gain, no overflow
    EXPECT_EQ(tiny.front(), tiny.back());
    const auto slow = doppler_tap(8000, 2e-6, random); // one low-rate step covers it all
    ASSERT_EQ(slow.size(), 8000u);
    EXPECT_TRUE(std::isfinite(std::abs(slow.back())));
    EXPECT_NEAR(std::abs(slow.back() - slow.front()), 0.0, 1e-3);
    const auto fixed = doppler_tap(100, 0.0, random);
    EXPECT_EQ(fixed.front(), fixed.back());
}

} // namespace
} // namespace quavel::channel
