// What the band receiver's lines say about a scene: each line goes to the station nearest its
// frequency, if one lies near enough; the others are false lines (a station where none was).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "band_lines.h"
#include "scene.h"

namespace quavel::perf {

// A line belongs to a station whose tone 5 lies this close to the line's frequency: a third of
// the closest spacing measured (150 Hz), beyond the alias of a whole tone spacing or two.
inline constexpr double kMatchHz = 50.0;

struct StationCopy {
    std::string text;       // its lines in time order, joined as they were cut
    std::size_t errors = 0; // edit distance to the over's text
    std::size_t lines = 0;
    std::size_t ids = 0;         // station ids its lines carried (1 when found once and kept)
    std::size_t wrong_speed = 0; // lines whose speed is not the over's
    std::optional<double> first_line_s;
    // Per line: the copy's length once it was added, and the line's time_s.
    std::vector<std::pair<std::size_t, double>> line_ends;
    bool listed() const { return lines > 0; }
};

struct SceneScore {
    std::vector<StationCopy> stations; // per scene station
    std::vector<BandLine> false_lines; // near no station
};

SceneScore score_scene(const Scene& scene, const std::vector<BandLine>& lines);

} // namespace quavel::perf
