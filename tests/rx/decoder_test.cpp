// Decode-and-track: escapes, the print switch, and the AFC vote and correction.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "interfaces/text_pane.h"
#include "modem/code_table.h"
#include "modem/modem.h"
#include "rx/decoder.h"
#include "support/param_name.h"

namespace quavel {
namespace {

class CountingListener : public ProfileListener {
public:
    void retuned(const Tuning& t) override { centres.push_back(t.centre_hz); }
    std::vector<uint32_t> centres;
};

// Tone numbers 1..9 as the demodulator reports them; the peak bin defaults to the tone's
// centre bin, which casts no vote.
ToneDecision pair(int a, int b) {
    ToneDecision d;
    d.a = a - 1;
    d.b = b - 1;
    d.strongest = a - 1;
    d.strongest_peak_bin = kToneBins[a - 1].centre;
    return d;
}

ToneDecision peaking(int offset_bins) {
    ToneDecision d = pair(5, 5);
    d.strongest_peak_bin += offset_bins;
    return d;
}

struct DecoderFixture : ::testing::Test {
    std::unique_ptr<Modem> modem = std::make_unique<Modem>();
    CountingListener listener;
    DecoderState state;
    StringPane primary;
    StringPane secondary;

    // As the receiver's owner does: AFC's move is tuned to after the decision.
    void feed(const ToneDecision& d) {
        const auto to = decode_and_track(state, d, modem->tuning.centre_hz, primary, secondary);
        if (to) modem->set_centre_frequency(*to, listener);
    }
    void feed_all(std::initializer_list<ToneDecision> ds) {
        for (const auto& d : ds)
            feed(d);
    }
};

struct Escaped {
    int a;
    int b;
    const char* text;
};

class EscapeTest : public DecoderFixture, public ::testing::WithParamInterface<Escaped> {};

TEST_P(EscapeTest, EscapedCharacterGoesToBothPanesWhateverThePrintSwitch) {
    for (bool print : {true, false}) {
        primary.clear();
        secondary.clear();
        state.print = print;
        feed_all({pair(4, 6), pair(GetParam().a, GetParam().b)});
        EXPECT_EQ(primary.text(), GetParam().text);
        EXPECT_EQ(secondary.text(), GetParam().text);
        EXPECT_FALSE(state.escape_pending);
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, EscapeTest,
                         ::testing::Values(Escaped{1, 9, "?"}, Escaped{2, 8, "@"},
                                           Escaped{3, 7, "="}),
                         [](const auto& param_info) {
                             return "Pair" + std::to_string(param_info.param.a) + "_" +
                                    std::to_string(param_info.param.b);
                         });

TEST_F(DecoderFixture, EscapeFollowedByAnotherPairPrintsNothingAndIsConsumed) {
    feed_all({pair(4, 5), pair(4, 6), pair(1, 2), pair(4, 5)});
    // "A" (4,5), nothing for the broken escape, then "A" again.
    EXPECT_EQ(primary.text(), "AA");
    EXPECT_EQ(secondary.text(), "OO");
    EXPECT_FALSE(state.escape_pending);
}

TEST_F(DecoderFixture, EscapeAfterEscapeStartsANewOne) {
    feed_all({pair(4, 6), pair(4, 6)});
    EXPECT_TRUE(state.escape_pending);
    feed(pair(1, 9));
    EXPECT_EQ(primary.text(), "?");
}

TEST_F(DecoderFixture, OrdinaryPairsAndIdle) {
    feed_all({pair(5, 5), pair(4, 5), pair(5, 5), pair(5, 5), pair(2, 7), pair(9, 9), pair(1, 9)});
    EXPECT_EQ(primary.text(), "A ET");
    EXPECT_EQ(secondary.text(), "OWZT");
}

TEST_F(DecoderFixture, PrintOffShowsOnlyEscapedCharacters) {
    state.print = false;
    feed_all({pair(4, 5), pair(4, 6), pair(2, 8), pair(9, 9)});
    EXPECT_EQ(primary.text(), "@");
    EXPECT_EQ(secondary.text(), "@");
}

TEST_F(DecoderFixture, SilenceIsIdleAndDoesNotVote) {
    ToneDecision silent;
    silent.silent = true;
    silent.strongest_peak_bin = 0; // far below tone 5's centre: would vote if it counted
    for (int i = 0; i < 10; ++i)
        feed(silent);
    EXPECT_EQ(state.afc_counter, 0);
    EXPECT_EQ(primary.text(), "");
    // It still consumes a pending escape, as the idle symbol would.
    feed_all({pair(4, 6), silent, pair(1, 9)});
    EXPECT_EQ(primary.text(), "T");
}

// A receiver that decides whole symbols prints exactly what the tone-pair decoder prints: every
// symbol on its own, after an escape, and with printing off.
TEST_F(DecoderFixture, SymbolsPrintAsTheirTonePairs) {
    state.afc = false;
    DecoderState by_symbol;
    by_symbol.afc = false;
    StringPane p2;
    StringPane s2;
    for (bool print : {true, false}) {
        state.print = print;
        by_symbol.print = print;
        for (uint32_t symbol = 1; symbol <= static_cast<uint32_t>(kSymbolCount); ++symbol) {
            for (uint32_t before : {kIdleSymbol, kEscapeSymbol}) {
                for (uint32_t s : {before, symbol}) {
                    const TonePair tp = kTonePairs[s - 1];
                    feed(pair(tp.a, tp.b));
                    decode_symbol(by_symbol, s, p2, s2);
                }
                ASSERT_EQ(p2.text(), primary.text()) << symbol;
                ASSERT_EQ(s2.text(), secondary.text()) << symbol;
                ASSERT_EQ(by_symbol.escape_pending, state.escape_pending) << symbol;
            }
        }
    }
}

TEST_F(DecoderFixture, SymbolNumbersOutsideTheTablePrintNothing) {
    state.escape_pending = true;
    for (uint32_t symbol : {0u, 46u, 255u, 0xFFFFFFFFu})
        decode_symbol(state, symbol, primary, secondary);
    EXPECT_EQ(primary.text(), "");
    EXPECT_TRUE(state.escape_pending);
    decode_symbol(state, 21, primary, secondary); // (1, 9) completes the escape
    EXPECT_EQ(primary.text(), "?");
}

struct AfcCase {
    int offset_bins; // of the strongest tone's peak from its centre bin
    int steps;
    int expected_shift_hz;
    int expected_counter;
};

class AfcVotes : public DecoderFixture, public ::testing::WithParamInterface<AfcCase> {};

TEST_P(AfcVotes, SixNetVotesMoveOneHertz) {
    const AfcCase c = GetParam();
    for (int i = 0; i < c.steps; ++i)
        feed(peaking(c.offset_bins));
    EXPECT_EQ(static_cast<int>(modem->tuning.centre_hz), 1000 + c.expected_shift_hz);
    EXPECT_EQ(state.afc_counter, c.expected_counter);
    EXPECT_EQ(listener.centres.size(), c.expected_shift_hz == 0 ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AfcVotes,
                         ::testing::Values(AfcCase{-1, 5, 0, 5},  // five low peaks: not yet
                                           AfcCase{-1, 6, -1, 0}, // the sixth lowers the centre
                                           AfcCase{-3, 7, -1, 1}, // and the count starts again
                                           AfcCase{+2, 5, 0, -5}, // high peaks
                                           AfcCase{+1, 6, +1, 0}, // raise it
                                           AfcCase{0, 20, 0, 0}), // on the centre bin: no votes
                         [](const auto& param_info) {
                             return "Offset" + test::name_of_number(param_info.param.offset_bins) +
                                    "Bins" + std::to_string(param_info.param.steps) + "Steps";
                         });

TEST_F(DecoderFixture, OppositeVotesCancel) {
    for (int i = 0; i < 20; ++i)
        feed(peaking(i % 2 == 0 ? -1 : +1));
    EXPECT_EQ(modem->tuning.centre_hz, 1000u);
    EXPECT_EQ(state.afc_counter, 0);
}

TEST_F(DecoderFixture, AfcOffCountsWithoutMovingAndOnStartsAfresh) {
    state.set_afc(false);
    for (int i = 0; i < 9; ++i)
        feed(peaking(-2));
    EXPECT_EQ(modem->tuning.centre_hz, 1000u);
    EXPECT_EQ(state.afc_counter, 9);
    state.set_afc(true);
    EXPECT_EQ(state.afc_counter, 0);
    for (int i = 0; i < 5; ++i)
        feed(peaking(-2));
    EXPECT_EQ(modem->tuning.centre_hz, 1000u);
    feed(peaking(-2));
    EXPECT_EQ(modem->tuning.centre_hz, 999u);
}

TEST_F(DecoderFixture, AfcStaysInsideTheCentreRange) {
    ProfileListener quiet;
    modem->set_centre_frequency(kCentreMinHz, quiet);
    for (int i = 0; i < 30; ++i)
        feed(peaking(-1));
    EXPECT_EQ(modem->tuning.centre_hz, kCentreMinHz);
    EXPECT_TRUE(listener.centres.empty());
    modem->set_centre_frequency(kCentreMaxHz, quiet);
    for (int i = 0; i < 30; ++i)
        feed(peaking(+1));
    EXPECT_EQ(modem->tuning.centre_hz, kCentreMaxHz);
    // And from the edge it still comes back in.
    for (int i = 0; i < 6; ++i)
        feed(peaking(-1));
    EXPECT_EQ(modem->tuning.centre_hz, kCentreMaxHz - 1);
}

} // namespace
} // namespace quavel
