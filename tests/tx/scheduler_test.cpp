#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/param_name.h"
#include "tx/tx_rig.h"

namespace quavel {
namespace {

using test::Rig;

std::vector<int16_t> slice(std::span<const int16_t> s, size_t from, size_t n) {
    return {s.begin() + static_cast<ptrdiff_t>(from), s.begin() + static_cast<ptrdiff_t>(from + n)};
}

struct PrimeCase {
    int item;
    bool silent_first;
};
class Prime : public ::testing::TestWithParam<PrimeCase> {};

TEST_P(Prime, QueuesBufferZeroThenOneOfOneSymbolEach) {
    Rig r(GetParam().item);
    ASSERT_TRUE(r.start(GetParam().silent_first));
    ASSERT_EQ(r.output.queued.size(), 2u);
    const auto idle = r.row(kIdleSymbol);
    EXPECT_EQ(r.output.queued[0].index, 0);
    EXPECT_EQ(r.output.queued[1].index, 1);
    const auto& first = r.output.queued[0].samples;
    if (GetParam().silent_first) {
        EXPECT_EQ(first, std::vector<int16_t>(r.n(), 0));
    } else {
        EXPECT_EQ(first, idle);
    }
    EXPECT_EQ(r.output.queued[1].samples, idle);
    EXPECT_EQ(r.tx.next_buffer(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    SpeedsAndDelay, Prime,
    ::testing::Values(PrimeCase{0, false}, PrimeCase{0, true}, PrimeCase{1, false},
                      PrimeCase{1, true}, PrimeCase{2, false}, PrimeCase{2, true}),
    [](const auto& param_info) {
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param.item)]) +
               (param_info.param.silent_first ? "SilentFirst" : "");
    });

TEST(Scheduler, OnlyTheAwaitedBufferIsRefilledAndOnlyWhileTransmitting) {
    Rig r;
    r.tx.buffer_done(0);
    EXPECT_FALSE(r.tx.done_flag(0));
    ASSERT_TRUE(r.start());
    r.output.complete(1); // the device returned the other buffer first
    r.output.complete(7); // no such buffer
    EXPECT_TRUE(r.tx.done_flag(1));
    EXPECT_FALSE(r.tx.refill_tick(r.modem, r.memo4, r.memo5, r.events));
    r.output.complete(0);
    EXPECT_TRUE(r.tx.refill_tick(r.modem, r.memo4, r.memo5, r.events));
    EXPECT_FALSE(r.tx.done_flag(0));
    EXPECT_EQ(r.tx.next_buffer(), 1);
    EXPECT_TRUE(r.tx.refill_tick(r.modem, r.memo4, r.memo5, r.events));
    EXPECT_EQ(r.output.queued.size(), 4u);

    r.tx.stop_transmission();
    EXPECT_FALSE(r.output.is_open());
    // The flood of completions a device reset causes changes nothing.
    r.output.complete(0);
    r.output.complete(1);
    EXPECT_FALSE(r.tx.done_flag(0));
    EXPECT_FALSE(r.tx.refill_tick(r.modem, r.memo4, r.memo5, r.events));
}

TEST(Scheduler, TextGoesOutOneSymbolPerBufferBehindTheSentPane) {
    Rig r;
    r.memo4.set_text("HI");
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(kIdleSymbol)); // "H" was taken after this buffer was filled
    EXPECT_EQ(r.memo5.text(), "H");
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(9));
    EXPECT_EQ(r.memo5.text(), "HI");
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(10));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(r.step());
        EXPECT_EQ(r.last(), r.row(kIdleSymbol));
    }
    const std::vector<int> indices = {0, 1, 0, 1, 0, 1, 0, 1};
    for (size_t i = 0; i < indices.size(); ++i)
        EXPECT_EQ(r.output.queued[i].index, indices[i]);
}

