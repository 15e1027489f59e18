// The single-channel weak-signal receiver on a scene's recording, told one station's speed and
// frequency: what the band receiver is measured beside. Its tuning ends at 1900 Hz, so for a
// station above that the whole recording is first shifted down (without a mirror) to put the
// station near 1000 Hz: the noise keeps its density, the SNR stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scene.h"

namespace quavel::perf {

struct WeakCopy {
    std::string text;
    std::size_t errors = 0; // edit distance to the over's text
    // Seconds into the recording when its squelch first opened (at 32 ms steps).
    std::optional<double> lock_s;
};

// `until_s`: only the recording's first seconds (enough to see the lock), when set.
WeakCopy copy_weak(const std::vector<int16_t>& recording, const SceneStation& station,
                   std::optional<double> until_s = std::nullopt);

} // namespace quavel::perf
