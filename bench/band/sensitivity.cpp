#include "sensitivity.h"

#include <cstdio>
#include <functional>

#include "parallel.h"
#include "texts.h"

namespace quavel::perf {

double expected_weak_5pct_db(uint32_t speed) {
    return speed == 1 ? -21.0 : (speed == 2 ? -18.0 : -15.0);
}

Scene lone_station_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed) {
    const uint64_t key = seed * 1000 + speed * 100 + static_cast<uint64_t>(repeat);
    Scene scene;
    scene.seed = key;
    SceneStation s;
    // Anywhere the tones fit inside the stretch, not on a whole hertz.
    s.over = make_over(speed, draw(key, 1, 250.0, 2750.0), kOverText);
    s.snr_db = snr_db;
    s.start_sample = static_cast<std::size_t>(draw(key, 2, 1.5, 5.5) * 8000.0);
    scene.stations.push_back(std::move(s));
    scene.length_samples = length_after_overs(scene, 4.0);
    return scene;
}

PairCurve sweep_pair(const BenchContext& ctx, uint32_t speed, double base_db, const SweepPlan& plan,
                     const std::function<MeasuredScene(double snr_db, int repeat)>& trial,
                     std::string& error) {
    PairCurve curve;
    curve.speed = speed;
    // Measures the points at base + each offset, every repeat of each, on the threads at once.
    const auto measure = [&](const std::vector<int>& offsets) {
        const int count = static_cast<int>(offsets.size()) * plan.repeats;
        const auto results =
            parallel_map<std::pair<MeasuredScene, SceneResult>>(count, ctx.jobs, [&](int job) {
                const double snr = base_db + offsets[static_cast<std::size_t>(job / plan.repeats)];
                MeasuredScene m = trial(snr, job % plan.repeats);
                SceneResult r = run_scene(ctx, m.scene, job, m.measured);
                return std::pair{std::move(m), std::move(r)};
            });
        for (std::size_t k = 0; k < offsets.size(); ++k) {
            PairPoint p;
            p.snr_db = base_db + offsets[k];
            for (int r = 0; r < plan.repeats; ++r) {
                const auto& [m, result] = results[k * static_cast<std::size_t>(plan.repeats) +
                                                  static_cast<std::size_t>(r)];
                if (!result.error.empty() && error.empty()) error = result.error;
                if (!result.error.empty()) continue;
                p.false_lines += result.score.false_lines.size();
                for (std::size_t i = 0; i < m.scene.stations.size(); ++i) {
                    const StationCopy& band = result.score.stations[i];
                    if (!m.measured[i]) {
                        ++p.others;
                        p.others_listed += band.listed() ? 1 : 0;
                        p.others_chars += m.scene.stations[i].over.text.size();
                        p.others_errors += band.errors;
                        continue;
                    }
                    ++p.overs;
                    p.chars += m.scene.stations[i].over.text.size();
                    p.band_errors += band.errors;
                    p.weak_errors += result.weak[i] ? result.weak[i]->errors : 0;
                    p.unlisted += band.listed() ? 0 : 1;
                    p.wrong_speed += band.wrong_speed;
                }
            }
            std::fprintf(stderr, "  speed %u %+5.1f dB: band %.4f  weak %.4f  (%d overs%s)\n",
                         speed, p.snr_db, p.band_cer(), p.weak_cer(), p.overs,
                         p.unlisted ? ", some not listed" : "");
            curve.points.push_back(p);
        }
    };
    std::vector<int> fixed;
    for (int d = plan.below_db; d <= plan.above_db; d += plan.step_db)
        fixed.push_back(d);
    measure(fixed);
    for (int d = fixed.back() + plan.step_db;
         d <= plan.above_db + plan.extend_db && error.empty() && !curve.points.empty() &&
         curve.points.back().band_cer() > kCerTarget;
         d += plan.step_db)
        measure({d});
    return curve;
}

std::vector<PairCurve> measure_sensitivity(const BenchContext& ctx, const SweepPlan& plan,
                                           std::string& error) {
    std::vector<PairCurve> curves;
    for (const uint32_t speed : plan.speeds) {
        std::fprintf(stderr, "sensitivity, speed %u\n", speed);
        curves.push_back(sweep_pair(
            ctx, speed, expected_weak_5pct_db(speed), plan,
            [&](double snr_db, int repeat) {
                return MeasuredScene{lone_station_scene(speed, snr_db, repeat, plan.seed), {true}};
            },
            error));
        if (!error.empty()) return {};
    }
    return curves;
}

} // namespace quavel::perf
