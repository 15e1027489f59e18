// The transmit level: a playback device in front of the real one that scales every buffer on
// its way to the device by a gain of 0 to -30 dB, so the rig's ALC can be kept out of action
// without touching the modem's waveforms. At 0 dB the samples pass through untouched, bit for
// bit. Everything else (open, close, completions, pumping) goes straight to the device.
#pragma once

#include <cstdint>
#include <vector>

#include "interfaces/audio_device.h"
#include "modem/speed_profile.h" // kMaxSymbolSamples

namespace quavel {

class LevelledOutput : public AudioOutput {
public:
    static constexpr int kMinLevelDb = -30;

    LevelledOutput() { scaled_.reserve(kMaxSymbolSamples); }

    // The device the buffers go to; null: none (open fails). Not owned.
    void set_device(AudioOutput* device) { device_ = device; }
    AudioOutput* device() const { return device_; }
    // 0 down to -30 dB; values outside are held to that range.
    void set_level_db(int db);
    int level_db() const { return level_db_; }

    bool open(Done done) override;
    void queue(int index, std::span<const int16_t> samples) override;
    void close() override;
    void pump() override;
    bool lost() const override { return device_ != nullptr && device_->lost(); }

private:
    AudioOutput* device_ = nullptr;
    int level_db_ = 0;
    float gain_ = 1.0f;
    // The buffer scaled, room for the longest symbol made once; the device copies it.
    std::vector<int16_t> scaled_;
};

} // namespace quavel
