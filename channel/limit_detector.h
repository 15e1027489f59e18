// The limit detector: how well a symbol-by-symbol decision can possibly do on this format, the
// yardstick beyond the ideal detector (ideal_detector.h). Beside what that one is told (where
// every symbol starts and on which frequency the tones lie) it is told the signal's level and
// what the channel did to its phase: everything but the noise.
//
// Decision rule. A channel that is known turns symbol k into a known waveform y_k, and in white
// Gaussian noise of variance s2 the likelihood picks the k with the largest
//     (<r, y_k> - ||y_k||^2 / 2) / s2,
// the coherent correlation less half the symbol's energy. Unlike the ideal detector's rule, a
// single tone a no longer scores 0.707 of the pair (a, b): the pair is told apart by its known
// amplitude and by the second tone's known phase. With y_t the received waveform of tone t at full
// amplitude, y_k = (y_a + y_b) / 2 (y_a for a single tone), so nine correlations <r, y_t> and the
// 45 products <y_a, y_b> give every metric.
//
// What it is told of the channel (KnownChannel). The transmitter sends tone t of a symbol as
// A p[j] sin(w_t j), the real part of x_t[j] = -i A p[j] e^{i w_t j}; the channel simulator fades
// the analytic signal, shifts it and keeps the real part (channel.h), so
//     y_t[n] = Re(e^{i W n} (c1[n] x_t[n] + c2[n] x_t[n - d]))
// with W the shift's step (its phase 0 at the recording's first sample) and c1, c2 the fading
// taps with the path gain. Without fading c1 = 1 and c2 = 0: the level and the shift are all there
// is to know, the channel's phase is exactly known. With fading the detector is given the
// simulation's own taps sample by sample (channel_fading_taps()): a genie, not a receiver. No
// phase reference a receiver could carry over a few symbols comes near it once the phase moves
// within a few symbols; it shows what is left to win, not what a receiver will win.
//
// Neglected, each far below the noise: the delayed path carries the last d samples of a symbol
// into the next (d is 4 to 16 samples on the presets, where the pulse shape is within 1e-3 of
// zero), and the channel's Hilbert transformer sees the pulse shape's slow edges, so the
// analytic symbol is not exactly p e^{i w j}. A delay that is not a whole number of samples is
// taken to the nearest one.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "channel/fading.h"
#include "modem/code_table.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

struct KnownChannel {
    double amplitude = 30000.0;  // peak of a single-tone symbol as it enters the channel (> 0)
    double noise_variance = 1.0; // per sample, of the received samples (> 0)
    double shift_hz = 0.0;       // the channel's frequency shift
    // The channel's fading taps, indexed by the recording's sample number; none: no fading. Not
    // owned: it must outlive the detector.
    const FadingTaps* fading = nullptr;
};

class LimitDetector {
public:
    // `profile`: the profile the signal was sent with; `centre_hz`: the transmitter's centre.
    // Without fading and shift the received tones are built here, once.
    LimitDetector(const SpeedProfile& profile, uint32_t centre_hz, const KnownChannel& channel);

    uint32_t symbol_length() const { return N_; }

    // The metric of each of the 45 symbols (index symbol number - 1) for the symbol whose first
    // sample is samples[start] (start + N <= samples.size(); the taps must cover it too).
    void score(std::span<const int16_t> samples, std::size_t start,
               std::span<double, kSymbolCount> metric) const;

    // The symbol number 1..45 with the largest metric (the lower number on equal metrics).
    uint32_t detect(std::span<const int16_t> samples, std::size_t start) const;

    // Every whole symbol of `samples` from `first_sample` on, one every N samples.
    std::vector<uint32_t> detect_all(std::span<const int16_t> samples,
                                     std::size_t first_sample) const;

private:
    // The nine received tones (at [t * N + j]) and their products (at [a * kToneCount + b], a <=
    // b) for the symbol starting at sample `start`.
    struct Tones {
        std::vector<double> waveform;
        std::vector<double> products;
    };
    void build_tones(std::size_t start, Tones& tones) const;
    void score_with(std::span<const int16_t> samples, std::size_t start, const Tones& tones,
                    std::span<double, kSymbolCount> metric) const;
    bool fixed_tones() const { return channel_.fading == nullptr && channel_.shift_hz == 0.0; }

    uint32_t N_ = 0;
    KnownChannel channel_;
    std::size_t delay_samples_ = 0;
    // Row t: p[j] e^{i w_t j}, the transmitter's own phase steps.
    std::vector<std::complex<double>> reference_;
    Tones fixed_; // when fixed_tones()
};

} // namespace quavel::channel
