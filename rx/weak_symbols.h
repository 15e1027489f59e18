// What the weak-signal receiver knows of the 45 symbols at one speed, at its baseband rate of
// 500 complex samples/s: the tone offsets, the pulse shape as a matched template, and each
// symbol's reference energy. A symbol k sounds tones a and b (a == b for one tone), both starting
// at phase 0 on its first sample; with z_t the correlation of the received baseband with
// p[m] e^{i w_t m} over one symbol, its reference u_k = p (e^{i w_a m} + e^{i w_b m}) / 2
// correlates as (z_a + z_b) / 2, and
//     metric_k = |(z_a + z_b) / 2|^2 / ||u_k||^2
// is the likelihood ratio of symbol k with its phase and gain unknown: every reference brought to
// the same energy, so that a single tone (twice the energy of a two-tone symbol's references)
// does not win whenever noise adds to it. On noise alone every metric has the mean of the noise
// power per sample.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <span>

#include "modem/code_table.h"
#include "modem/speed_profile.h"

namespace quavel {

inline constexpr uint32_t kWeakMaxSymbolSamples = kMaxSymbolSamples / 16; // at speed 1

// The symbol is also taken in kWeakParts equal parts, for channels that do not keep it whole.
inline constexpr int kWeakParts = 4;

struct WeakSymbols {
    uint32_t speed = 2;
    uint32_t length = 256;   // baseband samples per symbol: N / 16 (512, 256, 128)
    double spacing_hz = 8.0; // between adjacent tones
    std::array<double, kToneCount> offset_hz{};
    std::array<float, kWeakMaxSymbolSamples> pulse{}; // `length` entries used
    double pulse_energy = 0.0;                        // sum of pulse^2
    std::array<double, kSymbolCount> energy{};        // ||u_k||^2
    // ||u_k||^2 over each quarter of the symbol, and over each half.
    std::array<std::array<double, kSymbolCount>, kWeakParts> quarter_energy{};
    std::array<std::array<double, kSymbolCount>, 2> half_energy{};
};

// Builds the tables for speed 1, 2 or 4 (anything else counts as 2).
void build_weak_symbols(WeakSymbols& s, uint32_t speed);

struct WeakDecision {
    uint32_t symbol = 0; // 1..45
    double best = 0.0;   // its metric
    double second = 0.0; // the best metric of the other 44
};

// The most likely symbol from the nine tone correlations z_t (index tone number - 1).
WeakDecision decide_symbol(const WeakSymbols& s,
                           std::span<const std::complex<float>, kToneCount> z);

// How a symbol's correlations are combined. The transmitter locks the two tones of a pair in
// phase and the channel may not keep them so: a second path turns one against the other, and
// fast fading turns the phase within the symbol.
//  - Locked: the metric above, over the whole symbol: best when the channel keeps the symbol
//    whole (noise alone, slow flat fading).
//  - FreeHalves: each half of the symbol on its own, the second tone of a pair free to take any
//    phase against the first, (|z_a| + |z_b|)^2 / 4 / ||u_k||^2 summed over the halves: for a
//    second path and moderate fading.
//  - FreeQuarters: the same over quarters, for fading fast against the symbol.
//  - ToneByTone: each tone faded on its own, in amplitude as well as in phase, as a second path
//    a couple of milliseconds late leaves the wide tone set: every tone's energy over the whole
//    symbol scored by its likelihood against noise alone (see WeakLevels).
enum class WeakModel { Locked, FreeHalves, FreeQuarters, ToneByTone };
inline constexpr int kWeakModels = 4;

// The levels the tone-by-tone model weighs the tones by: the noise power per sample, and the
// SNR a single-tone symbol has in its tone's correlation (its energy over the noise's there,
// rho). A tone of a two-tone symbol has a quarter of it. With x = |z_t|^2 / (noise ||p||^2),
// which has mean 1 on noise alone, a tone of mean SNR r adds x r / (1 + r) - ln(1 + r) to its
// symbol's log-likelihood: the penalty keeps a pair from winning merely by having two tones to
// collect noise in. The metric is that sum times noise (1 + rho) / rho: a single tone scores its
// energy |z_t|^2 / ||p||^2, as under the other models, less its penalty.
struct WeakLevels {
    double noise = 0.0;
    double tone_snr = 0.0;
    // A single tone's SNR in its correlation as tone_snr, where the signal has held that level
    // over the last symbols (as it does without fading), for the locked model to decide by
    // (decide_known_level); 0 where it has not.
    double steady_snr = 0.0;
};

// The nine tones' correlations over each quarter of a symbol (index part, tone number - 1).
using WeakParts = std::array<std::array<std::complex<float>, kToneCount>, kWeakParts>;

// The most likely symbol under `model` (`levels` is used by ToneByTone only, which without a
// noise level decides as Locked).
WeakDecision decide_symbol(const WeakSymbols& s, WeakModel model, const WeakParts& parts,
                           const WeakLevels& levels = {});

// The locked model when the signal's level is known as well: the likelihood of symbol k with only
// its phase unknown. With the received symbol g u_k e^{i phi} in noise of power N per sample,
// rho = g^2 ||p||^2 / N (levels.steady_snr), y_k = |c_k|^2 / (N ||p||^2), c_k = (z_a + z_b) / 2,
// and e_k = ||u_k||^2 / ||p||^2 (1 for a single tone, about 1/2 for a pair),
//     metric_k = N (ln I0(2 sqrt(rho y_k)) - rho e_k).
// Unlike the energy-normalised metric, it knows that a single tone comes with twice the energy of
// a pair: a pair whose second tone is lost in the noise is no longer read as its first tone alone,
// nor a single tone as a pair merely because noise lifted a second tone. The statistic
// (best - second) / N is a difference of log-likelihoods. Without a noise level or a level it
// decides as the locked model.
WeakDecision decide_known_level(const WeakSymbols& s,
                                std::span<const std::complex<float>, kToneCount> z,
                                const WeakLevels& levels);

// ln I0(x) for x >= 0, to about 1e-7 relative.
double log_bessel_i0(double x);

// The largest metric with each pair's second tone free to take any phase against the first:
// (|z_a| + |z_b|)^2 / 4 / ||u_k||^2. It forgives a start a few milliseconds off, which turns the
// two tones of a wide pair against each other, so the search scores with it.
double best_free_phase_metric(const WeakSymbols& s,
                              std::span<const std::complex<float>, kToneCount> z);

} // namespace quavel
