// The capture ring: eight blocks of 2048 samples between the capture hand-over (which writes one
// block per completed capture buffer) and the receive step (which reads one symbol, 1, 2 or 4
// blocks, at a time). Block i is samples i*2048 .. i*2048+2047 of one array, so the blocks of a
// symbol are contiguous: the read count only moves in whole symbols from 0 and 8 is a multiple
// of every symbol step, so a symbol never wraps past block 7.
//
// Only the window's thread touches the ring; it needs no lock.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "modem/speed_profile.h"

namespace quavel {

inline constexpr uint32_t kRingBlocks = 8;

class CaptureRing {
public:
    // Empties the ring for a symbol of `symbol_step` blocks (1, 2 or 4; anything else counts
    // as 1). Both counts go back to 0; the samples stay.
    void reset(uint32_t symbol_step);

    // Copies one block of 2048 samples into the next block. When the ring is full (the reader
    // has fallen eight blocks behind), the oldest whole symbol is dropped first, so a symbol the
    // reader takes is never part old and part new audio.
    void write_block(std::span<const int16_t, kCaptureBlockSamples> block);

    // Blocks written and not yet read, 0..8.
    uint32_t waiting() const { return write_count_ - read_count_; }
    bool symbol_ready() const { return waiting() >= symbol_step_; }
    // The samples of the oldest waiting symbol: symbol_step x 2048 samples, valid until the
    // next write_block. Only meaningful while symbol_ready().
    std::span<const int16_t> symbol() const;
    // Block number `count` (counted like the write count), for a reader that takes every block
    // as it comes. Valid while count is one of the last eight written, until the next write.
    std::span<const int16_t, kCaptureBlockSamples> block(uint32_t count) const {
        return std::span<const int16_t, kCaptureBlockSamples>(
            samples_.data() + (count % kRingBlocks) * kCaptureBlockSamples, kCaptureBlockSamples);
    }
    // Consumes the symbol returned by symbol().
    void advance_read() { read_count_ += symbol_step_; }

    // The block written last (all zeros before the first write), for the level meter.
    std::span<const int16_t> last_block() const;

    uint32_t symbol_step() const { return symbol_step_; }
    uint32_t write_count() const { return write_count_; }
    uint32_t read_count() const { return read_count_; }
    // Blocks thrown away unread because the writer lapped the reader, since construction.
    uint64_t dropped_blocks() const { return dropped_blocks_; }

private:
    std::array<int16_t, kRingBlocks * kCaptureBlockSamples> samples_{};
    uint32_t write_count_ = 0;
    uint32_t read_count_ = 0;
    uint32_t symbol_step_ = 2;
    uint64_t dropped_blocks_ = 0;
};

} // namespace quavel
