// The weak-signal receiver's search for where a signal lies: over start times spread across one
// symbol and frequencies within +-24 Hz of the reference, it keeps a running average of the best
// symbol metric found at each (start, frequency). Sixteen times a symbol it takes the last symbol
// length of baseband, weights it with the pulse, and one zero-padded FFT gives every tone at
// every trial frequency (a quarter of 1/T apart) for that start; each start is therefore
// revisited once a symbol. A signal piles up at its own start and frequency over a few symbols
// while noise spreads evenly, so the peak gives both to the tracker, and the same table tells
// the tracker when a signal elsewhere has grown stronger than the one it follows. Each place's
// average leaves out an outer tone whose power goes on beyond it (WeakEdgeFit), so a trial
// frequency that reaches onto a stronger station beside the band, or onto a signal's alias, does
// not outscore the signal.
// Allocation-free after construction.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <span>

#include "rx/weak_edges.h"
#include "rx/weak_fft.h"
#include "rx/weak_symbols.h"

namespace quavel {

class WeakSearch {
public:
    static constexpr int kStarts = 16;          // trial starts per symbol
    static constexpr double kRangeHz = 24.0;    // trial frequencies within +-kRangeHz
    static constexpr int kMaxFrequencies = 201; // at speed 1: 24 Hz / 0.244 Hz each side

    // Forgets everything; sizes the search for `symbols` (which must outlive this object's use).
    void reset(const WeakSymbols& symbols);

    uint32_t hop() const { return hop_; }             // baseband samples between trial starts
    double bin_hz() const { return bin_hz_; }         // between trial frequencies
    int frequencies() const { return 2 * half_ + 1; } // trial frequencies
    int half() const { return half_; }

    // Scores the symbol-long window starting at trial start `start` (0..kStarts-1) for every
    // trial frequency. `window` holds one symbol length of baseband.
    void process(std::span<const std::complex<float>> window, int start);

    // Every trial start has been scored this many times (the smallest count).
    uint32_t rounds() const { return rounds_; }

    struct Peak {
        int start = 0;               // 0..kStarts-1
        int frequency = 0;           // -half..half
        double value = 0.0;          // the running average there
        double start_fraction = 0.0; // refined start, in trial starts (may be < 0 or >= kStarts)
        double frequency_fraction = 0.0; // refined frequency, in trial frequencies
    };
    // The largest running average; between near-equal values the one nearer the reference.
    Peak peak() const;

    // The largest running average within one trial start and `reach` trial frequencies of
    // (start, frequency), starts taken around the symbol.
    double near(int start, int frequency, int reach = 2) const;

    // The running average's value at a trial start and frequency.
    double value(int start, int frequency) const;

private:
    const WeakSymbols* symbols_ = nullptr;
    WeakFft fft_;
    uint32_t hop_ = 16;
    uint32_t fft_size_ = 1024;
    double bin_hz_ = 0.5;
    int half_ = 48;
    std::array<int, kToneCount> tone_bin_{}; // each tone's FFT bin at the reference
    std::array<int, 4> beyond_bin_{};        // two and one spacings below tone 1, above tone 9
    std::array<std::complex<float>, WeakFft::kMaxSize> spectrum_{};
    std::array<std::array<WeakEdgeFit, kMaxFrequencies>, kStarts> average_{};
    std::array<uint32_t, kStarts> count_{};
    std::array<uint32_t, kStarts> long_count_{}; // the same for the powers' longer memory
    std::array<double, kStarts> noise_{};        // noise power in a bin, per trial start
    std::array<float, kMaxFrequencies> scratch_{};
    uint32_t rounds_ = 0;
};

} // namespace quavel
