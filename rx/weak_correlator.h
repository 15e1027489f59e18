// The weak-signal receiver's baseband history and its matched filters: the ring of the last 16
// symbols (at speed 1) of 500 samples/s baseband, and the correlations of a symbol-long stretch
// of it with the pulse at any trial frequency. The tracker, the lock and the search's window all
// read the audio through it. Allocation-free: the ring is a member (it is large: keep the owner
// on the heap).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

#include "rx/weak_symbols.h"

namespace quavel {

// One symbol's nine tone correlations, whole and by quarters, at the tracked start and
// frequency; `w` is each tone's frequency in radians per baseband sample.
struct WeakToneCorrelations {
    WeakParts parts{};
    std::array<std::complex<float>, kToneCount> z{};
    std::array<double, kToneCount> w{};
};

// The powers at the ten trial frequencies half-way between the tones and half a spacing beyond
// the outer ones, per unit of pulse energy: where a symbol's own tones leave (almost) nothing.
using WeakBetweenTones = std::array<double, kToneCount + 1>;

class WeakCorrelator {
public:
    static constexpr uint32_t kRingSamples = 16 * kWeakMaxSymbolSamples; // 16 symbols at speed 1

    // Empties the ring; correlates with `symbols`' pulse (which must outlive this object's use).
    void reset(const WeakSymbols& symbols);

    // Takes a steady line out of the newest `span` samples, `amplitude` in the newest and
    // turning by `omega` radians a sample; with `forget_older`, zeroes what lies before them.
    void remove_line(std::complex<double> amplitude, double omega, uint32_t span,
                     bool forget_older);

    void push(std::complex<float> x) {
        ring_[static_cast<std::size_t>(received_) % kRingSamples] = x;
        ++received_;
    }
    // Baseband samples so far.
    int64_t received() const { return received_; }
    // A sample by its count since the reset; only the last kRingSamples are held.
    const std::complex<float>& at(int64_t index) const {
        return ring_[static_cast<std::size_t>(index) % kRingSamples];
    }

    // The correlation with the pulse turned to `offset_hz` (above the front end's reference) of
    // the pulse's samples from..to-1 of a symbol starting at `start`.
    std::complex<double> correlate(int64_t start, double offset_hz, uint32_t from,
                                   uint32_t to) const;

    // The tones of the symbol `fraction` (0..1) of a sample after `start`, tone 5 at `offset_hz`:
    // over so short a shift the pulse hardly moves, but each tone turns by its own frequency.
    void tones(int64_t start, double fraction, double offset_hz, WeakToneCorrelations& out) const;
    // The nine whole-symbol correlations at a whole-sample start, unturned.
    void tones_at(int64_t start, double offset_hz,
                  std::array<std::complex<float>, kToneCount>& out) const;
    void between_tones(int64_t start, double offset_hz, WeakBetweenTones& out) const;

private:
    const WeakSymbols* symbols_ = nullptr;
    std::array<std::complex<float>, kRingSamples> ring_{};
    int64_t received_ = 0;
};

} // namespace quavel
