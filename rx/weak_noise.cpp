#include "rx/weak_noise.h"

#include <algorithm>

namespace quavel {

namespace {
// How fast the signal's level is averaged.
constexpr double kLevelMemory = 1.0 / 16.0;
} // namespace

void WeakNoise::reset() {
    noise_ = 0.0;
    noise_known_ = false;
    tone_snr_ = 0.0;
    tone_noise_ = 0.0;
}

void WeakNoise::measure(const WeakBetweenTones& between) {
    double noise = 0.0;
    for (const double power : between)
        noise += power;
    noise /= kToneCount + 1;
    if (!noise_known_) {
        noise_ = noise;
        noise_known_ = true;
    } else {
        noise_ += (noise - noise_) / 8.0;
    }
}

WeakLevels WeakNoise::levels() {
    if (tone_noise_ <= 0.0) tone_noise_ = noise_;
    return WeakLevels{tone_noise_, tone_snr_};
}

WeakNoise::Level WeakNoise::follow(TonePair decided, const WeakBetweenTones& between,
                                   const std::array<std::complex<float>, kToneCount>& z,
                                   double pulse_energy) {
    const auto a = static_cast<std::size_t>(decided.a - 1);
    const auto b = static_cast<std::size_t>(decided.b - 1);
    double sum = 0.0;
    int count = 0;
    for (std::size_t j = 0; j < between.size(); ++j) {
        if (j == a || j == a + 1 || j == b || j == b + 1) continue;
        sum += between[j];
        ++count;
    }
    tone_noise_ += (sum / count - tone_noise_) / 8.0;

    Level level;
    level.tone_level = tone_snr_;
    if (tone_noise_ > 0.0) {
        for (const std::complex<float>& tone : z)
            level.above +=
                std::norm(std::complex<double>(tone)) / (pulse_energy * tone_noise_) - 1.0;
        const double pair_factor = decided.a != decided.b ? 2.0 : 1.0;
        tone_snr_ =
            std::max(0.0, tone_snr_ + kLevelMemory * (pair_factor * level.above - tone_snr_));
    }
    return level;
}

} // namespace quavel
