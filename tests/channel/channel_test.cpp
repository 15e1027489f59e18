#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "channel/channel.h"
#include "channel/portable_math.h"
#include "channel/signal_support.h"
#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

// A transmission as the modem makes it: `symbols` test-sequence symbols at speed 4 (raised-
// cosine bells that dip to zero between symbols), scaled down by `divisor`, with a second of
// silence before and after.
std::vector<int16_t> transmission(std::size_t symbols, int divisor) {
    SpeedProfile p;
    build_speed_profile(p, Speed::Four);
    SymbolBank bank;
    build_test_bank(bank, p);
    std::vector<int16_t> out(8000, 0);
    const auto sequence = test_sequence();
    for (std::size_t i = 0; i < symbols; ++i) {
        const auto row = bank.row(sequence[i % sequence.size()] - 1);
        for (uint32_t n = 0; n < p.N; ++n)
            out.push_back(static_cast<int16_t>(row[n] / divisor));
    }
    out.insert(out.end(), 8000, 0);
    return out;
}

double power_of_nonzero_span(std::span<const int16_t> x) {
    const auto nonzero = [](int16_t s) { return s != 0; };
    const auto first = std::find_if(x.begin(), x.end(), nonzero);
    const auto last = std::find_if(x.rbegin(), x.rend(), nonzero).base();
    double sum = 0.0;
    for (auto it = first; it != last; ++it)
        sum += static_cast<double>(*it) * *it;
    return sum / static_cast<double>(last - first);
}

// SNR in 2500 Hz from the noise alone (output minus the noiseless output).
double measured_snr_db(std::span<const int16_t> noisy, std::span<const int16_t> noiseless,
                       double signal_power) {
    double sum = 0.0;
    for (std::size_t i = 0; i < noisy.size(); ++i) {
        const double d = static_cast<double>(noisy[i]) - noiseless[i];
        sum += d * d;
    }
    const double noise_total = sum / static_cast<double>(noisy.size());
    return test::db(signal_power / (noise_total * 2500.0 / 4000.0));
}

TEST(Channel, NothingRequestedIsThePassThrough) {
    std::vector<int16_t> x = transmission(3, 1);
    x.push_back(32767);
    x.push_back(-32768);
    const auto out = apply_channel(std::span<const int16_t>(x), ChannelParams{});
    ASSERT_TRUE(out.ok()) << out.error;
    EXPECT_EQ(out.samples, x);
    EXPECT_EQ(out.report.clipped_samples, 0u);
}

class ChannelSnr : public ::testing::TestWithParam<double> {};

// About 60 s of modem signal: the variance of the noise estimate is then far below 0.01 dB, so
// 0.3 dB is room for the definition of the active span only.
TEST_P(ChannelSnr, MeasuredSnrIsTheRequest) {
    const double snr_db = GetParam();
    const auto x = transmission(230, 15);
    ChannelParams params;
    params.snr_db = snr_db;
    params.seed = 77;
    const auto out = apply_channel(std::span<const int16_t>(x), params);
    ASSERT_TRUE(out.ok()) << out.error;
    ASSERT_EQ(out.samples.size(), x.size());
    EXPECT_EQ(out.report.clipped_samples, 0u);
    const double snr = measured_snr_db(out.samples, x, power_of_nonzero_span(x));
    EXPECT_NEAR(snr, snr_db, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Ratios, ChannelSnr, ::testing::Values(-10.0, 0.0, 6.0, 20.0, 40.0),
                         [](const auto& param_info) {
                             return "Snr" + quavel::test::name_of_number(param_info.param) + "dB";
                         });

// Noise is set against the clean input and drawn from its own stream: fading leaves the
// noise sample for sample as it was, and the SNR against the clean power where it was.
TEST(Channel, NoiseIsIndependentOfFading) {
    const auto x = transmission(60, 15);
    ChannelParams faded;
    faded.fading = fading_preset("flutter");
    faded.seed = 5;
    ChannelParams faded_noisy = faded;
    faded_noisy.snr_db = 10.0;
    ChannelParams noisy;
    noisy.snr_db = 10.0;
    noisy.seed = 5;
    const auto a = apply_channel(std::span<const int16_t>(x), faded);
    const auto b = apply_channel(std::span<const int16_t>(x), faded_noisy);
    const auto c = apply_channel(std::span<const int16_t>(x), noisy);
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    EXPECT_NEAR(measured_snr_db(b.samples, a.samples, power_of_nonzero_span(x)), 10.0, 0.3);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const int noise_faded = b.samples[i] - a.samples[i];
        const int noise_plain = c.samples[i] - x[i];
        ASSERT_LE(std::abs(noise_faded - noise_plain), 1) << i; // rounding only
    }
}

