#include "rx/noise_blanker.h"

#include <algorithm>
#include <cmath>

namespace quavel {

namespace {

uint32_t samples_in(float ms, float rate_hz) {
    return std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(ms * rate_hz / 1000.0f)));
}

} // namespace

NoiseBlanker::NoiseBlanker(const Config& config)
    : config_(config), threshold_square_(config.threshold * config.threshold),
      level_weight_(1.0f / static_cast<float>(samples_in(config.level_ms, config.sample_rate_hz))),
      floor_weight_(1.0f / static_cast<float>(samples_in(config.floor_ms, config.sample_rate_hz))),
      floor_gain_(std::pow(10.0f, config.floor_db / 10.0f)),
      hold_(samples_in(config.hold_ms, config.sample_rate_hz)),
      longest_(samples_in(config.longest_ms, config.sample_rate_hz)),
      warm_up_(samples_in(config.level_ms, config.sample_rate_hz)) {}

void NoiseBlanker::reset() {
    level_ = 0.0f;
    floor_ = 0.0f;
    warmed_ = 0;
    hold_left_ = 0;
    blanked_ = 0;
    run_square_ = 0.0f;
    blanks_ = 0;
    silenced_ = 0;
}

float NoiseBlanker::take(float x) {
    if (!enabled_) return x;
    const float square = x * x;
    if (warmed_ < warm_up_) {
        // The first level is the plain mean square of what has come so far.
        ++warmed_;
        level_ += (square - level_) / static_cast<float>(warmed_);
        floor_ = level_;
        return x;
    }
    const float level = std::max({level_, floor_ * floor_gain_, config_.quietest});
    const float limit = threshold_square_ * level;
    const bool loud = square > limit;
    // The floor follows everything, a loud sample counted at the limit only.
    floor_ += floor_weight_ * (std::min(square, limit) - floor_);
    if (loud) hold_left_ = hold_;
    if (loud || hold_left_ > 0) {
        if (!loud) --hold_left_;
        if (blanked_ == 0) ++blanks_;
        ++blanked_;
        run_square_ += square;
        if (blanked_ <= longest_) {
            ++silenced_;
            return 0.0f;
        }
        // Too long for a crash: the audio's level has changed.
        level_ = run_square_ / static_cast<float>(blanked_);
        floor_ = std::max(floor_, level_);
        hold_left_ = 0;
    }
    blanked_ = 0;
    run_square_ = 0.0f;
    level_ += level_weight_ * (square - level_);
    return x;
}

} // namespace quavel
