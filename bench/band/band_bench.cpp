#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "band_options.h"
#include "band_tables.h"
#include "company.h"
#include "report.h"
#include "sensitivity.h"

namespace quavel::perf {

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quavel_band_bench.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "quavel_band_bench: %s\n", message.c_str());
    return 1;
}

std::string read_machine() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown";
}

} // namespace

int run_band_bench(const BandOptions& o) {
    const auto started = std::chrono::steady_clock::now();
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    const BenchContext ctx{o.tool, dir.path(), o.jobs};

    SweepPlan alone;
    alone.repeats = o.repeats > 0 ? o.repeats : (o.quick ? 1 : 4);
    alone.seed = o.seed;
    if (o.quick) {
        alone.below_db = -3;
        alone.above_db = 2;
        alone.extend_db = 4;
    }
    // With company each recording holds more to measure (three stations in a crowd) or more
    // to receive: fewer of them a point, over a narrower range.
    // A quick run takes them 2 dB apart.
    SweepPlan company = alone;
    company.repeats = o.quick ? 1 : 2;
    company.below_db = o.quick ? -2 : -3;
    company.above_db = o.quick ? 2 : 3;
    company.step_db = o.quick ? 2 : 1;
    company.extend_db = o.quick ? 2 : 6;

    BandResults r;
    std::string error;
    auto part_started = std::chrono::steady_clock::now();
    const auto part_done = [&](const char* name) {
        const auto now = std::chrono::steady_clock::now();
        std::fprintf(stderr, "%s: %.0f s\n", name,
                     std::chrono::duration<double>(now - part_started).count());
        part_started = now;
    };
    if (o.has("sensitivity")) {
        r.alone = measure_sensitivity(ctx, alone, error);
        if (!error.empty()) return fail(error);
        part_done("sensitivity");
    }
    if (o.has("crowd")) {
        r.crowd = measure_crowd(ctx, company, error);
        if (!error.empty()) return fail(error);
        part_done("crowd");
    }
    if (o.has("neighbour")) {
        SweepPlan plan = company;
        plan.repeats = o.quick ? 1 : 4; // two stations a recording: cheap
        r.neighbour = measure_neighbour(ctx, plan, error);
        if (!error.empty()) return fail(error);
        part_done("neighbour");
    }
    if (o.has("speed")) {
        r.calls = measure_speed_trials(ctx, o.quick ? 24 : 1000, o.seed, error);
        if (!error.empty()) return fail(error);
        part_done("speed");
    }
    if (o.has("noise")) {
        r.noise = measure_noise(ctx, o.quick ? 300.0 : 3600.0, o.seed, error);
        if (!error.empty()) return fail(error);
        r.carriers = measure_carriers(ctx, o.seed, error);
        if (!error.empty()) return fail(error);
        part_done("noise");
    }
    if (o.has("cost")) {
        CostPlan plan;
        if (o.quick) {
            plan.station_counts = {0, 10};
            plan.widths = {{1000, 1500}, {200, 2800}};
            plan.width_station_counts = {10};
            plan.length_s = 60.0;
        }
        plan.runs = o.quick ? 1 : 3;
        plan.seed = o.seed;
        r.cost = measure_cost(ctx, plan, error);
        if (!error.empty()) return fail(error);
        part_done("cost");
    }
    const double elapsed_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    for (const auto& [name, content] : band_csv_files(r)) {
        if (!write_file(o.out_dir + "/" + name, content, error)) return fail(error);
    }
    const BandRunInfo info{.quick = o.quick,
                           .sweep_repeats = alone.repeats,
                           .company_repeats = company.repeats,
                           .jobs = o.jobs,
                           .machine = read_machine() + " (" +
                                      std::to_string(std::thread::hardware_concurrency()) +
                                      " logical CPUs)",
                           .elapsed_s = elapsed_s};
    for (const auto& [name, content] : band_document_blocks(r, info)) {
        std::printf("%s\n%s\n", name.c_str(), content.c_str());
        if (!o.doc.empty() && !splice_block(o.doc, name, content, error)) return fail(error);
    }
    std::fprintf(stderr, "quavel_band_bench: %.1f minutes\n", elapsed_s / 60.0);
    return 0;
}

int run_band_trace(const BandOptions& o) {
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    const BenchContext ctx{o.tool, dir.path(), o.jobs};
    const auto [speed, snr_db] = *o.trace;
    const int repeats = o.repeats > 0 ? o.repeats : 4;
    for (int r = 0; r < repeats; ++r) {
        const Scene scene = lone_station_scene(speed, snr_db, r, o.seed);
        const SceneResult result = run_scene(ctx, scene, 0, {true});
        if (!result.error.empty()) return fail(result.error);
        const SceneStation& s = scene.stations.front();
        const StationCopy& band = result.score.stations.front();
        std::printf(
            "repeat %d: %.1f Hz from %.2f s; band %zu errors in %zu lines (%zu ids, %zu at a "
            "wrong speed), weak %zu errors\n  band '%s'\n  weak '%s'\n",
            r, s.over.tone5_hz, s.start_s(), band.errors, band.lines, band.ids, band.wrong_speed,
            result.weak[0]->errors, band.text.c_str(), result.weak[0]->text.c_str());
        for (const BandLine& l : result.score.false_lines)
            std::printf("  false line %.2f s %.1f Hz speed %u '%s'\n", l.time_s, l.freq_hz, l.speed,
                        l.text.c_str());
    }
    return 0;
}

} // namespace quavel::perf
