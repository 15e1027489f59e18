#include "tx/tx_queue.h"

#include <algorithm>

#include "modem/code_table.h"

namespace quavel {

void TxQueue::pop() {
    if (count_ == 0) return;
    std::copy(cells_.begin() + 1, cells_.end(), cells_.begin());
    cells_[kCells - 1] = 0;
    --count_;
}

void TxQueue::clear() {
    cells_.fill(0);
    count_ = 0;
}

bool TxQueue::append(uint32_t symbol) {
    if (symbol < 1 || symbol > static_cast<uint32_t>(kSymbolCount) || count_ >= kCells) {
        return false;
    }
    cells_[count_++] = symbol;
    return true;
}

bool TxQueue::enqueue(unsigned char c) {
    const EncodedCharacter e = encode_character(c);
    if (count_ + static_cast<uint32_t>(e.count) > kCells) return false;
    for (int i = 0; i < e.count; ++i) {
        append(e.symbols[static_cast<size_t>(i)]);
    }
    return true;
}

} // namespace quavel
