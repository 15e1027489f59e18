// The transmit queue: the symbol numbers of the next character or two, in order of sending.
// It is kept short on purpose (the type-ahead pull stops at more than 4 entries), so what has
// left the transmit pane is what is about to go on the air and everything else can still be
// edited.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quavel {

class TxQueue {
public:
    static constexpr uint32_t kCells = 16;

    // Symbol number at the head (1..45), 0 when the queue is empty.
    uint32_t head() const { return cells_[0]; }
    uint32_t count() const { return count_; }
    bool is_empty() const { return count_ == 0; }

    // Removes the head; nothing when empty.
    void pop();
    // Discards every entry (the start of a transmission does this).
    void clear();
    // Appends symbol number 1..45 behind the last entry. False, and nothing appended, when the
    // number is out of range or all 16 cells are taken.
    bool append(uint32_t symbol);
    // Appends the symbols a character is sent as (none, one, or escape plus escape pair; raw
    // byte comparison, no case folding). All or nothing: false, and nothing appended, when the
    // character's symbols do not all fit. A character outside the repertoire appends nothing
    // and returns true.
    bool enqueue(unsigned char c);

    // Cells 0..15: the entries in order, then zeros.
    std::span<const uint32_t, kCells> cells() const { return cells_; }

private:
    std::array<uint32_t, kCells> cells_{};
    uint32_t count_ = 0;
};

} // namespace quavel