TEST(Channel, SameSeedSameOutputOtherSeedOtherOutput) {
    const auto x = transmission(20, 4);
    ChannelParams params;
    params.fading = fading_preset("moderate");
    params.offset_hz = 3.0;
    params.snr_db = 5.0;
    params.seed = 123;
    const auto a = apply_channel(std::span<const int16_t>(x), params);
    const auto b = apply_channel(std::span<const int16_t>(x), params);
    params.seed = 124;
    const auto c = apply_channel(std::span<const int16_t>(x), params);
    EXPECT_EQ(a.samples, b.samples);
    ASSERT_EQ(a.samples.size(), c.samples.size());
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.samples.size(); ++i)
        same += a.samples[i] == c.samples[i];
    EXPECT_LT(same, a.samples.size() / 20);
}

// Every stage at once, checked to the bit. The channel uses only exactly rounded arithmetic, so
// these values must come out on every platform; if they move, find out why before changing them.
TEST(Channel, EveryStageGivesTheSameBitsEverywhere) {
    std::vector<int16_t> x(500, 0);
    for (int n = 0; n < 4000; ++n) // 1000 Hz, with no C library function in the way
        x.push_back(static_cast<int16_t>(8000.0 * portable_sin_cos_turns(n / 8.0).cos));
    x.insert(x.end(), 500, 0);
    ChannelParams params;
    params.fading = FadingParams{2, 0.3, 3.0};
    params.offset_hz = 12.5;
    params.clock_ppm = 250.0;
    params.snr_db = 15.0;
    params.seed = 2024;
    const auto out = apply_channel(std::span<const int16_t>(x), params);
    ASSERT_TRUE(out.ok());
    ASSERT_EQ(out.samples.size(), 5001u);
    uint64_t hash = 0xCBF29CE484222325ULL; // FNV-1a over the samples' 16-bit patterns
    for (const int16_t s : out.samples) {
        hash = (hash ^ static_cast<uint16_t>(s)) * 0x100000001B3ULL;
    }
    EXPECT_EQ(out.samples[0], 844);
    EXPECT_EQ(out.samples[1000], -1539);
    EXPECT_EQ(out.samples[4999], -633);
    EXPECT_EQ(hash, 0xE9E42956D504781DULL);
}

// Spread 0 on one path: a fixed gain on the whole signal, its frequency untouched.
TEST(Channel, ZeroSpreadOnePathIsAFixedGain) {
    std::vector<int16_t> x;
    for (const double v : test::tone(4 * 8000, 1000.0, 5000.0))
        x.push_back(static_cast<int16_t>(std::lround(v)));
    ChannelParams params;
    params.fading = FadingParams{1, 0.0, 0.0};
    const auto out = apply_channel(std::span<const int16_t>(x), params);
    ASSERT_TRUE(out.ok());
    const std::vector<double> y(out.samples.begin(), out.samples.end());
    const double early = test::amplitude_at(y, 1000.0, 8000, 8000);
    const double late = test::amplitude_at(y, 1000.0, 20000, 8000);
    EXPECT_GT(early, 50.0);
    EXPECT_NEAR(late / early, 1.0, 1e-3);
    EXPECT_LT(test::amplitude_at(y, 999.0, 8000, 8000), early * 1e-3);
}

