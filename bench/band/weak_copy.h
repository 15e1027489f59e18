// The single-channel weak-signal receiver on a scene's recording, told one station's speed and
// frequency: what the band receiver is measured beside. Its tuning ends at 1900 Hz, so for a
// station above that it gets the scene's twin instead: every station and carrier sent again
// the same whole number of hertz lower (the one at hand near 1800 Hz), the same noise. A shift of
// the recording itself would not do: it turns the tones' phases from symbol to symbol, which
// the transmitter never does, and the receiver's start suffers from it.
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

// Station `index` of `scene`, whose rendering is `recording`. `until_s`: only the recording's
// first seconds (enough to see the lock), when set.
WeakCopy copy_weak(const Scene& scene, std::size_t index, const std::vector<int16_t>& recording,
                   std::optional<double> until_s = std::nullopt);

// The twin the weak receiver copies station `index` from when it lies above its range, with
// that station moved to about kWeakTwinHz; stations and carriers moved below 150 Hz are left out
// (they lie 1650 Hz or more from it). Nothing when the station is within the range.
inline constexpr double kWeakTwinHz = 1800.0;
std::optional<Scene> weak_twin(const Scene& scene, std::size_t index);

} // namespace quavel::perf
