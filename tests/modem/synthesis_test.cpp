#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "modem/modem.h"
#include "modem/synthesis.h"
#include "platform/wav/wav_file.h"
#include "support/param_name.h"
#include "support/vector_file.h"

namespace quavel {
namespace {

TEST(Synthesis, EveryRowStartsAtZeroAndStaysInRange) {
    SpeedProfile p;
    SymbolBank bank;
    for (int item = 0; item < 3; ++item) {
        build_speed_profile(p, kSpeeds[item]);
        build_test_bank(bank, p);
        for (uint32_t r = 0; r < 45; ++r) {
            const auto row = bank.row(r);
            ASSERT_EQ(row[0], 0);
            const auto [lo, hi] = std::minmax_element(row.begin(), row.begin() + p.N);
            ASSERT_GE(*lo, -30000);
            ASSERT_LE(*hi, 30000);
        }
    }
}

TEST(Synthesis, IdleRowAtSpeedFourWorkedSamples) {
    SpeedProfile p;
    build_speed_profile(p, Speed::Four);
    SymbolBank bank;
    synthesise_symbol(bank.row(0), kIdleSymbol, 1000.0f, p);
    EXPECT_EQ(bank.row(0)[1023], -21213);
    EXPECT_EQ(bank.row(0)[1024], -1);
    EXPECT_EQ(bank.row(0)[1025], 21212);
}

TEST(Synthesis, TestBankSymbol21PeaksAtExactlyFullScale) {
    SpeedProfile p;
    build_speed_profile(p, Speed::One);
    SymbolBank bank;
    build_test_bank(bank, p);
    const auto row = bank.row(20);
    const auto [lo, hi] = std::minmax_element(row.begin(), row.begin() + p.N);
    EXPECT_EQ(*hi, 30000);
    EXPECT_EQ(*lo, -30000);
}

// The independent vectors: rows of all 45 symbols back to back, at 1000 Hz and at 900 Hz.
struct VectorCase {
    const char* file;
    int item;
    float centre;
};

class Vectors : public ::testing::TestWithParam<VectorCase> {};

TEST_P(Vectors, RowsMatchWithinOneCount) {
    const VectorCase c = GetParam();
    const std::optional<WavData> wav = test::read_vector(c.file);
    if (!wav) return;
    SpeedProfile p;
    build_speed_profile(p, kSpeeds[c.item]);
    ASSERT_EQ(wav->samples.size(), 45u * p.N);
    SymbolBank bank;
    int worst = 0;
    for (uint32_t s = 1; s <= 45; ++s) {
        synthesise_symbol(bank.row(s - 1), s, c.centre, p);
        for (uint32_t j = 0; j < p.N; ++j) {
            const int d = std::abs(bank.row(s - 1)[j] - wav->samples[(s - 1) * p.N + j]);
            worst = std::max(worst, d);
        }
    }
    EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Independent, Vectors,
                         ::testing::Values(VectorCase{"rows_speed1_1000hz.wav", 0, 1000.0f},
                                           VectorCase{"rows_speed2_1000hz.wav", 1, 1000.0f},
                                           VectorCase{"rows_speed4_1000hz.wav", 2, 1000.0f},
                                           VectorCase{"testbank_speed1_900hz.wav", 0, 900.0f},
                                           VectorCase{"testbank_speed2_900hz.wav", 1, 900.0f},
                                           VectorCase{"testbank_speed4_900hz.wav", 2, 900.0f}),
                         [](const auto& param_info) {
                             return test::name_of_file(param_info.param.file);
                         });

struct Recorder : ProfileListener {
    int before = 0, rebuilt = 0, retunes = 0, after = 0;
    uint32_t last_centre = 0;
    void before_profile_change() override { ++before; }
    void profile_rebuilt(const SpeedProfile&) override { ++rebuilt; }
    void retuned(const Tuning& t) override {
        ++retunes;
        last_centre = t.centre_hz;
    }
    void after_profile_change() override { ++after; }
};

TEST(Modem, InitialisationTunesTo1000OnceThenKeepsTheCentre) {
    Modem m;
    Recorder r;
    m.initialise_profile(Speed::Two, r);
    EXPECT_EQ(m.tuning.centre_hz, 1000u);
    EXPECT_EQ(r.before, 1);
    EXPECT_EQ(r.after, 1);
    m.set_centre_frequency(957, r);
    m.initialise_profile(Speed::Four, r);
    EXPECT_EQ(m.tuning.centre_hz, 957u);
    EXPECT_EQ(m.profile.N, 2048u);
    EXPECT_EQ(m.tuning.band_high, compute_tuning(4, 2048, 957).band_high);
    EXPECT_EQ(r.last_centre, 957u);
    // The idle row follows the retune; a clamped request lands on the range's edge.
    EXPECT_EQ(m.set_centre_frequency(-705, r), kCentreMinHz);
    SymbolBank expected;
    synthesise_symbol(expected.row(0), 1, static_cast<float>(kCentreMinHz), m.profile);
    EXPECT_TRUE(std::equal(expected.row(0).begin(), expected.row(0).begin() + 2048,
                           m.transmit_bank.row(0).begin()));
}

} // namespace
} // namespace quavel
