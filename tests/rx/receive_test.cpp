// The whole receive chain on signals: the self-test, our own transmissions with an offset, a
// mistuned receiver and noise, and the independent vectors.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "modem/code_table.h"
#include "platform/wav/wav_file.h"
#include "receive_support.h"
#include "support/param_name.h"
#include "support/vector_file.h"

namespace quavel {
namespace {

using rxtest::copies;
using rxtest::receive;
using rxtest::ReceiveSettings;
using rxtest::Transmission;

// The text of one cycle of the test sequence as the first pane shows it.
const std::string kTestText = "THIS TEST MESSAGE WILL PRINT OUT THE WHOLE QUAVEL CHARACTER SET "
                              "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890,.'/)(?@=";

class SelfTest : public ::testing::TestWithParam<int> {};

TEST_P(SelfTest, DecodesTheTestSequenceAndSettlesOnColumn32To34) {
    const int item = GetParam();
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[item]);
    // Silence only paces the test: one step per symbol of the sequence, plus the step that
    // decodes its last symbol.
    const std::vector<int16_t> silence((test_sequence().size() + 1) * p.N, 0);
    const auto r = receive(silence, {.speed_item = item, .centre_hz = 900, .test_mode = true});
    EXPECT_TRUE(copies(r.primary, kTestText, 1)) << r.primary;
    const uint32_t C = p.N / 128;
    EXPECT_GE(r.sync_position, 32 * C);
    EXPECT_LE(r.sync_position, 34 * C);
    // Once the history holds two symbols the dip stays at 32..34, now and then a column or
    // two beside it.
    size_t settled = 0;
    for (size_t i = 2; i < r.first_minima.size(); ++i) {
        EXPECT_GE(r.first_minima[i], 30) << "step " << i;
        EXPECT_LE(r.first_minima[i], 36) << "step " << i;
        if (r.first_minima[i] >= 32 && r.first_minima[i] <= 34) ++settled;
    }
    EXPECT_GE(settled, (r.first_minima.size() - 2) * 9 / 10);
}

TEST_P(SelfTest, SecondCycleRepeatsTheText) {
    const int item = GetParam();
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[item]);
    const std::vector<int16_t> silence((2 * test_sequence().size() + 1) * p.N, 0);
    const auto r = receive(silence, {.speed_item = item, .centre_hz = 900, .test_mode = true});
    EXPECT_TRUE(copies(r.primary, kTestText + kTestText, 1)) << r.primary;
}

INSTANTIATE_TEST_SUITE_P(Speeds, SelfTest, ::testing::Values(0, 1, 2), [](const auto& param_info) {
    return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param)]);
});

// A transmission with escapes, every letter and a few digits.
constexpr std::string_view kText = "CQ DE TEST? @QUAVEL= THE QUICK BROWN FOX 0123 (K)";

struct RoundTrip {
    int item;
    int mistune_hz;  // receiver centre minus the signal's
    uint32_t offset; // samples before the first symbol
    double noise_sigma;
    uint32_t lead_idle = 6;
};

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, CopiesTheTextAndAfcFindsTheSignal) {
    const RoundTrip c = GetParam();
    const auto samples = rxtest::make_transmission({.text = kText,
                                                    .speed_item = c.item,
                                                    .centre_hz = 1000.0f,
                                                    .lead_idle = c.lead_idle,
                                                    .offset_samples = c.offset,
                                                    .amplitude = 0.5f,
                                                    .noise_sigma = c.noise_sigma,
                                                    .seed = 0x5eed + c.offset});
    const auto r = receive(
        samples, {.speed_item = c.item, .centre_hz = static_cast<uint32_t>(1000 + c.mistune_hz)});
    // A long preamble is for cases where idle symbols may read as two tones until AFC has
    // walked in (in noise, or 3 Hz low, where tone 5 lies four bins above its centre, past its
    // range); after that the copy must be whole. Otherwise only settling characters may come.
    const size_t stray = c.lead_idle > 6 ? c.lead_idle : 2;
    EXPECT_TRUE(copies(r.primary, kText, stray)) << r.primary;
    // The tone bin centres sit up to a bin off the tones, so AFC may rest 1 Hz beside them.
    EXPECT_NEAR(static_cast<int>(r.centre_hz), 1000, 1);
}

