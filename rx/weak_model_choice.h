// Which of the four ways of deciding a symbol (WeakModel) the channel suits. Every model decides
// every symbol; the one whose winners have stood furthest above their runners-up over the last
// symbols is taken, except that the tone-by-tone model, whose margins run smaller by its make, is
// weighed by how well it fits the symbols instead. Symbols lost in the noise under every model
// teach nothing and are left out.
#pragma once

#include <array>

#include "rx/weak_correlator.h"
#include "rx/weak_symbols.h"

namespace quavel {

class WeakModelChoice {
public:
    using Decisions = std::array<WeakDecision, kWeakModels>;

    // No preference: back to the locked model.
    void reset();

    // Learns from one symbol's decisions under every model (`noise`: the noise power, `tone_noise`
    // the noise away from the tones, as WeakNoise measures them; `tones` the symbol's
    // correlations) and returns the model to take its decision from.
    WeakModel choose(const Decisions& decisions, double noise, double tone_noise,
                     const WeakToneCorrelations& tones, const WeakSymbols& symbols);

    WeakModel model() const { return static_cast<WeakModel>(model_); }

private:
    // The models' margins (best - second best) / noise, averaged; the model in use.
    std::array<double, kWeakModels> model_margin_{};
    int model_ = 0;
    int margin_model_ = 0; // the best of the models chosen by their margins
    // How much of the symbols' energy the winners take in, less their freedom, in noise powers,
    // averaged: locked, tone by tone, and locked over each half on its own.
    std::array<double, 3> fit_{};
};

} // namespace quavel
