// The weak-signal receiver's levels: the noise power it measures its statistics against, and the
// signal's own level for the tone-by-tone model and the squelch's mute. Both are running
// averages over the symbols decided, taken from each symbol's correlations between its tones.
#pragma once

#include <array>
#include <complex>

#include "modem/code_table.h"
#include "rx/weak_correlator.h"
#include "rx/weak_symbols.h"

namespace quavel {

class WeakNoise {
public:
    void reset();

    // A symbol's powers between the tones, and the mean power of its nine tones in the same
    // units: the noise average follows the mean between them (the first symbol sets it
    // outright), taking a step of the level at once where the whole symbol stepped too.
    void measure(const WeakBetweenTones& between, double tone_power);
    // Noise power per baseband sample; 0 before the first symbol.
    double power() const { return noise_; }

    // The levels the tone-by-tone model decides this symbol by (until the first decision the
    // noise away from the tones is taken to be the noise), and the level the locked model may
    // decide it by where the signal has held its level: over the last symbols each one's level
    // strayed from their average by little more than the noise makes it stray, while a fading
    // signal's strays by much more.
    WeakLevels levels();
    // A new signal, or none: the held level is learnt afresh from the next symbol on.
    void restart_level();

    // Once the symbol is decided as `decided`. A strong signal leaks into the trial frequencies
    // next to its tones, by its own Doppler spread and the pulse's skirts, and lifts the noise
    // measured above: the noise under it is measured on the others. The energy above that noise
    // over all nine tones (which a wrong decision hardly biases) is a single tone's SNR, or half
    // of it for a pair.
    struct Level {
        double tone_level = 0.0; // a single tone's SNR averaged up to the symbol before
        double above = 0.0;      // this symbol's energy above the noise over the nine tones,
                                 // in noise powers (about 0 +- 3 on noise alone)
    };
    Level follow(TonePair decided, const WeakBetweenTones& between,
                 const std::array<std::complex<float>, kToneCount>& z, double pulse_energy);
    // A step of the noise away from the tones of `likely` (the locked model's decision), taken
    // before the symbol is decided, so that the models are weighed against this symbol's noise:
    // a receiver's AGC stepping up 15 dB left it ten times too small for that symbol, and the
    // tone-by-tone model's fit, set against it, won the choice for a dozen symbols. Where it
    // takes a step, follow() leaves the noise as it is; otherwise follow() averages it as usual.
    void follow_tone_noise(TonePair likely, const WeakBetweenTones& between);

    // The noise away from the decided tones (WeakLevels::noise); 0 before the first symbol.
    double tone_noise() const { return tone_noise_; }

private:
    // The mean power between the tones, leaving out the four beside `pair`'s.
    static double away_from(TonePair pair, const WeakBetweenTones& between);
    // Follows the held level with this symbol's, `snr` (a single tone's, as `pair_factor` times
    // the energy above the noise).
    void follow_held(double snr, double pair_factor);

    double noise_ = 0.0; // noise power per baseband sample, running average
    bool noise_known_ = false;
    bool tone_noise_taken_ = false; // follow_tone_noise() came before follow() for this symbol
    double tone_noise_ = 0.0;       // the same away from the decided tones (WeakLevels)
    double tone_snr_ = 0.0;         // a single tone's SNR in its correlation (WeakLevels), averaged
    // The level averaged over the symbols since the restart, up to the last few dozen; how far
    // each symbol's level strayed from it over how far the noise would make it stray, averaged
    // the same way (about 1 while the level holds); and over how many symbols.
    double held_snr_ = 0.0;
    double scatter_ = 0.0;
    int held_symbols_ = 0;
    int noise_step_ = 0;       // the last symbol's noise stepped up (1), down (-1) or neither
    int tone_noise_step_ = 0;  // the same for the noise away from the tones
    double whole_ = 0.0;       // the whole symbol's mean power (tones and between), averaged
    int whole_step_ = 0;       // this symbol's whole power stepped up (1), down (-1) or neither
    int whole_pending_ = 0;    // the last symbol's
    double whole_ratio_ = 1.0; // this symbol's whole power over its average before it
};

} // namespace quavel