TEST(Scheduler, SymbolsAreSynthesisedAtTheCentreFrequencyOfTheirRefill) {
    Rig r;
    ASSERT_TRUE(r.start());
    r.tx.queue().append(kIdleSymbol);
    r.tx.queue().append(2);
    r.tx.queue().append(2);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(kIdleSymbol));
    EXPECT_EQ(r.tx.queue().count(), 2u); // symbol 1 is popped like any other
    r.retune(1100);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(2));
    // The same symbol again: its row is built afresh at the new frequency.
    r.retune(870);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(2));
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(kIdleSymbol)); // the idle row follows the retune too
}

TEST(Scheduler, PullStopsAboveFourEntriesAndResumesAtFour) {
    Rig r(0); // speed 1: the carrier lasts 6 buffers
    r.memo4.set_text("?????");
    ASSERT_TRUE(r.start());
    r.tx.tune_up();
    std::vector<uint32_t> counts;
    for (int i = 0; i < 13; ++i) {
        ASSERT_TRUE(r.step());
        counts.push_back(r.tx.queue().count());
        if (i == 6) {
            EXPECT_EQ(r.last(), r.row(kEscapeSymbol)); // the first data after the carrier
        }
    }
    EXPECT_EQ(counts, (std::vector<uint32_t>{2, 4, 6, 6, 6, 6, 5, 6, 5, 6, 5, 4, 3}));
    EXPECT_EQ(r.memo5.text(), "?????");
}

class Tune : public ::testing::TestWithParam<int> {};

TEST_P(Tune, RunsSixTimesSpeedBuffersWithContinuousPhase) {
    Rig r(GetParam());
    r.memo4.set_text("E");
    ASSERT_TRUE(r.start());
    r.tx.tune_up();
    const uint32_t buffers = 6 * r.modem.profile.speed;
    std::vector<int16_t> carrier;
    for (uint32_t b = 0; b < buffers; ++b) {
        ASSERT_TRUE(r.step());
        EXPECT_EQ(r.events.tunes_ended, b + 1 == buffers ? 1 : 0);
        carrier.insert(carrier.end(), r.last().begin(), r.last().end());
    }
    ASSERT_EQ(carrier.size(), 49152u);
    const double step = r.modem.tuning.tune_phase_step;
    EXPECT_EQ(carrier[0], 0);
    for (size_t k = 0; k < carrier.size(); ++k) {
        ASSERT_EQ(carrier[k], static_cast<int16_t>(30000 * std::sin(static_cast<double>(k) * step)))
            << k;
    }
    EXPECT_FALSE(r.tx.tune().active);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(44)); // "E", taken during the carrier, follows without a gap
}

INSTANTIATE_TEST_SUITE_P(Speeds, Tune, ::testing::Values(0, 1, 2), [](const auto& param_info) {
    return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param)]);
});

struct IdCase {
    int item;
    uint32_t buffers;
};
class Identification : public ::testing::TestWithParam<IdCase> {};

TEST_P(Identification, SendsFloorOfBlocksTimesSpeedOverFourPlusOneBuffers) {
    Rig r(GetParam().item); // no callsign: "DE " alone, 11752 samples, 6 blocks
    ASSERT_EQ(r.tx.identification_audio().block_count(), 6u);
    ASSERT_TRUE(r.start());
    ASSERT_EQ(r.tx.cw_id(""), IdentificationStart::Started);
    const auto store = r.tx.identification_audio().store();
    uint32_t sent = 0;
    while (r.events.identifications_ended == 0 && sent < 100) {
        ASSERT_TRUE(r.step());
        EXPECT_EQ(r.last(), slice(store, sent * r.n(), r.n())) << sent;
        ++sent;
    }
    EXPECT_EQ(sent, GetParam().buffers);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(kIdleSymbol));
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, Identification, ::testing::Values(IdCase{0, 2}, IdCase{1, 4}, IdCase{2, 7}),
    [](const auto& param_info) {
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param.item)]);
    });

