// What the parts of the weak-signal receiver's decision share about one decided symbol: how far
// its winner stands above the runner-up in noise powers, how much a symbol that clear may move
// the loops, and how far apart a pair's tones lie.
#pragma once

#include <algorithm>
#include <cstdint>

#include "modem/code_table.h"
#include "rx/weak_symbols.h"

namespace quavel {

// The statistic is (best - second best metric) / noise power. On noise alone it stays near 1; a
// signal that copies at all puts it, averaged over a few symbols, well above kWeakClear.
inline constexpr double kWeakStatisticCap = 30.0;
inline constexpr double kWeakClear = 4.0;

// The statistic of `d` against `noise` (noise power per baseband sample; 0 before any is known,
// which gives 0).
inline double weak_statistic(const WeakDecision& d, double noise) {
    return noise > 0.0 ? std::min((d.best - d.second) / noise, kWeakStatisticCap) : 0.0;
}

// How much a symbol of that statistic moves the loops and averages: 0 for none, towards 1.
inline double weak_weight(double statistic) {
    return statistic / (statistic + 4.0);
}

// Tone spacings between a symbol's two tones (0 for a single tone); `symbol` is 1..45.
inline int weak_spread(uint32_t symbol) {
    const TonePair pair = kTonePairs[symbol - 1];
    return pair.b - pair.a;
}

// A wide pair: its tones turn apart within a sample of a start off, so it shows the timing.
inline constexpr int kWeakWide = 3; // spacings between its tones, at least

// A station with nothing to send fills the air with the idle symbol, tone 5 alone, and that is
// what a transmission starts with. Among the alignments of the tone set a whole spacing apart,
// which fit a single tone equally well, the one that reads it as the idle symbol is the likely
// one; a small bonus says so, and the outer tones of the text outweigh it once they come.
inline double weak_idle_favoured(const WeakDecision& d) {
    constexpr double kIdleBonus = 0.1;
    return d.symbol == kIdleSymbol ? d.best * (1.0 + kIdleBonus) : d.best;
}

} // namespace quavel
