#include "speed_trials.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "band_probe.h"
#include "parallel.h"
#include "texts.h"

namespace quavel::perf {

namespace {

constexpr std::array<double, 4> kSnrDb{0.0, 3.0, 6.0, 10.0};
constexpr std::array<uint32_t, 3> kSpeeds{1, 2, 4};
// Seconds of the recording after an over starts that the weak receiver is given to lock.
constexpr double kWeakLockWindowS = 30.0;
// The tool hands the receiver whole capture blocks of 2048 samples, the library here 16 ms at a
// time: a line ends in the same block, the tool's time at that block's end.
constexpr double kToolBlockS = 0.256;
// Where the receiver cuts a line that runs on.
constexpr std::size_t kLineCharacters = 60;

Scene calls_scene(int recording, uint64_t seed) {
    const uint64_t key = seed * 100000 + 9000 + static_cast<uint64_t>(recording);
    Scene scene;
    scene.seed = key;
    for (int j = 0; j < kCallsPerRecording; ++j) {
        const int n = recording * kCallsPerRecording + j;
        SceneStation s;
        // Every speed and SNR as often as the others, in changing company.
        const uint32_t speed = kSpeeds[static_cast<std::size_t>((n + recording) % 3)];
        const double freq = 300.0 + 210.0 * j + draw(key, static_cast<uint64_t>(j), -20.0, 20.0);
        s.over = make_over(speed, freq, call_text(static_cast<uint32_t>(n)));
        s.snr_db = kSnrDb[static_cast<std::size_t>((n / 3) % kSnrDb.size())];
        s.start_sample = static_cast<std::size_t>(draw(key, 100 + j, 0.5, 10.0) * 8000.0);
        scene.stations.push_back(std::move(s));
    }
    scene.length_samples = length_after_overs(scene, 4.0);
    return scene;
}

struct RecordingResult {
    std::vector<CallResult> calls;
    std::size_t false_lines = 0;
    double audio_s = 0.0;
    bool tool_run = false;
    bool tool_agreed = false;
    std::string error;
};

RecordingResult run_recording(const BenchContext& ctx, int recording, uint64_t seed) {
    RecordingResult out;
    const Scene scene = calls_scene(recording, seed);
    const Rendered audio = render(scene);
    out.audio_s = scene.length_s();
    const std::vector<ProbeStation> probed = probe_band(audio.samples);
    std::vector<BandLine> lines;
    for (const ProbeStation& p : probed)
        lines.insert(lines.end(), p.lines.begin(), p.lines.end());
    lines = as_printed(lines);
    if (recording % kToolEvery == 0) {
        const std::string path = ctx.dir + "/calls" + std::to_string(recording) + ".wav";
        const BandRun run = run_band_tool(ctx.tool, audio.samples, path);
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (!run.error.empty()) {
            out.error = run.error;
            return out;
        }
        out.tool_run = true;
        out.tool_agreed = same_lines(as_printed(run.lines), lines, kToolBlockS);
    }
    const SceneScore score = score_scene(scene, lines);
    out.false_lines = score.false_lines.size();

    for (std::size_t i = 0; i < scene.stations.size(); ++i) {
        const SceneStation& st = scene.stations[i];
        const StationCopy& copy = score.stations[i];
        CallResult c;
        c.speed = st.over.speed;
        c.snr_db = st.snr_db;
        c.freq_hz = st.over.tone5_hz;
        c.symbol_s = st.over.symbol_s();
        c.chars = st.over.text.size();
        c.listed = copy.listed();
        c.errors = copy.errors;
        c.wrong_speed_lines = copy.wrong_speed;
        c.ids = copy.ids;
        if (copy.text == st.over.text) {
            for (const auto& [length, time_s] : copy.line_ends) {
                if (length > 0 && length < st.over.text.size() && length % kLineCharacters == 0)
                    c.line_latency_s.push_back(time_s - st.char_end_s(length - 1));
            }
        }
        // The library's station nearest this over, the first found if it was found twice.
        const ProbeStation* found = nullptr;
        for (const ProbeStation& p : probed) {
            if (std::abs(p.freq_hz - st.over.tone5_hz) > kMatchHz || p.text.empty()) continue;
            if (!found || p.found_s < found->found_s) found = &p;
        }
        if (found) {
            c.found_s = found->found_s - st.start_s();
            c.found_speed = found->speed;
            if (found->text == st.over.text) {
                for (std::size_t k = found->held; k < found->text.size(); ++k)
                    c.latency_s.push_back(found->printed_s[k] - st.char_end_s(k));
            }
        }
        const WeakCopy weak = copy_weak(scene, i, audio.samples, st.start_s() + kWeakLockWindowS);
        if (weak.lock_s) c.weak_lock_s = *weak.lock_s - st.start_s();
        out.calls.push_back(std::move(c));
    }
    return out;
}

} // namespace

SpeedTrials measure_speed_trials(const BenchContext& ctx, int calls, uint64_t seed,
                                 std::string& error) {
    const int recordings = (calls + kCallsPerRecording - 1) / kCallsPerRecording;
    std::fprintf(stderr, "speed found: %d calls in %d recordings\n",
                 recordings * kCallsPerRecording, recordings);
    const auto results = parallel_map<RecordingResult>(
        recordings, ctx.jobs, [&](int r) { return run_recording(ctx, r, seed); });
    SpeedTrials out;
    for (const RecordingResult& r : results) {
        if (!r.error.empty() && error.empty()) error = r.error;
        out.calls.insert(out.calls.end(), r.calls.begin(), r.calls.end());
        out.false_lines += r.false_lines;
        out.audio_s += r.audio_s;
        out.tool_recordings += r.tool_run ? 1 : 0;
        out.tool_agreed += r.tool_agreed ? 1 : 0;
    }
    return out;
}

} // namespace quavel::perf
