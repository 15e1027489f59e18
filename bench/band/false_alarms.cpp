#include "false_alarms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "channel/random.h"
#include "parallel.h"
#include "texts.h"

namespace quavel::perf {

NoiseRun measure_noise(const BenchContext& ctx, double seconds, uint64_t seed, std::string& error) {
    std::fprintf(stderr, "noise alone: %.0f s\n", seconds);
    // Straight to 16 bits: an hour of it is 29 million samples.
    std::vector<int16_t> samples(static_cast<std::size_t>(seconds * 8000.0));
    channel::Random random(seed * 7919 + 17);
    for (int16_t& s : samples)
        s = static_cast<int16_t>(
            std::lround(std::clamp(kNoiseRms * random.gaussian(), -32768.0, 32767.0)));
    const std::string path = ctx.dir + "/noise.wav";
    BandRun run = run_band_tool(ctx.tool, samples, path);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    NoiseRun out;
    out.audio_s = static_cast<double>(samples.size()) / 8000.0;
    out.cpu_s = run.cpu_s;
    if (!run.error.empty()) error = run.error;
    out.lines = std::move(run.lines);
    return out;
}

std::vector<CarrierCase> measure_carriers(const BenchContext& ctx, uint64_t seed,
                                          std::string& error) {
    std::vector<CarrierCase> cases;
    for (const double db : {10.0, 30.0})
        cases.push_back({.name = "carrier alone", .carrier_hz = 1234.5, .carrier_db = db});
    // Beside a station at 0 dB: 100 Hz from its tone 5, outside its tones at every speed.
    for (const uint32_t speed : {1u, 2u, 4u})
        cases.push_back({.name = "carrier beside a station",
                         .carrier_hz = 1600.0,
                         .carrier_db = 20.0,
                         .speed = speed,
                         .station_hz = 1500.0,
                         .station_snr_db = 0.0});
    std::fprintf(stderr, "carriers: %zu cases\n", cases.size());
    const auto results = parallel_map<std::pair<Scene, SceneResult>>(
        static_cast<int>(cases.size()), ctx.jobs, [&](int k) {
            const CarrierCase& c = cases[static_cast<std::size_t>(k)];
            Scene scene;
            scene.seed = seed * 31 + static_cast<uint64_t>(k);
            scene.carriers.push_back({c.carrier_hz, c.carrier_db});
            if (c.speed != 0) {
                SceneStation s;
                s.over = make_over(c.speed, c.station_hz, kOverText);
                s.snr_db = c.station_snr_db;
                s.start_sample = 3 * 8000;
                scene.stations.push_back(std::move(s));
                scene.length_samples = length_after_overs(scene, 4.0);
            } else {
                scene.length_samples = 120 * 8000;
            }
            SceneResult r = run_scene(ctx, scene, 100 + k);
            return std::pair{std::move(scene), std::move(r)};
        });
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const auto& [scene, r] = results[k];
        CarrierCase& c = cases[k];
        if (!r.error.empty() && error.empty()) error = r.error;
        c.audio_s = scene.length_s();
        c.false_lines = r.score.false_lines.size();
        if (!scene.stations.empty() && !r.score.stations.empty()) {
            const StationCopy& copy = r.score.stations.front();
            c.station_listed = copy.listed();
            c.station_errors = copy.errors;
            c.station_chars = scene.stations.front().over.text.size();
            c.wrong_speed_lines = copy.wrong_speed;
        }
    }
    return cases;
}

} // namespace quavel::perf
