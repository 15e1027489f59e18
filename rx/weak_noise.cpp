#include "rx/weak_noise.h"

#include <algorithm>

namespace quavel {

namespace {
// How fast the signal's level is averaged.
constexpr double kLevelMemory = 1.0 / 16.0;
// A symbol's noise this many times above or below the average is a step of the level: at once
// beyond kJumpRatio (10 dB), on the second symbol beyond kStepRatio (6 dB). The mean of six to
// ten noise powers falls outside 6 dB about once in a few hundred symbols, twice running about
// once in a hundred thousand.
constexpr double kJumpRatio = 10.0;
constexpr double kStepRatio = 4.0;
// The whole symbol's power steps with the level when it moves this far from its average.
constexpr double kWholeStepRatio = 2.0;
// The whole symbol and the noise away from its tones stepped alike: within this of each other.
constexpr double kSameStep = 2.0;
// The held level is averaged over the symbols since the restart, up to kHeldSymbols of them. It
// holds where its scatter stays below kSteadyScatter times what the noise alone makes, over at
// least kSteadySymbols symbols, with a single tone kSteadyLevel above the noise in its correlation
// (below that the level is hardly known, and the likelihoods hardly differ).
constexpr int kHeldSymbols = 16;
constexpr int kSteadySymbols = 12;
constexpr double kSteadyScatter = 2.0;
constexpr double kSteadyLevel = 2.0;

// A receiver's AGC steps the whole level at once, noise and signal alike. An average would take
// a dozen symbols to follow, deciding them all against the wrong noise: a step far beyond what a
// symbol's noise powers scatter by is taken at once, a smaller one once the next symbol confirms
// it; a single symbol that only scattered that far is left out. `last_step` remembers which way
// the last symbol stepped (1 up, -1 down, 0 neither). A step counts only where the whole symbol
// (`whole_step`, tones and all) stepped the same way: on a strong signal the powers between its
// tones are its own skirts, which change tenfold with what it sends while its level stays.
bool follow_steps(double& average, int& last_step, double measured, int whole_step) {
    const double ratio = measured / average;
    int step = ratio > kStepRatio ? 1 : ratio < 1.0 / kStepRatio ? -1 : 0;
    if (step != whole_step) step = 0;
    const bool confirmed = step != 0 && step == last_step;
    last_step = step;
    if ((step != 0 && (ratio > kJumpRatio || ratio < 1.0 / kJumpRatio)) || confirmed) {
        average = measured;
        last_step = 0;
        return true;
    }
    if (step == 0) average += (measured - average) / 8.0;
    // else: a step the next symbol is to confirm, against the level as it was before it.
    return false;
}
} // namespace

void WeakNoise::reset() {
    noise_ = 0.0;
    noise_known_ = false;
    tone_noise_taken_ = false;
    whole_ratio_ = 1.0;
    tone_snr_ = 0.0;
    restart_level();
    tone_noise_ = 0.0;
    noise_step_ = 0;
    tone_noise_step_ = 0;
    whole_ = 0.0;
    whole_step_ = 0;
    whole_pending_ = 0;
}

void WeakNoise::measure(const WeakBetweenTones& between, double tone_power) {
    double noise = 0.0;
    for (const double power : between)
        noise += power;
    const double whole = (noise + tone_power) / (2 * kToneCount + 1);
    noise /= kToneCount + 1;
    if (!noise_known_ || noise_ <= 0.0 || whole_ <= 0.0) {
        // The first symbol, or silence until now (a muted input): taken as it is.
        noise_ = noise;
        noise_known_ = true;
        tone_noise_ = 0.0;
        whole_ = whole;
        return;
    }
    // The whole symbol's level follows a step with the noise, or on its own once the next
    // symbol confirms it (a signal coming on); otherwise it is averaged.
    const double ratio = whole / whole_;
    whole_ratio_ = ratio;
    whole_step_ = ratio > kWholeStepRatio ? 1 : ratio < 1.0 / kWholeStepRatio ? -1 : 0;
    const bool took = follow_steps(noise_, noise_step_, noise, whole_step_);
    if (took || (whole_step_ != 0 && whole_step_ == whole_pending_))
        whole_ = whole;
    else if (whole_step_ == 0)
        whole_ += (whole - whole_) / 8.0;
    whole_pending_ = took ? 0 : whole_step_;
}

void WeakNoise::restart_level() {
    held_snr_ = 0.0;
    scatter_ = 0.0;
    held_symbols_ = 0;
}

WeakLevels WeakNoise::levels() {
    if (tone_noise_ <= 0.0) tone_noise_ = noise_;
    const bool steady =
        held_symbols_ >= kSteadySymbols && scatter_ < kSteadyScatter && held_snr_ >= kSteadyLevel;
    return WeakLevels{tone_noise_, tone_snr_, steady ? held_snr_ : 0.0};
}

double WeakNoise::away_from(TonePair pair, const WeakBetweenTones& between) {
    const auto a = static_cast<std::size_t>(pair.a - 1);
    const auto b = static_cast<std::size_t>(pair.b - 1);
    double sum = 0.0;
    int count = 0;
    for (std::size_t j = 0; j < between.size(); ++j) {
        if (j == a || j == a + 1 || j == b || j == b + 1) continue;
        sum += between[j];
        ++count;
    }
    return sum / count;
}

void WeakNoise::follow_tone_noise(TonePair likely, const WeakBetweenTones& between) {
    if (tone_noise_ <= 0.0) return;
    // Only a step taken at once, or confirmed, is taken here, and only where the whole symbol
    // stepped as far as the noise (the whole level moved; a strong signal coming on lifts its
    // own skirts far less than its tones); the rest waits for the decision.
    const double measured = away_from(likely, between);
    const double ratio = measured / tone_noise_;
    if (whole_ratio_ > kSameStep * ratio || ratio > kSameStep * whole_ratio_) return;
    double average = tone_noise_;
    int last_step = tone_noise_step_;
    if (follow_steps(average, last_step, measured, whole_step_)) {
        tone_noise_ = average;
        tone_noise_step_ = last_step;
        tone_noise_taken_ = true;
    }
}

WeakNoise::Level WeakNoise::follow(TonePair decided, const WeakBetweenTones& between,
                                   const std::array<std::complex<float>, kToneCount>& z,
                                   double pulse_energy) {
    // Measured apart from the noise above: where a strong signal ends, that one drops with the
    // signal's skirts while this one stays.
    if (!tone_noise_taken_) {
        if (tone_noise_ > 0.0)
            follow_steps(tone_noise_, tone_noise_step_, away_from(decided, between), whole_step_);
        else
            tone_noise_ = away_from(decided, between);
    }
    tone_noise_taken_ = false;

    Level level;
    level.tone_level = tone_snr_;
    if (tone_noise_ > 0.0) {
        for (const std::complex<float>& tone : z)
            level.above +=
                std::norm(std::complex<double>(tone)) / (pulse_energy * tone_noise_) - 1.0;
        const double pair_factor = decided.a != decided.b ? 2.0 : 1.0;
        follow_held(pair_factor * level.above, pair_factor);
        tone_snr_ =
            std::max(0.0, tone_snr_ + kLevelMemory * (pair_factor * level.above - tone_snr_));
    }
    return level;
}

void WeakNoise::follow_held(double snr, double pair_factor) {
    if (held_symbols_ == 0) {
        held_snr_ = snr;
        held_symbols_ = 1;
        return;
    }
    // Each tone's energy over the noise strays by 1 + 2 r (in variance) from its mean r: over the
    // nine tones, 9 + 2 r for a single tone of SNR r, and 9 + r for a pair's two of r / 4 (before
    // scaling it by the pair factor).
    const double spread = pair_factor * pair_factor * (kToneCount + 2.0 * held_snr_ / pair_factor);
    const double stray = snr - held_snr_;
    const double memory = 1.0 / std::min(held_symbols_ + 1, kHeldSymbols);
    scatter_ += (stray * stray / spread - scatter_) / std::min(held_symbols_, kHeldSymbols);
    held_snr_ += memory * stray;
    held_symbols_ = std::min(held_symbols_ + 1, kHeldSymbols);
}

} // namespace quavel
