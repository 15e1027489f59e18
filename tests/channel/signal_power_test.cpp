#include <gtest/gtest.h>

#include "channel/signal_power.h"
#include "channel/signal_support.h"

namespace quavel::channel {
namespace {

std::vector<double> silence(std::size_t n, double rms = 0.0) {
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = (i % 2 ? rms : -rms); // a square at Nyquist
    return out;
}

std::vector<double> join(std::initializer_list<std::vector<double>> parts) {
    std::vector<double> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Leading and trailing silence (or a hiss below 1 LSB rms) is not signal; a pause inside is.
TEST(SignalPower, ActiveSpanExcludesOnlyTheEnds) {
    const auto burst = test::tone(16000, 1000.0, 1000.0); // power 500000
    for (const double hiss : {0.0, 0.9}) {
        const auto x = join({silence(8000, hiss), burst, silence(8000, hiss)});
        const SignalPower p = measure_signal_power(x);
        EXPECT_NEAR(p.mean_square, 500000.0, 500000.0 * 0.02) << hiss;
        EXPECT_NEAR(static_cast<double>(p.first_sample), 8000.0, 1.0);
        EXPECT_NEAR(static_cast<double>(p.end_sample), 24000.0, 1.0);
    }
    const auto paused = join({silence(4000), burst, silence(16000), burst, silence(4000)});
    const SignalPower p = measure_signal_power(paused);
    EXPECT_NEAR(p.mean_square, 500000.0 * 2.0 / 3.0, 500000.0 * 0.02);
}

// A signal 40 dB down is still measured when nothing louder is there.
TEST(SignalPower, QuietSignalAloneIsActive) {
    const auto x = join({silence(8000), test::tone(8000, 500.0, 10.0), silence(8000)});
    EXPECT_NEAR(measure_signal_power(x).mean_square, 50.0, 0.05);
}

TEST(SignalPower, SilenceAndEmptyHaveNoSpan) {
    EXPECT_TRUE(measure_signal_power(silence(10000)).silent());
    EXPECT_TRUE(measure_signal_power(silence(10000, 0.99)).silent());
    EXPECT_TRUE(measure_signal_power({}).silent());
    EXPECT_EQ(measure_signal_power({}).mean_square, 0.0);
}

TEST(SignalPower, ShortLastBlockCounts) {
    const auto x = join({silence(1000), test::tone(300, 1000.0, 100.0)});
    const SignalPower p = measure_signal_power(x);
    EXPECT_EQ(p.end_sample, x.size());
    EXPECT_FALSE(p.silent());
}

} // namespace
} // namespace quavel::channel
