#include "scene_run.h"

#include <filesystem>

#include "channel/random.h"

namespace quavel::perf {

SceneResult run_scene(const BenchContext& ctx, const Scene& scene, int slot,
                      const std::vector<bool>& weak_for, BandRange range) {
    SceneResult result;
    const Rendered audio = render(scene);
    result.clipped = audio.clipped;
    const std::string path = ctx.dir + "/scene" + std::to_string(slot) + ".wav";
    BandRun run = run_band_tool(ctx.tool, audio.samples, path, range);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    result.wall_s = run.wall_s;
    result.cpu_s = run.cpu_s;
    if (!run.error.empty()) {
        result.error = run.error;
        return result;
    }
    if (run.bad_lines > 0)
        result.error = std::to_string(run.bad_lines) + " lines of the tool's output are not JSON";
    result.score = score_scene(scene, run.lines);
    result.weak.resize(scene.stations.size());
    for (std::size_t i = 0; i < scene.stations.size() && i < weak_for.size(); ++i) {
        if (weak_for[i]) result.weak[i] = copy_weak(scene, i, audio.samples);
    }
    return result;
}

double draw(uint64_t seed, uint64_t index, double low, double high) {
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + index;
    channel::Random random(channel::splitmix64(state));
    return low + (high - low) * random.uniform();
}

} // namespace quavel::perf
