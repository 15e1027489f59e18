// How well a place fits a signal of this mode when a stronger station may lie just beside it.
// A trial frequency that reaches toward a neighbour catches the neighbour's nearest tones in its
// outer tone (1 or 9), and a signal's alias a whole spacing off catches the signal's own outer
// tone there: either way power goes on beyond the outer tone, where a signal's own edge leaves
// only noise. So the fit is kept four ways (all tones; without tone 9; without tone 1; without
// either), with the powers one and two spacings beyond each outer tone, and an outer tone with
// more than noise beyond it is left out of the fit. All running averages; nothing allocated.
#pragma once

#include <array>
#include <complex>

#include "modem/code_table.h"

namespace quavel {

class WeakEdgeFit {
public:
    // Ways of fitting: every tone, without the top one, without the bottom one, without both.
    enum Way { kAll = 0, kNoTop = 1, kNoBottom = 2, kInner = 3 };
    // Powers beyond the edges: two and one spacings below tone 1, tone 1 itself; tone 9, one and
    // two spacings above it.
    enum Slot { kBelow2 = 0, kBelow1, kBottom, kTop, kAbove1, kAbove2 };

    void reset() { *this = WeakEdgeFit{}; }

    // Moves the averages a `gain` (0..1] of the way toward one symbol's fits and powers; `slow`
    // is the gain for the powers, which want a longer memory than a fit.
    void add(const std::array<double, 4>& fits, const std::array<double, 6>& powers, double gain,
             double slow);

    // The fit, the outer tones left out that have more than `noise` (the noise power in a
    // correlation, as the powers are measured) beyond them; all of it while the noise is
    // unknown.
    double value(double noise) const;
    // Which way value() fits.
    Way way(double noise) const;
    // The averaged power beyond an edge, one or two spacings out (kBelow2 .. kAbove2).
    double power(Slot slot) const { return power_[static_cast<std::size_t>(slot)]; }

    // One symbol's tones `z` with the power two and one spacings beyond each edge
    // (`below2`, `below1`, `above1`, `above2`), as add() wants them.
    static std::array<double, 6> powers(const std::array<std::complex<float>, kToneCount>& z,
                                        std::complex<float> below2, std::complex<float> below1,
                                        std::complex<float> above1, std::complex<float> above2);
    // The four fits of one symbol under `metric`, a function of the nine tones.
    template <typename Metric>
    static std::array<double, 4> fits(std::array<std::complex<float>, kToneCount> z,
                                      const Metric& metric) {
        std::array<double, 4> out{};
        out[kAll] = metric(z);
        const std::complex<float> top = z.back();
        z.back() = {};
        out[kNoTop] = metric(z);
        z.front() = {};
        out[kInner] = metric(z);
        z.back() = top;
        out[kNoBottom] = metric(z);
        return out;
    }

private:
    std::array<float, 4> fit_{};
    std::array<float, 6> power_{};
};

} // namespace quavel
