#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "channel/ideal_detector.h"
#include "channel/limit_detector.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"

namespace quavel::channel {
namespace {

SpeedProfile profile_for(uint32_t speed) {
    SpeedProfile p;
    build_speed_profile(p, *speed_from_value(speed));
    return p;
}

// Every symbol once, then a run of the kind text makes, after a lead-in of silence.
struct Recording {
    std::vector<uint32_t> symbols;
    std::vector<int16_t> samples;
};
constexpr std::size_t kLead = 321;

Recording every_symbol_four_times(const SpeedProfile& p, uint32_t centre_hz) {
    Recording r;
    for (int round = 0; round < 4; ++round) {
        for (uint32_t s = 1; s <= kSymbolCount; ++s)
            r.symbols.push_back(round == 0 ? s : (s * 17) % kSymbolCount + 1);
    }
    r.samples.assign(kLead, 0);
    std::vector<int16_t> row(p.N);
    for (const uint32_t s : r.symbols) {
        synthesise_symbol(row, s, static_cast<float>(centre_hz), p);
        r.samples.insert(r.samples.end(), row.begin(), row.end());
    }
    r.samples.resize(r.samples.size() + p.N, 0);
    return r;
}

std::size_t differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n;
}

class LimitDetectorSpeed : public ::testing::TestWithParam<uint32_t> {};

// Told the channel, it reads a clean signal exactly: as sent, shifted by a frequency offset it
// is told of, and through quiet fading whose taps it is given. In noise it does no worse than
// the ideal detector on the same samples: it is told more.
TEST_P(LimitDetectorSpeed, CopiesCleanSignalsExactlyAndNoisyOnesAtLeastAsWellAsTheIdeal) {
    const SpeedProfile p = profile_for(GetParam());
    const Recording sent = every_symbol_four_times(p, 1000);
    const std::size_t used = kLead + sent.symbols.size() * p.N;
    auto copy = [&](const std::vector<int16_t>& samples, const KnownChannel& known) {
        return LimitDetector(p, 1000, known)
            .detect_all(std::span<const int16_t>(samples).first(used), kLead);
    };
    EXPECT_EQ(copy(sent.samples, {}), sent.symbols);

    ChannelParams shifted;
    shifted.offset_hz = 5.0;
    const auto moved = apply_channel(std::span<const int16_t>(sent.samples), shifted);
    ASSERT_TRUE(moved.ok()) << moved.error;
    EXPECT_EQ(copy(moved.samples, {.shift_hz = 5.0}), sent.symbols);

    ChannelParams faded;
    faded.fading = fading_preset("quiet");
    faded.seed = 7;
    const auto fades = apply_channel(std::span<const int16_t>(sent.samples), faded);
    ASSERT_TRUE(fades.ok()) << fades.error;
    const auto taps = channel_fading_taps(faded, sent.samples.size());
    ASSERT_TRUE(taps.has_value());
    EXPECT_EQ(copy(fades.samples, {.fading = &*taps}), sent.symbols);

    // Noise where the ideal detector loses about one symbol in five. At the level the
    // transmitter writes, that much noise would clip: the signal is brought down first, as the
    // operator sets the audio level, and the detector is told the level.
    constexpr double kLevel = 0.05;
    std::vector<float> quiet(sent.samples.begin(), sent.samples.end());
    for (float& s : quiet)
        s *= static_cast<float>(kLevel);
    ChannelParams noisy;
    noisy.snr_db = GetParam() == 4 ? -18.0 : (GetParam() == 2 ? -21.0 : -24.0);
    noisy.seed = 11;
    const auto heard = apply_channel(std::span<const float>(quiet), noisy);
    ASSERT_TRUE(heard.ok()) << heard.error;
    std::vector<int16_t> rounded;
    for (const float s : heard.samples)
        rounded.push_back(static_cast<int16_t>(std::lround(std::clamp(s, -32768.0f, 32767.0f))));
    const auto ideal =
        IdealDetector(p, 1000).detect_all(std::span<const int16_t>(rounded).first(used), kLead);
    const auto limit = copy(rounded, {.amplitude = kSymbolAmplitude * kLevel,
                                      .noise_variance = heard.report.noise_variance + 1.0 / 12.0});
    EXPECT_GT(differences(ideal, sent.symbols), 0u);
    EXPECT_LE(differences(limit, sent.symbols), differences(ideal, sent.symbols));
}

INSTANTIATE_TEST_SUITE_P(Speeds, LimitDetectorSpeed, ::testing::Values(1u, 2u, 4u),
                         [](const auto& param_info) {
                             return "speed" + std::to_string(param_info.param);
                         });

} // namespace
} // namespace quavel::channel
