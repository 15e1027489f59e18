// The weak-signal receiver's decision rule and search on waveforms built here: every symbol must
// win on its own waveform under every model, a pair turned against itself must still be read
// under the free-phase models, a pair whose tones part in amplitude and phase under the
// tone-by-tone model, which on noise alone must favour neither pairs nor single tones, and the
// search must find a signal where it was put, leaving out an outer tone with power beyond it.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "modem/code_table.h"
#include "rx/weak_edges.h"
#include "rx/weak_search.h"
#include "rx/weak_symbols.h"

namespace quavel {
namespace {

// The baseband of symbol `symbol` (its second tone turned by `turn_rad`) starting at `start`
// within `length` samples, `offset_hz` above the tuned centre.
std::vector<std::complex<float>> baseband(const WeakSymbols& s, uint32_t symbol, double turn_rad,
                                          std::size_t start, std::size_t length,
                                          double offset_hz = 0.0, double second_gain = 1.0) {
    std::vector<std::complex<float>> x(length);
    const TonePair pair = kTonePairs[symbol - 1];
    for (std::size_t n = start; n < length; ++n) {
        const std::size_t m = (n - start) % s.length;
        auto tone = [&](int t, double extra) {
            const double w = 2.0 * std::numbers::pi *
                             (s.offset_hz[static_cast<std::size_t>(t - 1)] + offset_hz) / 500.0;
            return std::polar(1.0, w * static_cast<double>(m) + extra);
        };
        x[n] = std::complex<float>(0.5 * s.pulse[m] *
                                   (tone(pair.a, 0.0) + second_gain * tone(pair.b, turn_rad)));
    }
    return x;
}

WeakParts correlate(const WeakSymbols& s, const std::vector<std::complex<float>>& x) {
    WeakParts parts{};
    for (std::size_t t = 0; t < kToneCount; ++t) {
        const double w = 2.0 * std::numbers::pi * s.offset_hz[t] / 500.0;
        for (uint32_t m = 0; m < s.length; ++m)
            parts[kWeakParts * m / s.length][t] += std::complex<float>(
                std::complex<double>(x[m]) * std::polar(double(s.pulse[m]), -w * m));
    }
    return parts;
}

// Levels for the tone-by-tone model: a single tone `snr` times the noise in its correlation.
WeakLevels levels_at(const WeakSymbols& s, double snr) {
    // A single tone of amplitude 1 puts |z|^2 / ||p||^2 = ||p||^2 in its correlation.
    return {s.pulse_energy / snr, snr};
}

TEST(WeakSymbols, EverySymbolWinsOnItsOwnWaveformUnderEveryModel) {
    for (const uint32_t speed : kSpeedValues) {
        WeakSymbols s;
        build_weak_symbols(s, speed);
        for (uint32_t symbol = 1; symbol <= kSymbolCount; ++symbol) {
            const WeakParts parts = correlate(s, baseband(s, symbol, 0.0, 0, s.length));
            for (int model = 0; model < kWeakModels; ++model)
                EXPECT_EQ(
                    decide_symbol(s, static_cast<WeakModel>(model), parts, levels_at(s, 100.0))
                        .symbol,
                    symbol)
                    << "speed " << speed << ", model " << model;
        }
    }
}

TEST(WeakSymbols, APairTurnedAgainstItselfIsStillReadWithAFreePhase) {
    // A second path turns one tone of a pair against the other; at half a turn the locked sum
    // cancels and the pair reads as something else.
    WeakSymbols s;
    build_weak_symbols(s, 4);
    for (const uint32_t symbol : {10u, 21u, 45u}) { // (3, 7), (1, 9), (2, 7)
        const WeakParts parts = correlate(s, baseband(s, symbol, std::numbers::pi, 0, s.length));
        EXPECT_NE(decide_symbol(s, WeakModel::Locked, parts).symbol, symbol);
        EXPECT_EQ(decide_symbol(s, WeakModel::FreeHalves, parts).symbol, symbol);
        EXPECT_EQ(decide_symbol(s, WeakModel::FreeQuarters, parts).symbol, symbol);
    }
}

TEST(WeakSymbols, APairPartedInAmplitudeAndPhaseIsReadToneByTone) {
    // A second path across the wide tone set leaves one tone of a pair weaker than the other and
    // turned against it: the locked sum then reads the stronger tone alone.
    WeakSymbols s;
    build_weak_symbols(s, 4);
    struct Case {
        uint32_t symbol;
        double turn_rad;
        double second_gain;
    };
    for (const Case c : {Case{10, 2.6, 0.5}, Case{21, std::numbers::pi, 0.6}, Case{45, 2.2, 0.4}}) {
        const WeakParts parts =
            correlate(s, baseband(s, c.symbol, c.turn_rad, 0, s.length, 0.0, c.second_gain));
        EXPECT_NE(decide_symbol(s, WeakModel::Locked, parts).symbol, c.symbol);
        EXPECT_EQ(decide_symbol(s, WeakModel::ToneByTone, parts, levels_at(s, 100.0)).symbol,
                  c.symbol)
            << "symbol " << c.symbol;
    }
}

TEST(WeakSymbols, ToneByToneOnNoiseLetsNeitherPairsNorSingleTonesAlwaysWin) {
    // On noise alone the winners must spread over both kinds at the levels the receiver believes
    // near its threshold: without the penalty the pairs, which collect noise in two tones, would
    // always win; with too heavy a penalty or too light a pair weight the single tones would.
    // (The likelihood does lean to single tones, the more the stronger the signal expected.)
    WeakSymbols s;
    build_weak_symbols(s, 4);
    std::mt19937_64 random(7);
    std::normal_distribution<double> gaussian;
    const double sigma = std::sqrt(s.pulse_energy / kWeakParts / 2.0); // per quarter, per axis
    for (const double snr : {1.0, 10.0, 100.0}) {
        const WeakLevels levels{1.0, snr};
        int single = 0;
        constexpr int kTrials = 4000;
        for (int trial = 0; trial < kTrials; ++trial) {
            WeakParts parts{};
            for (auto& part : parts)
                for (auto& z : part)
                    z = std::complex<float>(
                        std::complex<double>(sigma * gaussian(random), sigma * gaussian(random)));
            const TonePair won =
                kTonePairs[decide_symbol(s, WeakModel::ToneByTone, parts, levels).symbol - 1];
            if (won.a == won.b) ++single;
        }
        const double share = double(single) / kTrials;
        EXPECT_GT(share, 0.02) << "snr " << snr;
        EXPECT_LT(share, 0.9) << "snr " << snr;
    }
}

TEST(WeakSearch, FindsTheStartAndTheFrequencyUpToTheAlignmentOfARepeatedSymbol) {
    WeakSymbols s;
    build_weak_symbols(s, 2);
    WeakSearch search;
    search.reset(s);
    const std::size_t start = 5 * search.hop() + 3; // between two trial starts
    const double offset_hz = 11.0;
    const auto x = baseband(s, 29, 0.0, start, 8 * s.length, offset_hz); // (4, 7)
    for (std::size_t end = s.length; end <= x.size(); end += search.hop()) {
        const auto trial =
            static_cast<int>(((end - s.length) / search.hop()) % WeakSearch::kStarts);
        search.process(std::span(x).subspan(end - s.length, s.length), trial);
    }
    const WeakSearch::Peak peak = search.peak();
    EXPECT_NEAR(peak.start_fraction * search.hop(), double(start), search.hop() / 2.0);
    // One symbol repeated fits the tone set a whole spacing either way as well: the search finds
    // the frequency up to the alignment, which the lock settles on more varied symbols.
    const double found_hz = peak.frequency_fraction * search.bin_hz();
    EXPECT_NEAR(std::remainder(found_hz - offset_hz, s.spacing_hz), 0.0, search.bin_hz());
}

// An outer tone is left out of the fit for power beyond it above the noise, but not for what a
// strong one of the signal's own spills a spacing out (some 30 dB under it).
TEST(WeakEdgeFit, LeavesOutAnOuterToneWithPowerBeyondButNotForItsOwnSpill) {
    struct Case {
        double bottom; // power in tone 1
        double below1; // one spacing below it
        WeakEdgeFit::Way way;
    };
    constexpr double kNoise = 1.0;
    for (const Case c :
         {Case{1e5, 1e5 / 700, WeakEdgeFit::kAll}, Case{1e5, 1e4, WeakEdgeFit::kNoBottom},
          Case{0.0, 5.0, WeakEdgeFit::kNoBottom}, Case{10.0, 1.0, WeakEdgeFit::kAll}}) {
        WeakEdgeFit edges;
        edges.add({1.0, 1.0, 1.0, 1.0}, {0.0, c.below1, c.bottom, 1.0, 0.0, 0.0}, 1.0, 1.0);
        EXPECT_EQ(edges.way(kNoise), c.way) << c.bottom << " in tone 1, " << c.below1 << " below";
    }
}

} // namespace
} // namespace quavel
