#include "rx/weak_relock.h"

#include <algorithm>
#include <cstdlib>

namespace quavel {

bool WeakRelock::vote(const WeakSearch::Peak& peak, int start, int frequency, double here,
                      bool open) {
    int apart = std::abs(peak.start - start);
    apart = std::min(apart, WeakSearch::kStarts - apart);
    const bool elsewhere = apart > 1 || std::abs(peak.frequency - frequency) > 2;
    if (elsewhere && peak.value > (open ? 2.0 : 1.1) * here) return ++votes_ >= (open ? 3 : 2);
    votes_ = 0;
    return false;
}

} // namespace quavel
