#include "score.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "error_rate.h"

namespace quavel::perf {

SceneScore score_scene(const Scene& scene, const std::vector<BandLine>& lines) {
    SceneScore score;
    score.stations.resize(scene.stations.size());
    std::vector<std::vector<const BandLine*>> mine(scene.stations.size());
    for (const BandLine& line : lines) {
        std::size_t best = scene.stations.size();
        double best_hz = kMatchHz;
        for (std::size_t i = 0; i < scene.stations.size(); ++i) {
            const double d = std::abs(line.freq_hz - scene.stations[i].over.tone5_hz);
            if (d <= best_hz) {
                best_hz = d;
                best = i;
            }
        }
        if (best == scene.stations.size())
            score.false_lines.push_back(line);
        else
            mine[best].push_back(&line);
    }
    for (std::size_t i = 0; i < scene.stations.size(); ++i) {
        auto& own = mine[i];
        // The output's own order within equal times: a station's lines come out in order.
        std::stable_sort(own.begin(), own.end(), [](const BandLine* a, const BandLine* b) {
            return a->time_s < b->time_s;
        });
        StationCopy& copy = score.stations[i];
        std::set<uint32_t> ids;
        for (const BandLine* line : own) {
            // A line cut at a pause or by its length is part of one run of text; nothing stands
            // between two of them on the air.
            copy.text += line->text;
            copy.line_ends.emplace_back(copy.text.size(), line->time_s);
            ids.insert(line->station);
            if (line->speed != scene.stations[i].over.speed) ++copy.wrong_speed;
            if (!copy.first_line_s) copy.first_line_s = line->time_s;
        }
        copy.lines = own.size();
        copy.ids = ids.size();
        copy.errors = edit_distance(scene.stations[i].over.text, copy.text);
    }
    return score;
}

} // namespace quavel::perf