TEST(Scheduler, TuneGoesBeforeIdentificationBeforeData) {
    Rig r(2, "K1A");
    r.memo4.set_text("T");
    ASSERT_TRUE(r.start());
    r.tx.tune_up();
    ASSERT_EQ(r.tx.cw_id("K1A"), IdentificationStart::Started);
    const uint32_t id_buffers = r.tx.identification().buffers_to_send(4);
    const auto store = r.tx.identification_audio().store();
    for (int i = 0; i < 24; ++i)
        ASSERT_TRUE(r.step());
    EXPECT_EQ(r.events.tunes_ended, 1);
    EXPECT_EQ(r.tx.identification().buffers_sent, 0u);
    for (uint32_t i = 0; i < id_buffers; ++i) {
        ASSERT_TRUE(r.step());
        EXPECT_EQ(r.last(), slice(store, i * r.n(), r.n()));
    }
    EXPECT_EQ(r.events.identifications_ended, 1);
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.last(), r.row(21));
}

TEST(Scheduler, NocallIsNeverKeyed) {
    Rig r;
    EXPECT_EQ(r.tx.cw_id("NOCALL"), IdentificationStart::NoCallsign);
    EXPECT_FALSE(r.tx.identification().active);
    EXPECT_EQ(r.tx.cw_id("NOCALL2"), IdentificationStart::Started);
}

TEST(Scheduler, IdentificationCutOffResumesAtTheNextTransmission) {
    Rig r(2, "DL1ABC");
    ASSERT_TRUE(r.start());
    r.tx.cw_id("DL1ABC");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(r.step());
    r.tx.queue().append(5);
    r.tx.stop_transmission();
    EXPECT_TRUE(r.tx.identification().active);
    EXPECT_EQ(r.tx.queue().count(), 1u); // kept until the next start empties it

    // A retune between transmissions rebuilds the audio; the position and length stay.
    const uint32_t blocks = r.tx.identification().blocks_to_play;
    r.retune(1200);
    r.output.queued.clear();
    ASSERT_TRUE(r.start());
    EXPECT_TRUE(r.tx.queue().is_empty());
    ASSERT_TRUE(r.step());
    EXPECT_EQ(r.output.queued.size(), 3u); // after the two primed buffers
    EXPECT_EQ(r.last(), slice(r.tx.identification_audio().store(), 3 * r.n(), r.n()));
    EXPECT_EQ(r.tx.identification().blocks_to_play, blocks);
}

TEST(Scheduler, ASpeedChangeStopsTheCarrierButKeepsTheIdentification) {
    Rig r;
    r.tx.tune_up();
    r.tx.cw_id("");
    r.tx.profile_changed();
    EXPECT_FALSE(r.tx.tune().active);
    EXPECT_TRUE(r.tx.identification().active);
    EXPECT_EQ(r.tx.next_buffer(), 0);
}

TEST(Scheduler, AnOutputThatCannotOpenSendsNothing) {
    Rig r;
    r.output.fail_open = true;
    r.memo4.set_text("A");
    EXPECT_FALSE(r.start());
    EXPECT_TRUE(r.tx.transmitting());
    EXPECT_FALSE(r.tx.playback_open());
    EXPECT_FALSE(r.step());
    EXPECT_TRUE(r.output.queued.empty());
    EXPECT_EQ(r.memo4.text(), "A");
    r.tx.stop_transmission();
    EXPECT_FALSE(r.tx.transmitting());
}

TEST(Scheduler, TwoTransmittersSideBySideKeepTheirOwnState) {
    Rig a;
    Rig b;
    a.memo4.set_text("A");
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start(true));
    ASSERT_TRUE(a.step());
    EXPECT_EQ(a.tx.queue().count(), 1u);
    EXPECT_TRUE(b.tx.queue().is_empty());
    EXPECT_EQ(b.output.queued.size(), 2u);
}

} // namespace
} // namespace quavel
