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
//
// Free relative phase. A lighter answer to the same trouble keeps the locked rule's form but lets
// the second tone of a pair take any phase phi against the first (the same in every part):
// max over phi of sum over parts of |<r, u_k(phi)>|^2 / ||u_k(phi)||^2, u_k(phi) = p (e^{i w_a j}
// + e^{i phi} e^{i w_b j}) / 2, searched over 32 phases. The tones keep equal amplitudes, which
// is what tells a pair from a single tone; nothing need be known of the levels.
//
// Multipath. The locked phases hold only while both tones pass the channel alike. A second path
// delayed by d turns the two tones of a symbol against each other by 2 pi d (f_b - f_a): 92
// degrees across the wide tone set (128 Hz) at 2 ms. Told the channel's statistics instead
// (`FadingKnowledge`: the noise variance s2 and the unfaded amplitude A of a single tone), the
// detector takes every tone of every part as faded on its own, a p(j) cos(w j) + b p(j) sin(w j)
// with a and b independent Gaussians of variance D^2 / 2 (Rayleigh in amplitude, mean power that
// of amplitude D: A for a single tone, A / 2 for each tone of a two-tone symbol), and scores a
// symbol by its exact log-likelihood. With x the 18 correlations of the part with every tone's
// cosine and sine, Q their Gram matrix (the shaped tones leak into each other over a short part)
// and T the 2 or 4 coordinates of the symbol's tones, x is Gaussian with covariance
// s2 Q + Q_{:,T} L Q_{T,:}, L = D^2 / 2, and up to terms common to every symbol
//     log-likelihood = (y' M^-1 y - ln det M) / 2,   y = L^(1/2) x_T / s2,
//     M = I + L^(1/2) Q_TT L^(1/2) / s2,
// a 2 x 2 or 4 x 4 problem per symbol and part. The penalty ln det M keeps a two-tone symbol
// from winning merely by having one more tone to collect noise in; Q_TT keeps a tone's leakage
// into its neighbour from passing for a second tone. The parts are taken as independent.
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

// What the detector may be told about a fading channel: its mean signal and noise levels.
struct FadingKnowledge {
    double noise_variance = 1.0;        // of the received samples, per sample (> 0)
    double single_tone_amplitude = 0.0; // peak of a single-tone symbol before fading (fading
                                        // keeps the mean power)
};

class IdealDetector {
public:
    // `profile`: the profile the signal was sent with (N, tone offsets, pulse shape).
    // `centre_hz`: the transmitter's centre frequency; `shift_hz`: a frequency shift the channel
    // added (0 when none). `segments`: parts of a symbol with gains of their own, 1..kMaxSegments
    // (other values count as the nearest of these). The tables (9 x N complex values) are built
    // here, once.
    enum class PairPhase { Locked, Free };
    IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz = 0.0,
                  int segments = 1, PairPhase pair_phase = PairPhase::Locked);
    // The same, scoring by the fading channel's likelihood (see above).
    IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz, int segments,
                  const FadingKnowledge& fading);

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
    // With FadingKnowledge, at [s * kSymbolCount + k]: the log-likelihood of symbol k over part s
    // is  x_T' W x_T - penalty,  x_T the cosine and sine correlations of its tones (a's, then
    // b's for two tones).
    struct FadingTerm {
        int size = 2; // 2 or 4
        std::array<double, 16> w{};
        double penalty = 0.0;
    };
    bool fading_ = false;
    // With PairPhase::Free, at [(s * kSymbolCount + k) * kPhaseSteps + i]: ||u_k(phi_i)||^2.
    static constexpr int kPhaseSteps = 32;
    bool free_phase_ = false;
    std::vector<double> free_energy_;
    std::vector<FadingTerm> fading_terms_;
};

// What the primary receive pane shows for a run of symbols: the idle symbol nothing, the escape
// symbol nothing, an escape followed by one of its three pairs "?", "@" or "=", an escape followed
// by any other pair nothing (as the receiver's decoder does), every other symbol its primary
// character.
std::string symbols_to_text(std::span<const uint32_t> symbols);

} // namespace quavel::channel
