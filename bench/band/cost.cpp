#include "cost.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/wav/wav_file.h"
#include "texts.h"

namespace quavel::perf {

namespace {

// `count` stations (0..12) spread over the stretch, speeds and SNRs (0..+10 dB) mixed, all on
// the air for the whole of a recording as long as the slowest over.
Scene cost_scene(int count, uint64_t seed, std::optional<double> length_s) {
    Scene scene;
    scene.seed = seed * 13 + static_cast<uint64_t>(count);
    static constexpr uint32_t kSpeeds[] = {1, 2, 4};
    for (int i = 0; i < count; ++i) {
        SceneStation s;
        s.over = make_over(kSpeeds[i % 3], 300.0 + 230.0 * i + 7.3, kOverText);
        s.snr_db = 10.0 * (i % 5) / 4.0;
        s.start_sample = static_cast<std::size_t>((1.0 + 0.5 * i) * 8000.0);
        scene.stations.push_back(std::move(s));
    }
    // The same audio time in every row, whatever the stations.
    const std::size_t length = length_s
                                   ? static_cast<std::size_t>(*length_s * 8000.0)
                                   : make_over(1, 1000.0, kOverText).samples.size() + 10 * 8000;
    if (length_s) {
        // The overs cut to it: what is on the air after the end is not received anyway.
        for (SceneStation& s : scene.stations)
            s.over.samples.resize(std::min(s.over.samples.size(), length - s.start_sample));
    }
    scene.length_samples = length;
    return scene;
}

std::optional<CostRun> time_runs(const BenchContext& ctx, const std::string& path,
                                 const Scene& scene, BandRange range, int runs,
                                 std::string& error) {
    std::vector<BandRun> done;
    for (int k = 0; k < runs; ++k) {
        done.push_back(run_band_tool_on(ctx.tool, path, range));
        if (!done.back().error.empty()) {
            error = done.back().error;
            return std::nullopt;
        }
    }
    std::sort(done.begin(), done.end(),
              [](const BandRun& a, const BandRun& b) { return a.cpu_s < b.cpu_s; });
    const BandRun& median = done[done.size() / 2];
    CostRun r;
    r.stations = static_cast<int>(scene.stations.size());
    for (const SceneStation& s : scene.stations)
        r.stations_in_range +=
            s.over.tone5_hz >= range.from_hz && s.over.tone5_hz <= range.to_hz ? 1 : 0;
    r.range = range;
    r.audio_s = scene.length_s();
    r.wall_s = median.wall_s;
    r.cpu_s = median.cpu_s;
    std::fprintf(stderr,
                 "  %d stations (%d in %.0f..%.0f Hz): %.1f s of audio in %.2f s CPU, "
                 "%.2f s wall\n",
                 r.stations, r.stations_in_range, range.from_hz, range.to_hz, r.audio_s, r.cpu_s,
                 r.wall_s);
    return r;
}

} // namespace

CostResults measure_cost(const BenchContext& ctx, const CostPlan& plan, std::string& error) {
    std::fprintf(stderr, "cost\n");
    CostResults out;
    std::vector<int> counts = plan.station_counts;
    for (const int n : plan.width_station_counts) {
        if (std::find(counts.begin(), counts.end(), n) == counts.end()) counts.push_back(n);
    }
    for (const int n : counts) {
        const Scene scene = cost_scene(n, plan.seed, plan.length_s);
        const std::string path = ctx.dir + "/cost.wav";
        if (!write_wav(path, render(scene).samples, error)) return {};
        const bool by_count = std::find(plan.station_counts.begin(), plan.station_counts.end(),
                                        n) != plan.station_counts.end();
        if (by_count) {
            const auto r = time_runs(ctx, path, scene, BandRange{}, plan.runs, error);
            if (!r) return {};
            out.by_stations.push_back(*r);
        }
        if (std::find(plan.width_station_counts.begin(), plan.width_station_counts.end(), n) !=
            plan.width_station_counts.end()) {
            for (const BandRange& range : plan.widths) {
                const auto r = time_runs(ctx, path, scene, range, plan.runs, error);
                if (!r) return {};
                out.by_width.push_back(*r);
            }
        }
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    return out;
}

} // namespace quavel::perf
