// The weak-signal receiver's frequency tracking: a second-order loop on how far each decided
// symbol's tones turn from its first half to its second (so that it also follows a drifting
// signal without a standing lag), and a watch on the tone set's alignments a whole spacing
// either side, which fit the idle tone and few outer tones almost as well as the true one.
#pragma once

#include <array>
#include <complex>

#include "modem/code_table.h"
#include "rx/weak_symbols.h"

namespace quavel {

// Seconds between the weighted centres of the pulse's two halves at `symbols`' speed.
double weak_centroid_gap_s(const WeakSymbols& symbols);

// How far (in Hz) the symbol's tones `pair` run above the frequency they were correlated at, by
// how they turn from the symbol's first half to its second, each tone on its own (a second path
// may turn one against the other). Within +-1 / (2 gap) Hz.
double weak_frequency_error(const WeakParts& parts, TonePair pair, double centroid_gap_s);

class WeakFrequencyLoop {
public:
    // Tone 5 at `offset_hz` above the front end's reference, no drift.
    void set(double offset_hz) {
        offset_hz_ = offset_hz;
        drift_hz_ = 0.0;
    }
    // A move of the tone set as a whole (an alignment found better); the drift stays.
    void move_by(double hz) { offset_hz_ += hz; }

    // One symbol's error (weak_frequency_error), weighted by its confidence (0..1): the drift
    // follows slowly, the offset by a quarter of the error and the drift, kept within
    // +-`limit_hz`.
    void step(double error_hz, double weight, double limit_hz);

    double offset_hz() const { return offset_hz_; }
    double drift_hz() const { return drift_hz_; } // per symbol

private:
    double offset_hz_ = 0.0; // tone 5's frequency above the front end's reference
    double drift_hz_ = 0.0;  // per symbol
};

// With only the idle tone or few outer tones on the air, the nine tones fit a whole spacing
// higher or lower almost as well: it keeps scoring both neighbours against the alignment in use,
// averaged over the last symbols by their confidence, and says when one fits clearly better.
// A move is never made toward power that goes on two and three spacings beyond the outer tone
// of the alignment moved to: a signal a spacing off has only noise there, a stronger station just
// beside the band lights those as it lights the outer tone, and must not draw the tone set on.
class WeakAliasWatch {
public:
    // Correlations beyond the outer tones: three, two and one spacings below tone 1, then one,
    // two and three above tone 9.
    using Beyond = std::array<std::complex<float>, 6>;

    // No preference yet (after a lock or a move).
    void reset();

    // One symbol: its nine tones `z` and the correlations beyond them, all at the symbol's start;
    // `open`: the squelch is open (a move then needs more). Returns the whole spacings to move
    // the tone set by: -1, 0 or +1.
    int step(const WeakSymbols& symbols, const std::array<std::complex<float>, kToneCount>& z,
             const Beyond& beyond, double weight, bool open);

private:
    // Lower, in use, higher, each relative to the one in use.
    std::array<double, 3> fit_{1.0, 1.0, 1.0};
    // The powers three and two spacings below tone 1, two and three above tone 9, averaged.
    // The quieter of the outermost is the noise: whichever alignment is right, one of them lies
    // two spacings or more beyond the signal.
    std::array<double, 4> far_{};
    double evidence_ = 0.0; // the symbols' weights since the reset
};

} // namespace quavel