// Noise of sigma 5000 against symbols of peak 15000: about +6 dB in 2500 Hz. Offsets put the
// first symbol anywhere in a capture block, except near half a symbol: there the gaps between
// symbols fall on the scope's columns 0 and 64, where the timing rule (a first dip at column
// 1..63, the second 61..67 columns later) cannot tell the gap at the start of the first half
// from the one at its end, and in noise the sync position jumps a whole symbol back and forth.
INSTANTIATE_TEST_SUITE_P(
    Speeds, RoundTripTest,
    ::testing::Values(RoundTrip{0, 0, 0, 0.0}, RoundTrip{1, 0, 0, 0.0}, RoundTrip{2, 0, 0, 0.0},
                      RoundTrip{0, 3, 1234, 0.0}, RoundTrip{1, 3, 3001, 0.0},
                      RoundTrip{2, 3, 517, 0.0}, RoundTrip{1, -3, 2600, 0.0, 24},
                      RoundTrip{0, -3, 1000, 5000.0, 24}, RoundTrip{0, 3, 6000, 5000.0, 24},
                      RoundTrip{1, 3, 777, 5000.0, 24}, RoundTrip{1, -3, 3333, 5000.0, 24},
                      RoundTrip{2, -3, 1500, 5000.0, 24}, RoundTrip{2, 3, 99, 5000.0, 24}),
    [](const auto& param_info) {
        const RoundTrip& c = param_info.param;
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(c.item)]) + "Mistune" +
               test::name_of_number(c.mistune_hz) + "HzOffset" + std::to_string(c.offset) +
               (c.noise_sigma > 0.0 ? "Noisy" : "");
    });

TEST(RoundTrip, SecondaryPaneShowsTheSecondAlphabet) {
    const auto samples = rxtest::make_transmission({.text = "AB?"});
    const auto r = receive(samples, {});
    // "A" and "B" are symbols 2 and 3: "O" and "V" in the second alphabet; "?" shows in both.
    EXPECT_TRUE(copies(r.primary, "AB?", 1)) << r.primary;
    EXPECT_TRUE(copies(r.secondary, "OV?", 1)) << r.secondary;
}

TEST(RoundTrip, AfcOffKeepsTheFrequency) {
    const auto samples = rxtest::make_transmission({.text = kText});
    const auto r = receive(samples, {.centre_hz = 1003, .afc = false});
    EXPECT_EQ(r.centre_hz, 1003u);
    EXPECT_TRUE(copies(r.primary, kText, 2)) << r.primary;
}

TEST(RoundTrip, AutoSyncOffKeepsTheSyncPosition) {
    const auto samples = rxtest::make_transmission({.text = "TEST", .offset_samples = 1000});
    const auto r = receive(samples, {.auto_sync = false});
    EXPECT_EQ(r.sync_position, 1024u);
}

TEST(RoundTrip, TwoReceiversSideBySideDoNotShareState) {
    const auto a = rxtest::make_transmission({.text = "ALPHA", .offset_samples = 300});
    const auto b = rxtest::make_transmission({.text = "BRAVO", .offset_samples = 1500});
    const auto ra = receive(a, {});
    const auto rb = receive(b, {});
    const auto ra2 = receive(a, {});
    EXPECT_TRUE(copies(ra.primary, "ALPHA", 1));
    EXPECT_TRUE(copies(rb.primary, "BRAVO", 1));
    EXPECT_EQ(ra.primary, ra2.primary);
    EXPECT_EQ(ra.sync_position, ra2.sync_position);
}

struct Vector {
    const char* file;
    int item;
    uint32_t centre_hz;
};

class VectorCopy : public ::testing::TestWithParam<Vector> {};

TEST_P(VectorCopy, CopiesTheIndependentTransmission) {
    const Vector v = GetParam();
    // The vectors sit beside the repository, not in it: a bare clone has none.
    const std::optional<WavData> wav = test::read_vector(v.file);
    if (!wav) return;
    const auto r = receive(wav->samples, {.speed_item = v.item, .centre_hz = v.centre_hz});
    // The leading idle symbols meet a history that starts empty: the first steps may print.
    EXPECT_TRUE(copies(r.primary, "CQ CQ CQ DE VECTOR VECTOR PSE K", 2)) << r.primary;
}

INSTANTIATE_TEST_SUITE_P(Files, VectorCopy,
                         ::testing::Values(Vector{"copy_speed1_1040hz_-8db.wav", 0, 1040},
                                           Vector{"copy_speed2_1000hz_-6db.wav", 1, 1000},
                                           Vector{"copy_speed2_1000hz_clean.wav", 1, 1000},
                                           Vector{"copy_speed4_950hz_-3db.wav", 2, 950}),
                         [](const auto& param_info) {
                             return test::name_of_file(param_info.param.file);
                         });

} // namespace
} // namespace quavel
