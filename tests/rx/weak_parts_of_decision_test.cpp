// The parts of the weak-signal receiver's decision on their own: the squelch stepped through
// scripted statistics, the frequency loop closed over the real correlator on a tone a known
// amount off, the timing loop on a curve peaked a known amount off, and push counting what it had
// no room for.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

#include "receive_support.h"
#include "rx/weak_correlator.h"
#include "rx/weak_frequency_loop.h"
#include "rx/weak_noise.h"
#include "rx/weak_receiver.h"
#include "rx/weak_squelch.h"
#include "rx/weak_timing_loop.h"
#include "weak_support.h"

namespace quavel {
namespace {

constexpr uint8_t kIdle = 1;

// A symbol whose tones lie three spacings or more apart.
uint8_t wide_symbol() {
    uint32_t s = 1;
    while (kTonePairs[s - 1].b - kTonePairs[s - 1].a < 3)
        ++s;
    return static_cast<uint8_t>(s);
}

// Steps `squelch` through `statistic` repeated `count` times; returns the symbols it printed.
std::vector<uint8_t> run(WeakSquelch& squelch, double statistic, int count, uint8_t symbol,
                         bool fitted = true, int* locks = nullptr, int* closes = nullptr,
                         double above = 20.0, double tone_level = 10.0) {
    std::vector<uint8_t> printed;
    for (int i = 0; i < count; ++i) {
        squelch.observe(statistic);
        const auto v = squelch.step({symbol, statistic, above, tone_level}, true, fitted);
        printed.insert(printed.end(), v.print.begin(), v.print.end());
        if (locks && v.lock_on > 0) ++*locks;
        if (closes && v.closed) ++*closes;
    }
    return printed;
}

TEST(WeakSquelch, StaysShutOnNoiseAndOnASteadyMiddlingStatistic) {
    for (const double statistic : {0.3, 1.0, 1.9, 3.5}) {
        WeakSquelch squelch;
        squelch.restart();
        int locks = 0;
        EXPECT_TRUE(run(squelch, statistic, 200, kIdle, true, &locks).empty()) << statistic;
        EXPECT_FALSE(squelch.open()) << statistic;
        EXPECT_EQ(locks, 0) << statistic;
    }
}

TEST(WeakSquelch, OpensOnASignalWithTheSymbolsLeadingUpAndClosesWhenItEnds) {
    WeakSquelch squelch;
    squelch.restart();
    EXPECT_TRUE(run(squelch, 0.8, 20, kIdle).empty());
    // The signal's symbols are held until the average rises, then come out in order, all of them.
    const std::vector<uint8_t> signal = {7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<uint8_t> printed;
    for (const uint8_t s : signal) {
        const auto p = run(squelch, 20.0, 1, s);
        printed.insert(printed.end(), p.begin(), p.end());
    }
    EXPECT_TRUE(squelch.open());
    EXPECT_EQ(printed, signal);
    // The average takes some symbols to fall; once shut it prints nothing more.
    int closes = 0;
    EXPECT_LE(run(squelch, 0.8, 20, kIdle, true, nullptr, &closes).size(), 10u);
    EXPECT_FALSE(squelch.open());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(run(squelch, 0.8, 20, kIdle).empty());
}

TEST(WeakSquelch, OneSymbolOverAndOverNeitherOpensItNorKeepsItOpen) {
    // A carrier (or a slower station) reads as the same symbol again and again, however clear.
    WeakSquelch squelch;
    squelch.restart();
    EXPECT_TRUE(run(squelch, 25.0, 30, 12).empty());
    EXPECT_FALSE(squelch.open());
    // A station's symbols change; where it gives way to a carrier, the squelch shuts soon after.
    const std::vector<uint8_t> signal = {7, 8, 9, 10, 11, 12};
    for (const uint8_t s : signal)
        run(squelch, 20.0, 1, s);
    ASSERT_TRUE(squelch.open());
    int closes = 0;
    EXPECT_LE(run(squelch, 25.0, 30, 12, true, nullptr, &closes).size(), 8u);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(squelch.open());
}

TEST(WeakSquelch, OnASignalTheTrackerWasNotFittedToAsksForALockOnceAWidePairShowsTheTiming) {
    WeakSquelch squelch;
    squelch.restart();
    int locks = 0;
    // Idle tones alone show little of the timing: no lock until most of the held symbols are in.
    EXPECT_TRUE(run(squelch, 20.0, 3, kIdle, false, &locks).empty());
    EXPECT_EQ(locks, 0);
    squelch.observe(20.0);
    const auto v = squelch.step({wide_symbol(), 20.0, 20.0, 10.0}, true, false);
    EXPECT_GE(v.lock_on, WeakSquelch::kSymbolsToLockBy);
    EXPECT_LE(v.lock_on, WeakSquelch::kHeldBack);
    EXPECT_TRUE(v.print.empty());
    EXPECT_FALSE(squelch.open());
}

TEST(WeakSquelch, AStrongSignalThatFadesIsHeldUntilItIsBackAndTheSwitchOffPrintsAll) {
    WeakSquelch squelch;
    squelch.restart();
    run(squelch, 25.0, 8, kIdle, true, nullptr, nullptr, 60.0, 40.0);
    ASSERT_TRUE(squelch.open());
    // Gone for two symbols (nothing above the noise), then back.
    EXPECT_TRUE(run(squelch, 25.0, 2, 5, true, nullptr, nullptr, 0.5, 40.0).empty());
    EXPECT_EQ(run(squelch, 25.0, 1, 6, true, nullptr, nullptr, 60.0, 40.0),
              (std::vector<uint8_t>{5, 5, 6}));
    // Gone for good: it closes, even where the statistic stays up (as beside a neighbour), so
    // that noise's rare loud symbol cannot print what was held long after the end.
    int closes = 0;
    EXPECT_TRUE(run(squelch, 3.0, 30, 5, true, nullptr, &closes, 0.5, 40.0).empty());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(squelch.open());

    // After a far stronger signal, a symbol noise could make (above 10) is not its return.
    WeakSquelch strong;
    strong.restart();
    run(strong, 25.0, 8, kIdle, true, nullptr, nullptr, 800.0, 400.0);
    EXPECT_TRUE(run(strong, 25.0, 2, 5, true, nullptr, nullptr, 0.5, 400.0).empty());
    EXPECT_TRUE(run(strong, 25.0, 1, 6, true, nullptr, nullptr, 15.0, 400.0).empty());
    EXPECT_EQ(run(strong, 25.0, 1, 7, true, nullptr, nullptr, 600.0, 400.0),
              (std::vector<uint8_t>{5, 5, 6, 7}));

    WeakSquelch off;
    off.restart();
    for (int i = 0; i < 5; ++i) {
        off.observe(0.5);
        EXPECT_EQ(off.step({9, 0.5, 0.0, 0.0}, false, false).print.size(), 1u);
    }
    EXPECT_FALSE(off.open());
}

// A tone (or pair) `df` Hz above where it is looked for, as baseband at 500 samples/s.
struct FrequencyCase {
    uint32_t speed;
    TonePair pair;
    double df_hz;
};

class WeakFrequency : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(WeakFrequency, TheErrorHasTheOffsetsSignAndTheLoopSettlesOnIt) {
    const FrequencyCase c = GetParam();
    WeakSymbols symbols;
    build_weak_symbols(symbols, c.speed);
    auto correlator = std::make_unique<WeakCorrelator>();
    correlator->reset(symbols);
    for (uint32_t m = 0; m < symbols.length; ++m) {
        std::complex<double> x;
        for (const int32_t tone : {c.pair.a, c.pair.b}) {
            const double hz = symbols.offset_hz[static_cast<std::size_t>(tone - 1)] + c.df_hz;
            x += std::polar(1000.0, 2.0 * std::numbers::pi * hz * m / kWeakRateHz);
        }
        correlator->push(std::complex<float>(x));
    }
    const double gap_s = weak_centroid_gap_s(symbols);
    WeakToneCorrelations tones;
    correlator->tones(0, 0.0, 0.0, tones);
    const double error = weak_frequency_error(tones.parts, c.pair, gap_s);
    EXPECT_NEAR(error, c.df_hz, 0.1 * std::abs(c.df_hz));

    WeakFrequencyLoop loop;
    loop.set(0.0);
    for (int i = 0; i < 60; ++i) {
        correlator->tones(0, 0.0, loop.offset_hz(), tones);
        loop.step(weak_frequency_error(tones.parts, c.pair, gap_s), 1.0, 30.0);
    }
    EXPECT_NEAR(loop.offset_hz(), c.df_hz, 0.05);
}

INSTANTIATE_TEST_SUITE_P(
    OffsetsAndPairs, WeakFrequency,
    ::testing::Values(FrequencyCase{2, {5, 5}, 1.5}, FrequencyCase{2, {5, 5}, -1.5},
                      FrequencyCase{1, {5, 5}, 0.4}, FrequencyCase{4, {5, 5}, -3.0},
                      FrequencyCase{2, {2, 8}, 1.0}, FrequencyCase{4, {1, 9}, 2.5}));

// The timing curve a symbol `off` samples after the tracked start draws: peaked there.
void add_symbol(WeakTimingLoop& loop, double off) {
    for (int j = 0; j < loop.shifts(); ++j)
        loop.add(j, 50.0 / (1.0 + (loop.shift(j) - off) * (loop.shift(j) - off)), 0.3, 1.0);
}

TEST(WeakTimingLoop, MovesTowardsAKnownTimingOffsetAndLearnsAClockDifference) {
    for (const double off : {1.7, -1.7, 3.0, -0.6}) {
        WeakTimingLoop loop;
        loop.restart(65);
        loop.forget_rate();
        const WeakTimingLoop::Gains gains = WeakTimingLoop::gains(10.0);
        double residual = off;
        for (int i = 0; i < 40; ++i) {
            add_symbol(loop, residual);
            const double correction = loop.step(loop.error(), gains, 1.0, 0.5, nullptr);
            if (i == 0) {
                EXPECT_GT(correction * off, 0.0) << off;
            }
            residual -= correction;
        }
        EXPECT_NEAR(residual, 0.0, 0.1) << off;
    }
    // Each symbol 0.2 samples longer than the nominal length: the loop learns that rate.
    WeakTimingLoop loop;
    loop.restart(65);
    double residual = 0.0;
    for (int i = 0; i < 200; ++i) {
        add_symbol(loop, residual);
        residual += 0.2 - loop.step(loop.error(), WeakTimingLoop::gains(10.0), 1.0, 0.5, nullptr);
    }
    // The averaged curve holds older symbols where they were, so the start follows a fraction
    // of a sample behind; it must not run away.
    EXPECT_NEAR(loop.rate(), 0.2, 0.02);
    EXPECT_NEAR(residual, 0.0, 1.0);
}

// The noise average follows a receiver's AGC step within two symbols, and a symbol that only
// scatters high is left out; so is a strong signal's skirt changing with what it sends.
TEST(WeakNoise, FollowsALevelStepAtOnceButAveragesAStraySymbol) {
    const auto noise_of = [](double level) {
        WeakBetweenTones between;
        between.fill(level);
        return between;
    };
    WeakNoise noise;
    noise.reset();
    for (int i = 0; i < 20; ++i)
        noise.measure(noise_of(1.0), 1.0);
    noise.measure(noise_of(5.0), 5.0); // 7 dB high, once
    EXPECT_EQ(noise.power(), 1.0);
    for (const double step : {1.0 / 30, 1.0 / 5}) { // 15 dB down at once; 7 dB, confirmed
        noise.measure(noise_of(step), step);
        noise.measure(noise_of(step), step);
        EXPECT_NEAR(noise.power(), step, step * 1e-6);
    }
    WeakNoise skirts;
    skirts.reset();
    for (int i = 0; i < 20; ++i)
        skirts.measure(noise_of(i % 2 ? 20.0 : 1.0), 1e5); // a loud signal, its level steady
    EXPECT_GT(skirts.power(), 2.0);
    EXPECT_LT(skirts.power(), 19.0);
}

// The noise away from the tones is what the models are weighed against: when the whole level
// steps (a receiver's AGC) it follows before the symbol is decided, but a strong signal coming
// on, which lifts its tones far more than the noise beside them, waits for the decision.
TEST(WeakNoise, TheNoiseAwayFromTheTonesFollowsAnAgcStepBeforeTheDecision) {
    const TonePair idle = kTonePairs[kIdleSymbol - 1];
    struct Case {
        double between; // the powers between the tones, after 20 symbols at 1
        double tones;   // the tones' mean power, likewise
        bool before;    // the step is taken before the decision
    };
    for (const Case c :
         {Case{30.0, 30.0, true}, Case{1.0 / 30, 1.0 / 30, true}, Case{10.0, 1000.0, false}}) {
        WeakNoise noise;
        noise.reset();
        WeakBetweenTones between;
        between.fill(1.0);
        const std::array<std::complex<float>, kToneCount> z{};
        for (int i = 0; i < 20; ++i) {
            noise.measure(between, 1.0);
            noise.follow_tone_noise(idle, between);
            noise.follow(idle, between, z, 1.0);
        }
        between.fill(c.between);
        noise.measure(between, c.tones);
        noise.follow_tone_noise(idle, between);
        EXPECT_EQ(noise.tone_noise() == c.between, c.before) << c.between << ", " << c.tones;
    }
}

// A signal a whole spacing above the tone set in use draws it up; a stronger station lighting
// two and three spacings above as well does not.
TEST(WeakAliasWatch, MovesOntoASignalASpacingOffButNotTowardANeighbour) {
    WeakSymbols symbols;
    build_weak_symbols(symbols, 4);
    uint32_t seed = 7;
    const auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return std::polar(1.0f, static_cast<float>(seed >> 8) * 3.7e-7f);
    };
    for (const bool neighbour : {false, true}) {
        WeakAliasWatch watch;
        watch.reset();
        int moved = 0;
        for (int n = 0; n < 60 && moved == 0; ++n) {
            // Places 0..14: three below tone 1, the nine tones, three above tone 9 (where the
            // signal's tone 9 sits at place 12, its tone 1 at place 4).
            std::array<std::complex<float>, 15> place{};
            for (auto& p : place)
                p = noise();
            const TonePair pair = kTonePairs[static_cast<std::size_t>(n % kSymbolCount)];
            const float amplitude = pair.a == pair.b ? 20.0f : 10.0f;
            place[static_cast<std::size_t>(3 + pair.a)] += amplitude;
            if (pair.b != pair.a) place[static_cast<std::size_t>(3 + pair.b)] += amplitude;
            if (neighbour)
                for (const std::size_t p : {13u, 14u})
                    place[p] += 30.0f * noise();
            std::array<std::complex<float>, kToneCount> z{};
            std::copy(place.begin() + 3, place.begin() + 12, z.begin());
            const WeakAliasWatch::Beyond beyond = {place[0],  place[1],  place[2],
                                                   place[12], place[13], place[14]};
            moved = watch.step(symbols, z, beyond, 1.0, true);
        }
        EXPECT_EQ(moved, neighbour ? 0 : 1) << "neighbour " << neighbour;
    }
}

TEST(WeakReceiver, PushCountsTheSymbolsItHadNoRoomFor) {
    rxtest::Transmission t;
    t.text = "CQ CQ DE G4ABC";
    const std::vector<int16_t> audio = rxtest::make_transmission(t);
    const WeakReceiver::Config config{.speed = 2, .centre_hz = 1000, .squelch = true};
    const std::size_t decided = rxtest::weak_copy(audio, config).symbols.size();
    ASSERT_GT(decided, 10u);

    auto rx = std::make_unique<WeakReceiver>();
    rx->reset(config);
    std::array<uint8_t, 3> out{};
    EXPECT_EQ(rx->push(audio, out), out.size());
    EXPECT_EQ(rx->dropped(), decided - out.size());
    rx->reset(config);
    EXPECT_EQ(rx->dropped(), 0u);
}

} // namespace
} // namespace quavel
