#include "rx/level_steps.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quavel {

namespace {
// The bins of the stretch the stations of the mode use, 187.5 to 2812.5 Hz.
constexpr uint32_t kFirstBin = 3;
constexpr uint32_t kLastBin = 45;
constexpr uint32_t kBins = kLastBin - kFirstBin + 1;
// A block's floor this many times above or below the one followed is a step (6 dB); the median
// of 43 bins strays by about 1 dB. Three such blocks in a row, the same way, are taken: a dip
// between two symbols, or what a crash left, is shorter.
constexpr double kStepRatio = 4.0;
constexpr int kConfirmBlocks = 3;
// ... and the whole audio's power stepped within this of it (3 dB).
constexpr double kSameStep = 2.0;
// White noise puts about 62 times its median bin over the stretch; 100 times that (a station
// 20 dB above the noise in the whole stretch), the floor is hardly noise.
constexpr double kMostAboveFloor = 6200.0;
// A floor below this (in squared 16-bit units, summed over the window) is next to silence.
constexpr double kQuietest = 64.0;
// After a step the gain is set from the mean floor of up to this many blocks since.
constexpr int kSettleBlocks = 8;
// Between steps the floor is averaged over about this many blocks.
constexpr double kFloorBlocks = 16.0;
// The gain never goes beyond this either way (60 dB).
constexpr float kMostGain = 1000.0f;
} // namespace

LevelSteps::LevelSteps() {
    for (uint32_t i = 0; i < kBlock; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kBlock));
    reset();
}

void LevelSteps::reset() {
    delayed_.fill(0.0f);
    head_ = 0;
    fill_ = 0;
    filled_ = 0;
    gain_ = 1.0f;
    next_gain_ = 1.0f;
    switch_in_ = 0;
    floor_ = 0.0;
    whole_ = 0.0;
    pending_ = 0;
    pending_blocks_ = 0;
    settling_ = 0;
    since_step_ = 0.0;
    steps_ = 0;
}

void LevelSteps::measure() {
    fill_ = 0;
    for (uint32_t i = 0; i < kBlock; ++i)
        spectrum_[i] = {window_[i] * block_[i], 0.0f};
    fft_.forward(spectrum_);
    std::array<float, kBins> powers{};
    double whole = 0.0;
    for (uint32_t k = 0; k < kBins; ++k) {
        powers[k] = std::norm(spectrum_[kFirstBin + k]);
        whole += powers[k];
    }
    std::nth_element(powers.begin(), powers.begin() + kBins / 2, powers.end());
    const double median = powers[kBins / 2];
    if (median <= kQuietest) return; // silence, or next to it, tells nothing
    const double gain_squared = static_cast<double>(gain_) * gain_;
    if (floor_ <= 0.0) {
        floor_ = median;
        whole_ = whole;
        return;
    }
    if (settling_ > 0) {
        // Just after a step: the gain is set by the mean of the blocks since, against the floor
        // as it was before the step.
        ++settling_;
        since_step_ += (median - since_step_) / settling_;
        // A small correction, taken at once (after the step's own switch, if still to come).
        if (switch_in_ > 0)
            next_gain_ = step_gain();
        else
            gain_ = step_gain();
        if (settling_ == kSettleBlocks) settling_ = 0;
        return;
    }
    const double ratio = gain_squared * median / floor_;
    const double whole_ratio = gain_squared * whole / whole_;
    int step = ratio > kStepRatio ? 1 : ratio < 1.0 / kStepRatio ? -1 : 0;
    // The whole audio steps as far: a station coming on lifts the whole far more than the
    // floor, and on audio with next to no noise the floor is the station's own skirts, which
    // move with what it sends while the whole stays.
    if (whole_ratio > kSameStep * ratio || ratio > kSameStep * whole_ratio) step = 0;
    // Nor is there a floor to go by where the audio is hardly noise at all.
    if (whole > kMostAboveFloor * median) step = 0;
    if (step == 0) {
        floor_ += (gain_squared * median - floor_) / kFloorBlocks;
        whole_ += (gain_squared * whole - whole_) / kFloorBlocks;
        pending_ = 0;
        pending_blocks_ = 0;
        return;
    }
    if (step != pending_) {
        // A step the next blocks are to confirm (this one may have held the step part-way).
        pending_ = step;
        pending_blocks_ = 1;
        return;
    }
    if (++pending_blocks_ < kConfirmBlocks) return;
    pending_ = 0;
    pending_blocks_ = 0;
    settling_ = 1;
    since_step_ = median;
    whole_ = whole * floor_ / median; // the whole as the new gain will leave it
    // The audio held runs from the oldest sample to this block's last: the step began in the
    // last three blocks or at the end of the one before.
    next_gain_ = step_gain();
    switch_in_ = step_start() + 1;
    ++steps_;
}

float LevelSteps::step_gain() const {
    return std::clamp(static_cast<float>(std::sqrt(floor_ / since_step_)), 1.0f / kMostGain,
                      kMostGain);
}

uint32_t LevelSteps::step_start() const {
    // The split of the held audio into two stretches of steady power that fits it best: the
    // one that makes the sum of each stretch's length times the log of its mean power least.
    std::array<double, kDelay + 1> sums{};
    for (uint32_t i = 0; i < kDelay; ++i) {
        const double x = delayed_[(head_ + i) % kDelay];
        sums[i + 1] = sums[i] + x * x;
    }
    constexpr uint32_t kEdge = 8;
    const double n = kDelay;
    uint32_t best = kDelay / 2;
    double best_cost = 0.0;
    for (uint32_t k = kEdge; k + kEdge <= kDelay; ++k) {
        const double before = std::max(sums[k] / k, 1e-12);
        const double after = std::max((sums[kDelay] - sums[k]) / (n - k), 1e-12);
        const double cost = k * std::log(before) + (n - k) * std::log(after);
        if (k == kEdge || cost < best_cost) {
            best_cost = cost;
            best = k;
        }
    }
    return best;
}

} // namespace quavel
