// The demodulator's decisions: overload, the tone choice and its ties, the timing rule, silence;
// and the receiver's gate.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "interfaces/text_pane.h"
#include "modem/code_table.h"
#include "modem/modem.h"
#include "rx/demodulator.h"
#include "rx/receiver.h"
#include "support/param_name.h"

namespace quavel {
namespace {

struct OverloadCase {
    int16_t sample;
    bool overload;
};

class Overload : public ::testing::TestWithParam<OverloadCase> {};

TEST_P(Overload, OnlyBeyond32500) {
    SpeedProfile p;
    build_speed_profile(p, Speed::Four);
    const Tuning t = compute_tuning(p.speed, p.N, 1000);
    auto st = std::make_unique<DemodulatorState>();
    std::vector<int16_t> source(p.N, 0);
    source[100] = GetParam().sample; // an even index: decimation keeps it
    source[101] = 32767;             // an odd one: dropped
    demodulate(*st, source, p, t, true, nullptr, 1.0f);
    EXPECT_EQ(st->overload, GetParam().overload);
}

INSTANTIATE_TEST_SUITE_P(Limits, Overload,
                         ::testing::Values(OverloadCase{32500, false}, OverloadCase{32501, true},
                                           OverloadCase{-32500, false}, OverloadCase{-32501, true},
                                           OverloadCase{-32768, true}),
                         [](const auto& param_info) {
                             return "Sample" + test::name_of_number(param_info.param.sample);
                         });

struct TonesCase {
    std::vector<std::pair<int, float>> peaks; // band magnitude index, value
    int a;                                    // expected tone numbers
    int b;
    int strongest;
};

class Tones : public ::testing::TestWithParam<TonesCase> {};

TEST_P(Tones, StrongestSecondAndTheSingleToneRule) {
    auto st = std::make_unique<DemodulatorState>();
    for (const auto& [index, value] : GetParam().peaks)
        st->band_magnitude[index] = value;
    const ToneDecision d = pick_tones(*st, 2.0f);
    EXPECT_FALSE(d.silent);
    EXPECT_EQ(d.a + 1, GetParam().a);
    EXPECT_EQ(d.b + 1, GetParam().b);
    EXPECT_EQ(d.strongest + 1, GetParam().strongest);
}

// The cases below, in their order.
constexpr const char* kToneCaseNames[] = {"OneCleanTone",  "SecondBelowHalf", "SecondAtHalf",
                                          "ATie",          "LowerToneNumber", "RangeEdges",
                                          "PeaksInNoRange"};

// Tone 5's bins are 34..40, tone 6's 43..49, tone 1's 2..8, tone 9's 66..73.
INSTANTIATE_TEST_SUITE_P(
    Cases, Tones,
    ::testing::Values(TonesCase{{{37, 10.0f}}, 5, 5, 5},              // one clean tone
                      TonesCase{{{37, 10.0f}, {46, 4.99f}}, 5, 5, 5}, // second below half
                      TonesCase{{{37, 10.0f}, {46, 5.0f}}, 5, 6, 5},  // exactly half: two
                      TonesCase{{{37, 8.0f}, {46, 8.0f}}, 5, 6, 5},   // a tie: lower wins
                      TonesCase{{{46, 8.0f}, {5, 8.0f}}, 1, 6, 1},    // lower tone number
                      TonesCase{{{73, 3.0f}, {2, 2.0f}}, 1, 9, 9},    // range edges
                      TonesCase{
                          {{41, 9.0f}, {50, 9.0f}, {51, 1.0f}}, 7, 7, 7}), // 41, 50 in no range
    [](const auto& param_info) { return std::string(kToneCaseNames[param_info.index]); });

TEST(Tones, PeakBinIsTheFirstLargestAndSurvivesSilence) {
    auto st = std::make_unique<DemodulatorState>();
    st->band_magnitude[35] = 5.0f;
    st->band_magnitude[39] = 5.0f;
    ToneDecision d = pick_tones(*st, 2.0f);
    EXPECT_EQ(d.strongest_peak_bin, 35);
    st->band_magnitude.fill(0.0f);
    d = pick_tones(*st, 2.0f);
    EXPECT_TRUE(d.silent);
    EXPECT_EQ(d.a, 4); // the idle symbol
    EXPECT_EQ(d.b, 4);
    EXPECT_EQ(st->peak_bin[4], 35);
}

struct SyncCase {
    int m1;
    int m2;
    bool moves;
};

class AutoSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(AutoSync, MovesOnlyForDipsOneSymbolApart) {
    const SyncCase c = GetParam();
    for (uint32_t N : {8192u, 4096u, 2048u}) {
        const uint32_t expected = c.moves ? static_cast<uint32_t>(c.m1) * (N / 128) : 77u;
        EXPECT_EQ(auto_sync_position(c.m1, c.m2, N, 77), expected) << N;
    }
}

INSTANTIATE_TEST_SUITE_P(Rule, AutoSync,
                         ::testing::Values(SyncCase{10, 74, true}, SyncCase{10, 71, true},
                                           SyncCase{10, 77, true}, SyncCase{10, 70, false},
                                           SyncCase{10, 78, false}, SyncCase{0, 64, false},
                                           SyncCase{63, 127, true}, SyncCase{-1, 70, false},
                                           SyncCase{5, -1, false}),
                         [](const auto& param_info) {
                             return "Dips" + test::name_of_number(param_info.param.m1) + "And" +
                                    test::name_of_number(param_info.param.m2);
                         });

TEST(Demodulate, SilenceGivesTheFloorPeakAndASilentDecision) {
    for (int item = 0; item < 3; ++item) {
        SpeedProfile p;
        build_speed_profile(p, kSpeeds[item]);
        const Tuning t = compute_tuning(p.speed, p.N, 1000);
        auto st = std::make_unique<DemodulatorState>();
        const std::vector<int16_t> zeros(p.N, 0);
        StepDecisions d;
        for (int i = 0; i < 3; ++i)
            d = demodulate(*st, zeros, p, t, true, nullptr, 1.0f);
        ASSERT_EQ(d.count, 1u);
        EXPECT_TRUE(d.symbols[0].silent);
        EXPECT_FLOAT_EQ(st->normalise_peak, 0.01f);
        EXPECT_EQ(p.sync_position, p.N / 4); // flat scope: every column ties, column 0 wins
    }
}

TEST(Demodulate, BandHoldsSeventyFourOrFiveMagnitudesAcrossTheRange) {
    for (int item = 0; item < 3; ++item) {
        SpeedProfile p;
        build_speed_profile(p, kSpeeds[item]);
        auto st = std::make_unique<DemodulatorState>();
        const std::vector<int16_t> zeros(p.N, 0);
        for (uint32_t c = kCentreMinHz; c <= kCentreMaxHz; c += 37) {
            demodulate(*st, zeros, p, compute_tuning(p.speed, p.N, c), true, nullptr, 1.0f);
            ASSERT_GE(st->band_count, 74u) << c;
            ASSERT_LE(st->band_count, 75u) << c;
        }
    }
}

TEST(Demodulate, SyncPositionBeyondTheFirstSymbolIsBroughtBack) {
    SpeedProfile p;
    build_speed_profile(p, Speed::Two);
    p.sync_position = 5000;
    auto st = std::make_unique<DemodulatorState>();
    const std::vector<int16_t> zeros(p.N, 0);
    demodulate(*st, zeros, p, compute_tuning(p.speed, p.N, 1000), false, nullptr, 1.0f);
    EXPECT_EQ(p.sync_position, 63u * 32u);
}

// An input whose completions the test fires by hand.
class ManualInput : public AudioInput {
public:
    bool open(std::span<int16_t> given, Done on_done) override {
        buffers = given;
        done = std::move(on_done);
        return true;
    }
    void requeue(int buffer) override { requeued.push_back(buffer); }
    void stop() override { ++stops; }
    void restart() override { ++restarts; }
    void close() override {}
    void complete(int buffer, int16_t value) {
        std::fill_n(buffers.begin() + buffer * kCaptureBufferSamples, kCaptureBufferSamples, value);
        done(buffer);
    }

