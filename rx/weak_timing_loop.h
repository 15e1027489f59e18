// The weak-signal receiver's symbol timing. Both tones of a pair start at phase 0, so a start `d`
// samples off turns the upper tone against the lower by (w_b - w_a) d and the pair's metric
// falls; the pulse no longer fits either. The best symbol's metric at starts every half sample up
// to a trial start of the search either side of the tracked one, averaged over the last symbols,
// peaks where the symbols start: wide pairs make the peak sharp, narrow ones and the pulse keep
// it unique. A second-order loop moves the start towards the peak and learns the sample-clock
// difference between the stations, so that it follows one without a standing lag.
#pragma once

#include <array>

#include "rx/weak_search.h"
#include "rx/weak_symbols.h"

namespace quavel {

class WeakTimingLoop {
public:
    // Starts half a sample apart over a trial start of the search either side of the tracked
    // one: +-32 baseband samples at speed 1, +-8 at speed 4.
    static constexpr int kMaxShifts = 4 * kWeakMaxSymbolSamples / WeakSearch::kStarts + 1;
    static constexpr double kStep = 0.5; // baseband samples between shifts

    // How fast the curve forgets and how much of its error the loop takes, per symbol of full
    // weight. A strong signal times itself precisely and the loop may follow it quickly, as a
    // sample-clock error needs it to at the slow speeds, where it moves the boundary most per
    // symbol: `strength` is the best metric over the noise power.
    struct Gains {
        double memory = 0.0;
        double gain = 0.0;
        double rate_gain = 0.0;
    };
    static Gains gains(double strength);

    // A new curve over `shifts` starts (odd, at most kMaxShifts), centred on the tracked one.
    void restart(int shifts) {
        curve_.fill(0.0);
        shifts_ = shifts;
    }
    // No sample-clock difference known.
    void forget_rate() { rate_ = 0.0; }

    int shifts() const { return shifts_; }
    int centre() const { return shifts_ / 2; }
    // Shift `j`'s start after the tracked one, in baseband samples.
    double shift(int j) const { return (j - shifts_ / 2) * kStep; }

    // One symbol's value (best metric / noise) at shift j, weighted by its confidence (0..1).
    void add(int j, double value, double memory, double weight) {
        auto& c = curve_[static_cast<std::size_t>(j)];
        c += memory * weight * (value - c);
    }

    // Where the curve peaks, in baseband samples after the tracked start. A peak at the curve's
    // edge says only that the timing is far off, not by how much.
    struct Error {
        double samples = 0.0;
        bool at_edge = false;
    };
    Error error() const;

    // Learns the clock rate from `error` (not from a peak at the edge; within +-`rate_limit`
    // samples per symbol), moves the curve with the correction and returns the correction: the
    // rate and `snap_to` where the symbol was taken at a start that fits clearly better, else
    // the rate and a part of the error.
    double step(const Error& error, const Gains& gains, double weight, double rate_limit,
                const double* snap_to);

    // Baseband samples per symbol beyond the nominal length.
    double rate() const { return rate_; }
    double value(int j) const { return curve_[static_cast<std::size_t>(j)]; }

private:
    std::array<double, kMaxShifts> curve_{}; // best metric / noise at each shift, averaged
    int shifts_ = kMaxShifts;                // in use
    double rate_ = 0.0;
};

// After a run of single tones and narrow pairs the timing may be off by up to half a lobe of the
// widest pair; until a few wide pairs have set it again, a symbol that fits clearly better at a
// start nearby may be taken there, and the timing moved to it.
class WeakTimingDoubt {
public:
    // In doubt until a few wide pairs come (after a lock).
    void restart();
    bool active() const { return doubt_ > 0; }
    // How far from the tracked start (baseband samples) a symbol may be taken while in doubt.
    static double reach(const WeakSymbols& symbols);
    // Whether `snapped`, the best decision within reach at `shift` from the tracked start, fits
    // so much better than the tracked start's best metric `centre_best` that it is taken there.
    static bool snaps(const WeakDecision& snapped, double shift, double centre_best, double noise);
    // Counts the decided symbol of statistic `statistic`.
    void count(uint32_t symbol, double statistic);

private:
    int doubt_ = 0;      // wide pairs still to come before the timing is trusted again
    int narrow_run_ = 0; // single tones and narrow pairs in a row
};

} // namespace quavel