// The 16-bit output clips at the rails and counts what it clipped; it never wraps.
TEST(Channel, LoudOutputClipsAndCounts) {
    std::vector<int16_t> x;
    for (const double v : test::tone(8000, 700.0, 30000.0))
        x.push_back(static_cast<int16_t>(v));
    ChannelParams params;
    params.snr_db = 0.0;
    const auto pcm = apply_channel(std::span<const int16_t>(x), params);
    const std::vector<float> xf(x.begin(), x.end());
    const auto wide = apply_channel(std::span<const float>(xf), params);
    ASSERT_TRUE(pcm.ok() && wide.ok());
    // The float output is rounded to float, so in-range values may differ by one count.
    std::size_t beyond = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double v = std::round(static_cast<double>(wide.samples[i]));
        if (v > 32767.0) {
            ++beyond;
            ASSERT_EQ(pcm.samples[i], 32767) << i;
        } else if (v < -32768.0) {
            ++beyond;
            ASSERT_EQ(pcm.samples[i], -32768) << i;
        } else {
            ASSERT_NEAR(pcm.samples[i], v, 1.0) << i;
        }
    }
    EXPECT_GT(beyond, 100u);
    EXPECT_NEAR(static_cast<double>(pcm.report.clipped_samples), static_cast<double>(beyond), 2.0);
}

TEST(Channel, ClockErrorChangesTheLengthThroughTheChain) {
    const std::vector<int16_t> x(80000, 100);
    ChannelParams params;
    params.clock_ppm = -125.0;
    const auto out = apply_channel(std::span<const int16_t>(x), params);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.samples.size(), 79990u);
}

TEST(Channel, NoiseOnSilenceIsRefused) {
    const std::vector<int16_t> x(8000, 0);
    ChannelParams params;
    params.snr_db = 10.0;
    const auto out = apply_channel(std::span<const int16_t>(x), params);
    EXPECT_FALSE(out.ok());
    EXPECT_TRUE(out.samples.empty());
    EXPECT_TRUE(apply_channel(std::span<const int16_t>(x), ChannelParams{}).ok());
}

class ChannelBadParams : public ::testing::TestWithParam<ChannelParams> {};

TEST_P(ChannelBadParams, RefusedWithAMessage) {
    EXPECT_FALSE(check_channel_params(GetParam()).empty());
    const std::vector<int16_t> x(1000, 1000);
    const auto out = apply_channel(std::span<const int16_t>(x), GetParam());
    EXPECT_FALSE(out.ok());
    EXPECT_TRUE(out.samples.empty());
}

ChannelParams with(void (*set)(ChannelParams&)) {
    ChannelParams p;
    set(p);
    return p;
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The cases below, in their order.
constexpr const char* kBadParamNames[] = {
    "OffsetBeyond2000Hz", "OffsetNaN",       "ClockBeyond10000ppm",
    "SnrBeyond100dB",     "SnrNaN",          "ThreePaths",
    "NegativeDelay",      "DelayBeyond10ms", "SpreadBeyond100Hz",
    "InfiniteSpread"};

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, ChannelBadParams,
    ::testing::Values(with([](ChannelParams& p) { p.offset_hz = 2000.5; }),
                      with([](ChannelParams& p) { p.offset_hz = kNan; }),
                      with([](ChannelParams& p) { p.clock_ppm = -10001.0; }),
                      with([](ChannelParams& p) { p.snr_db = 100.5; }),
                      with([](ChannelParams& p) { p.snr_db = -kNan; }), with([](ChannelParams& p) {
                          p.fading = FadingParams{3, 1.0, 1.0};
                      }),
                      with([](ChannelParams& p) {
                          p.fading = FadingParams{2, -0.1, 1.0};
                      }),
                      with([](ChannelParams& p) {
                          p.fading = FadingParams{2, 10.5, 1.0};
                      }),
                      with([](ChannelParams& p) {
                          p.fading = FadingParams{2, 1.0, 101.0};
                      }),
                      with([](ChannelParams& p) {
                          p.fading = FadingParams{2, 1.0, std::numeric_limits<double>::infinity()};
                      })),
    [](const auto& param_info) { return std::string(kBadParamNames[param_info.index]); });

TEST(Channel, FloatInputMustBeFinite) {
    const std::vector<float> x{1.0f, std::numeric_limits<float>::quiet_NaN(), 2.0f};
    const auto out = apply_channel(std::span<const float>(x), ChannelParams{});
    EXPECT_FALSE(out.ok());
}

} // namespace
} // namespace quavel::channel
