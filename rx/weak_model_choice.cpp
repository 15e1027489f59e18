#include "rx/weak_model_choice.h"

#include <algorithm>
#include <complex>

#include "rx/weak_statistics.h"

namespace quavel {

namespace {
// How fast the margins are averaged, and by how much another model's must exceed the one in use.
constexpr double kModelMemory = 1.0 / 16.0;
constexpr double kModelMargin = 1.1;
// Chosen by their margins: Locked, FreeHalves and FreeQuarters.
constexpr std::size_t kMarginModels = 3;
// By how much (in noise powers) the tone-by-tone model must fit better than the locked one to
// take over.
constexpr double kFitMargin = 2.0;
} // namespace

void WeakModelChoice::reset() {
    model_margin_.fill(0.0);
    fit_.fill(0.0);
    model_ = 0;
    margin_model_ = 0;
}

WeakModel WeakModelChoice::choose(const Decisions& decisions, double noise, double tone_noise,
                                  const WeakToneCorrelations& tones, const WeakSymbols& symbols) {
    std::array<double, kWeakModels> margins{};
    for (std::size_t m = 0; m < decisions.size(); ++m)
        margins[m] = weak_statistic(decisions[m], noise);
    const bool clear = *std::max_element(margins.begin(), margins.end()) >= kWeakClear;
    if (clear) {
        for (std::size_t m = 0; m < margins.size(); ++m)
            model_margin_[m] += kModelMemory * (margins[m] - model_margin_[m]);
    }
    for (std::size_t m = 0; m < kMarginModels; ++m) {
        if (model_margin_[m] >
            kModelMargin * model_margin_[static_cast<std::size_t>(margin_model_)])
            margin_model_ = static_cast<int>(m);
    }
    // The tone-by-tone model is weighed by how much of the symbol's energy a winner takes in,
    // less what the freedom it is given would take in from noise alone (one noise power per real
    // parameter fitted). Freeing the two tones of a pair from each other (a delay across the tone
    // set) is set against the locked model, and against following the pair's phase from one half
    // of the symbol to the other instead (fading fast against a long symbol, which the
    // tone-by-tone model does not follow and the free-phase models do): it is taken where freeing
    // the tones gains clearly, and more than that.
    if (tone_noise > 0.0) {
        const WeakParts& parts = tones.parts;
        const double per_noise = 1.0 / tone_noise;
        const TonePair pair =
            kTonePairs[decisions[static_cast<std::size_t>(WeakModel::ToneByTone)].symbol - 1];
        const auto a = static_cast<std::size_t>(pair.a - 1);
        const auto b = static_cast<std::size_t>(pair.b - 1);
        double taken = std::norm(std::complex<double>(tones.z[a]));
        if (a != b) taken += std::norm(std::complex<double>(tones.z[b]));
        double halves = 0.0;
        for (std::size_t k = 0; k < kSymbolCount; ++k) {
            const auto ka = static_cast<std::size_t>(kTonePairs[k].a - 1);
            const auto kb = static_cast<std::size_t>(kTonePairs[k].b - 1);
            double sum = 0.0;
            for (std::size_t h = 0; h < 2; ++h) {
                const std::complex<double> y(0.5f * (parts[2 * h][ka] + parts[2 * h + 1][ka] +
                                                     parts[2 * h][kb] + parts[2 * h + 1][kb]));
                if (symbols.half_energy[h][k] > 0.0)
                    sum += std::norm(y) / symbols.half_energy[h][k];
            }
            halves = std::max(halves, sum);
        }
        const std::array<double, 3> fit = {
            decisions[static_cast<std::size_t>(WeakModel::Locked)].best * per_noise - 2.0,
            taken / symbols.pulse_energy * per_noise - (a == b ? 2.0 : 4.0),
            halves * per_noise - 4.0};
        if (clear) {
            for (std::size_t i = 0; i < fit.size(); ++i)
                fit_[i] += kModelMemory * (fit[i] - fit_[i]);
        }
    }
    const double tone_gain = fit_[1] - fit_[0];
    const bool tone_by_tone = model_ == static_cast<int>(WeakModel::ToneByTone);
    if (tone_gain > (tone_by_tone ? 0.0 : kFitMargin) && tone_gain > fit_[2] - fit_[0])
        model_ = static_cast<int>(WeakModel::ToneByTone);
    else
        model_ = margin_model_;
    return static_cast<WeakModel>(model_);
}

} // namespace quavel
