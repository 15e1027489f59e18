// The reference detector the receiver is measured against: a yardstick, not part of the receive
// chain. It is told what the receiver has to find out for itself (where every symbol starts and
// on which frequency the tones lie) and decides each symbol the best way one can when the
// channel leaves the symbol with an unknown phase and an unknown amplitude.
//
// Decision rule. A symbol k sounds tones a and b (a == b for a single tone), both starting at
// phase 0 and shaped by the pulse shape p: s_k[j] = p[j] (sin(w_a j) + sin(w_b j)) / 2. Its
// analytic version u_k[j] = p[j] (e^{i w_a j} + e^{i w_b j}) / 2 carries s_k in its imaginary part
// and the quadrature (Hilbert) version of the whole symbol in its real part, the two tones' phases
// locked together as the transmitter makes them. A channel that turns the symbol by an unknown
// phase and scales it by an unknown gain leaves r = Re(g u_k) + noise; the likelihood maximised
// over the complex gain g picks the k with the largest
//     |<r, u_k>|^2 / ||u_k||^2 = (<r, Re u_k>^2 + <r, Im u_k>^2) / ||u_k||^2,
// the noncoherent correlation |<r, s_k>|^2 + |<r, s^_k>|^2 with every symbol's reference brought
// to the same energy. The normalisation matters: a single-tone symbol carries twice the energy of
// a two-tone one, and the unnormalised metric would favour the nine single tones whenever noise
// adds to them. With <r, u_k> = (z_a + z_b) / 2 and z_t = sum_j r[j] p[j] e^{-i w_t j}, nine
// correlations per symbol give all 45 metrics.
//
// The phase steps are the transmitter's own (the tone frequency times 6.2831852 / 8000, rounded to
// a 32-bit float), plus the exact step of a frequency shift the channel is known to have added.
//
// Fast fading. The rule above assumes the gain holds still for a whole symbol. When the channel's
// Doppler spread turns the phase within a symbol, the detector can be told to take the symbol in
// `segments` equal parts, each with its own unknown gain: the metric is then the sum over the
// parts of |<r, u_k>|^2 / ||u_k||^2 taken over each part alone (noncoherent combining). One part
// is best on a steady channel; more parts trade a little noise for robustness to fast fading.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "modem/code_table.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

class IdealDetector {
public:
    // `profile`: the profile the signal was sent with (N, tone offsets, pulse shape).
    // `centre_hz`: the transmitter's centre frequency; `shift_hz`: a frequency shift the channel
    // added (0 when none). `segments`: parts of a symbol with gains of their own, 1..kMaxSegments
    // (other values count as the nearest of these). The tables (9 x N complex values) are built
    // here, once.
    IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz = 0.0,
                  int segments = 1);

    static constexpr int kMaxSegments = 16;

    uint32_t symbol_length() const { return N_; }

    // The metric of each of the 45 symbols (index symbol number - 1) for the N samples of
    // `symbol` (at least N; those from its first sample on are used).
    void score(std::span<const int16_t> symbol, std::span<double, kSymbolCount> metric) const;

    // The symbol number 1..45 with the largest metric (the lower number on equal metrics).
    uint32_t detect(std::span<const int16_t> symbol) const;

    // Every whole symbol of `samples` from `first_sample` on, one every N samples.
    std::vector<uint32_t> detect_all(std::span<const int16_t> samples,
                                     std::size_t first_sample) const;

private:
    // Samples [first, end) of part s of a symbol.
    uint32_t part_begin(int s) const { return static_cast<uint32_t>(uint64_t(N_) * s / segments_); }

    uint32_t N_ = 0;
    int segments_ = 1;
    // Row t (tone index 0..8): p[j] e^{-i w_t j} for j = 0..N-1.
    std::vector<std::complex<double>> reference_;
    // ||u_k||^2 over part s, at [s * kSymbolCount + k].
    std::vector<double> energy_;
};

// What the primary receive pane shows for a run of symbols: the idle symbol nothing, the escape
// symbol nothing, an escape followed by one of its three pairs "?", "@" or "=", an escape followed
// by any other pair nothing (as the receiver's decoder does), every other symbol its primary
// character.
std::string symbols_to_text(std::span<const uint32_t> symbols);

} // namespace quavel::channel