    std::span<int16_t> buffers;
    Done done;
    std::vector<int> requeued;
    int stops = 0;
    int restarts = 0;
};

class Forwarder : public ProfileListener {
public:
    explicit Forwarder(Receiver& rx) : rx_(rx) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override { rx_.profile_rebuilt(p); }
    void after_profile_change() override { rx_.after_profile_change(); }

private:
    Receiver& rx_;
};

struct ReceiverFixture : ::testing::Test {
    ManualInput input; // outlives the receiver, whose capture closes it
    std::unique_ptr<Modem> modem = std::make_unique<Modem>();
    std::unique_ptr<Receiver> rx = std::make_unique<Receiver>();
    Forwarder listener{*rx};
    StringPane primary;
    StringPane secondary;
    ReceiveOutputs outputs{primary, secondary, nullptr};

    void SetUp() override {
        modem->initialise_profile(Speed::Two, listener);
        ASSERT_TRUE(rx->capture().open(input));
    }
    bool step() { return rx->receive_step(*modem, outputs).ran; }
};

TEST_F(ReceiverFixture, GateWaitsForAWholeSymbol) {
    EXPECT_FALSE(step());
    input.complete(0, 0);
    EXPECT_TRUE(rx->capture_tick());
    EXPECT_FALSE(step()); // one block short of the symbol step
    input.complete(1, 0);
    EXPECT_TRUE(rx->capture_tick());
    EXPECT_TRUE(step());
    EXPECT_FALSE(step()); // at most one step per symbol
    EXPECT_EQ(rx->capture().ring().read_count(), 2u);
}

TEST_F(ReceiverFixture, GateWaitsForDataArrived) {
    // Blocks in the ring without a completion since the profile was built do not count.
    const std::array<int16_t, kCaptureBlockSamples> block{};
    rx->capture().ring().write_block(block);
    rx->capture().ring().write_block(block);
    EXPECT_FALSE(step());
    input.complete(0, 0);
    EXPECT_TRUE(step());
}

TEST_F(ReceiverFixture, SpeedChangeStopsResetsAndRestartsCapture) {
    input.complete(0, 0);
    input.complete(1, 0);
    rx->capture_tick();
    rx->set_afc(false);
    rx->set_print(false);
    rx->set_auto_sync(false);
    modem->initialise_profile(Speed::Four, listener);
    EXPECT_EQ(input.stops, 1);
    EXPECT_EQ(input.restarts, 1);
    EXPECT_EQ(rx->capture().pending_count(), 0);
    EXPECT_EQ(rx->capture().ring().waiting(), 0u);
    EXPECT_EQ(rx->capture().ring().symbol_step(), 1u);
    EXPECT_FALSE(rx->capture().data_arrived());
    EXPECT_TRUE(rx->afc() && rx->print() && rx->auto_sync());
}

TEST_F(ReceiverFixture, TestModeRestartsTheSequenceAndIsPacedByCapture) {
    ProfileListener quiet;
    modem->set_centre_frequency(900, quiet);
    rx->set_test_position(17);
    rx->set_test_mode(true);
    EXPECT_EQ(rx->test_position(), 0u);
    for (int i = 0; i < 4; ++i) {
        input.complete(2 * i % 8, 0);
        input.complete((2 * i + 1) % 8, 0);
        rx->capture_tick();
        rx->capture_tick();
        EXPECT_TRUE(step());
    }
    EXPECT_FALSE(step());
    EXPECT_EQ(rx->test_position(), 4u);
    // Three idles then "T", fed one step ahead of what is decoded.
    EXPECT_EQ(rx->last_decision().a, 4);
}

} // namespace
} // namespace quavel
