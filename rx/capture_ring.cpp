#include "rx/capture_ring.h"

#include <algorithm>

namespace quavel {

void CaptureRing::reset(uint32_t symbol_step) {
    symbol_step_ = (symbol_step == 2 || symbol_step == 4) ? symbol_step : 1;
    write_count_ = 0;
    read_count_ = 0;
}

void CaptureRing::write_block(std::span<const int16_t, kCaptureBlockSamples> block) {
    if (waiting() >= kRingBlocks) {
        // The oldest symbol would be overwritten: give it up whole, so the reader's next symbol
        // is still one piece of audio.
        read_count_ += symbol_step_;
        dropped_blocks_ += symbol_step_;
    }
    const uint32_t index = write_count_ % kRingBlocks;
    std::copy(block.begin(), block.end(), samples_.begin() + index * kCaptureBlockSamples);
    ++write_count_;
}

std::span<const int16_t> CaptureRing::symbol() const {
    const uint32_t index = read_count_ % kRingBlocks;
    return std::span<const int16_t>(samples_.data() + index * kCaptureBlockSamples,
                                    symbol_step_ * kCaptureBlockSamples);
}

std::span<const int16_t> CaptureRing::last_block() const {
    const uint32_t index = (write_count_ + kRingBlocks - 1) % kRingBlocks;
    return std::span<const int16_t>(samples_.data() + index * kCaptureBlockSamples,
                                    kCaptureBlockSamples);
}

} // namespace quavel
