// The weak-signal receiver's decision by a known level: on scripted correlations, a pair and its
// first tone alone are told apart where the energy-normalised metric takes one for the other, the
// decision falls back to that metric without a level, and the level counts as held on a steady
// signal but not on a fading one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "modem/code_table.h"
#include "rx/weak_noise.h"
#include "rx/weak_symbols.h"

namespace quavel {
namespace {

uint32_t symbol_of(int a, int b) {
    for (uint32_t k = 0; k < kSymbolCount; ++k)
        if (kTonePairs[k] == TonePair{a, b}) return k + 1;
    return 0;
}

TEST(WeakKnownLevel, LogBesselI0MatchesTheLibrary) {
    for (const double x : {0.0, 0.1, 1.0, 3.7, 3.8, 10.0, 40.0, 300.0, 2000.0}) {
        const double expected = x < 500.0 ? std::log(std::cyl_bessel_i(0.0, x))
                                          : x - 0.5 * std::log(2.0 * std::numbers::pi * x);
        EXPECT_NEAR(log_bessel_i0(x), expected, 1e-6 * std::max(1.0, expected)) << x;
    }
}

// Tone a at `gain_a`, tone b at `gain_b` (in phase, in units of a single tone's amplitude) at a
// single tone's SNR of `snr` in its correlation; the noise power is 1 per sample.
TEST(WeakKnownLevel, TellsAPairFromItsFirstToneWhereTheNormalisedMetricErs) {
    struct Case {
        const char* name;
        int a, b; // the tones lit
        double gain_a, gain_b;
        int sent_a, sent_b; // the symbol sent
    };
    constexpr double kSnr = 20.0;
    for (const uint32_t speed : kSpeedValues) {
        WeakSymbols s;
        build_weak_symbols(s, speed);
        for (const Case& c : {
                 // A single tone with noise lifting a second one by 0.45 of its amplitude.
                 Case{"single, noise on a neighbour", 3, 4, 1.0, 0.45, 3, 3},
                 Case{"single, noise far off", 2, 8, 1.0, 0.45, 2, 2},
                 // A pair (each tone half the amplitude) whose second tone sank to 0.3 of it.
                 Case{"pair, second tone faded", 4, 7, 0.5, 0.15, 4, 7},
                 Case{"pair, first tone faded", 1, 5, 0.15, 0.5, 1, 5},
             }) {
            const double amplitude = std::sqrt(kSnr * s.pulse_energy);
            std::array<std::complex<float>, kToneCount> z{};
            z[static_cast<std::size_t>(c.a - 1)] = static_cast<float>(c.gain_a * amplitude);
            z[static_cast<std::size_t>(c.b - 1)] = static_cast<float>(c.gain_b * amplitude);
            const uint32_t sent = symbol_of(c.sent_a, c.sent_b);
            ASSERT_NE(sent, 0u) << c.name;
            EXPECT_NE(decide_symbol(s, z).symbol, sent) << c.name << ", speed " << speed;
            const WeakLevels levels{1.0, kSnr, kSnr};
            const WeakDecision known = decide_known_level(s, z, levels);
            EXPECT_EQ(known.symbol, sent) << c.name << ", speed " << speed;
            EXPECT_GT(known.best - known.second, 0.5) << c.name << ", speed " << speed;
            // Without a held level it decides as the normalised metric does.
            EXPECT_EQ(decide_known_level(s, z, WeakLevels{1.0, kSnr, 0.0}).symbol,
                      decide_symbol(s, z).symbol)
                << c.name << ", speed " << speed;
        }
    }
}

// Symbols of a single tone's SNR `snr` over unit noise, each tone's energy scripted exactly.
double held_after(WeakNoise& noise, const WeakSymbols& s, int symbols, double (*snr)(int)) {
    WeakBetweenTones between;
    between.fill(1.0);
    for (int n = 0; n < symbols; ++n) {
        const uint32_t symbol = static_cast<uint32_t>(n % kSymbolCount) + 1;
        const TonePair pair = kTonePairs[symbol - 1];
        const double tone_snr = pair.a == pair.b ? snr(n) : snr(n) / 4.0;
        std::array<std::complex<float>, kToneCount> z{};
        for (int t = 1; t <= kToneCount; ++t) {
            const double lit = t == pair.a || t == pair.b ? tone_snr : 0.0;
            z[static_cast<std::size_t>(t - 1)] =
                static_cast<float>(std::sqrt((1.0 + lit) * s.pulse_energy));
        }
        noise.levels();
        noise.follow(pair, between, z, s.pulse_energy);
    }
    return noise.levels().steady_snr;
}

TEST(WeakKnownLevel, HoldsASteadyLevelButNotAFadingOne) {
    WeakSymbols s;
    build_weak_symbols(s, 4);
    WeakNoise noise;
    noise.reset();
    EXPECT_EQ(held_after(noise, s, 8, [](int) { return 20.0; }), 0.0); // too few yet
    EXPECT_NEAR(held_after(noise, s, 40, [](int) { return 20.0; }), 20.0, 0.5);
    noise.restart_level();
    EXPECT_EQ(noise.levels().steady_snr, 0.0);
    // Fading: the level swinging 13 dB every three symbols.
    EXPECT_EQ(held_after(noise, s, 60, [](int n) { return n / 3 % 2 ? 40.0 : 2.0; }), 0.0);
    // Held, but too weak to know.
    noise.restart_level();
    EXPECT_EQ(held_after(noise, s, 40, [](int) { return 1.0; }), 0.0);
}

} // namespace
} // namespace quavel
