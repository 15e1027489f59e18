#include "tx/levelled_output.h"

#include <algorithm>
#include <cmath>

namespace quavel {

void LevelledOutput::set_level_db(int db) {
    level_db_ = std::clamp(db, kMinLevelDb, 0);
    gain_ = static_cast<float>(std::pow(10.0, level_db_ / 20.0));
}

bool LevelledOutput::open(Done done) {
    return device_ != nullptr && device_->open(std::move(done));
}

void LevelledOutput::queue(int index, std::span<const int16_t> samples) {
    if (device_ == nullptr) return;
    if (level_db_ == 0) {
        device_->queue(index, samples);
        return;
    }
    scaled_.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        scaled_[i] = static_cast<int16_t>(std::lrint(static_cast<float>(samples[i]) * gain_));
    device_->queue(index, scaled_);
}

void LevelledOutput::close() {
    if (device_ != nullptr) device_->close();
}

void LevelledOutput::pump() {
    if (device_ != nullptr) device_->pump();
}

} // namespace quavel
