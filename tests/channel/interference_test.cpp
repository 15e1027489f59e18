#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "channel/channel.h"
#include "channel/signal_support.h"

namespace quavel::channel {
namespace {

using test::amplitude_at;
using test::db;
using test::mean_square;

// Four seconds of a 1000 Hz tone of power 0.5e8 (amplitude 1e4).
std::vector<double> wanted() {
    return test::tone(32000, 1000.0, 1e4);
}

std::vector<double> run(const ChannelParams& params, std::vector<double> input = wanted()) {
    std::vector<float> in(input.begin(), input.end());
    const auto out = apply_channel(std::span<const float>(in), params);
    EXPECT_TRUE(out.ok()) << out.error;
    return {out.samples.begin(), out.samples.end()};
}

std::vector<double> minus(std::span<const double> a, std::span<const double> b) {
    std::vector<double> d(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        d[i] = a[i] - b[i];
    return d;
}

// Crashes are short loud bursts among the noise, as many as the rate asks over many seeds, and
// the noise between them is the noise without crashes, draw for draw.
TEST(Interference, CrashesAreShortLoudBurstsAtTheRateAsked) {
    ChannelParams noisy;
    noisy.snr_db = 0.0;
    ChannelParams crashing = noisy;
    crashing.crashes = CrashParams{.rate_hz = 5.0};
    std::size_t total = 0;
    for (uint64_t seed = 1; seed <= 10; ++seed) {
        noisy.seed = crashing.seed = seed;
        const std::vector<double> clean = wanted();
        std::vector<float> in(clean.begin(), clean.end());
        const auto with = apply_channel(std::span<const float>(in), crashing);
        const auto without = apply_channel(std::span<const float>(in), noisy);
        ASSERT_TRUE(with.ok()) << with.error;
        total += with.report.crashes;
        std::size_t touched = 0;
        double burst_energy = 0.0;
        for (std::size_t i = 0; i < in.size(); ++i) {
            const double d = static_cast<double>(with.samples[i]) - without.samples[i];
            if (d != 0.0) ++touched;
            burst_energy += d * d;
        }
        // At most 5 ms each, and at least 20 dB above the noise on average where they are.
        EXPECT_LE(touched, with.report.crashes * 40);
        ASSERT_GT(touched, 0u);
        EXPECT_GT(db(burst_energy / touched / with.report.noise_variance), 20.0);
    }
    // 10 recordings of 4 s at 5 a second: 200 expected, Poisson spread about 14.
    EXPECT_NEAR(static_cast<double>(total), 200.0, 60.0);
}

// A carrier, a neighbour and an AGC step each come out at the level asked for.
TEST(Interference, CarrierNeighbourAndAgcComeOutAtTheirLevels) {
    ChannelParams carrier;
    carrier.carrier = CarrierParams{.level_db = 10.0, .frequency_hz = 1234.0};
    const auto c = minus(run(carrier), wanted());
    EXPECT_NEAR(db(mean_square(c) / 0.5e8), 10.0, 0.01);
    EXPECT_NEAR(amplitude_at(c, 1234.0, 0, 8000), std::sqrt(2.0 * 0.5e9), 1.0);

    ChannelParams neighbour;
    neighbour.neighbour =
        NeighbourParams{.samples = wanted(), .level_db = 20.0, .offset_hz = 150.0, .start_s = 1.0};
    const auto n = minus(run(neighbour), wanted());
    // Nothing before it but the analytic filter's ringing, some 60 dB down.
    EXPECT_LT(db(mean_square(std::span<const double>(n).first(7900)) / 0.5e10), -60.0);
    EXPECT_NEAR(amplitude_at(n, 1150.0, 8000, 8000), 1e5, 1e3); // +20 dB, 150 Hz up
    EXPECT_LT(amplitude_at(n, 1000.0, 8000, 8000), 1e2);

    ChannelParams agc;
    agc.agc = AgcParams{.step_db = 15.0, .period_s = 1.0};
    const auto a = run(agc);
    EXPECT_NEAR(amplitude_at(a, 1000.0, 0, 8000), 1e4, 1.0);
    EXPECT_NEAR(db(mean_square(std::span<const double>(a).subspan(8000, 8000)) / 0.5e8), -15.0,
                0.01);
    EXPECT_NEAR(amplitude_at(a, 1000.0, 16000, 8000), 1e4, 1.0);
}

TEST(Interference, ClippingHoldsEverySampleAtTheLevel) {
    ChannelParams clip;
    clip.clip_db = -3.0; // a sine's rms is 3 dB below its peak: this clips at rms * 0.708
    const std::vector<double> clean = wanted();
    std::vector<float> in(clean.begin(), clean.end());
    const auto out = apply_channel(std::span<const float>(in), clip);
    ASSERT_TRUE(out.ok());
    const double level = 1e4 / std::sqrt(2.0) * std::pow(10.0, -3.0 / 20.0);
    const float peak = *std::max_element(out.samples.begin(), out.samples.end());
    EXPECT_NEAR(peak, level, 1.0);
    EXPECT_GT(out.report.hard_clipped, in.size() / 4);
}

} // namespace
} // namespace quavel::channel
