// When the weak-signal receiver leaves the place it tracks for the search's peak: following
// noise, any clearly better place will do; copying, only a much stronger signal elsewhere takes
// the tracker away. Either way the peak must stay there for a few symbols in a row.
#pragma once

#include "rx/weak_search.h"

namespace quavel {

class WeakRelock {
public:
    // No votes (after a lock).
    void reset() { votes_ = 0; }

    // One symbol's look at the search: its `peak`, and the trial start and frequency where the
    // tracker is with the search's average `here` there; `open`: the squelch is open. True when
    // the tracker should lock on the peak.
    bool vote(const WeakSearch::Peak& peak, int start, int frequency, double here, bool open);

private:
    int votes_ = 0;
};

} // namespace quavel
