#include "realtime_factor.h"

#include <algorithm>
#include <tuple>

#include "platform/wav/wav_file.h"
#include "process.h"
#include "sweep.h"
#include "table.h"

namespace quavel::perf {

std::optional<std::vector<RealTimeRun>> measure_realtime(const std::string& tool,
                                                         const Transmission& tx,
                                                         const std::string& dir,
                                                         std::string& error) {
    const TrialSpec noisy =
        trial_spec(ChannelKind::Awgn, sweep_start_db(tx.speed, ChannelKind::Awgn), tx.speed, 0,
                   tx.symbol_samples);
    ReceivedAudio audio = through_channel(tx, noisy);
    const std::string noisy_path = dir + "/noisy.wav";
    if (!audio.error.empty() || !write_wav(noisy_path, audio.samples, error)) {
        error = "cannot write the noisy recording: " + audio.error + error;
        return std::nullopt;
    }
    const std::string clean_path = dir + "/tx" + std::to_string(tx.speed) + ".wav";
    std::vector<RealTimeRun> out;
    for (const auto& [name, path, samples] :
         {std::tuple<std::string, std::string, std::size_t>{"clean", clean_path, tx.samples.size()},
          {"awgn " + signed_fixed(*noisy.channel.snr_db, 1) + " dB", noisy_path,
           audio.samples.size()}}) {
        std::vector<ProcessResult> runs;
        for (int k = 0; k < 3; ++k) {
            runs.push_back(run_process({tool, "rx", "--speed", std::to_string(tx.speed), path}));
            if (runs.back().exit_code != 0) {
                error = "quavel-modem rx failed: " + runs.back().err;
                return std::nullopt;
            }
        }
        std::sort(runs.begin(), runs.end(),
                  [](const auto& a, const auto& b) { return a.wall_seconds < b.wall_seconds; });
        const ProcessResult& median = runs[1];
        out.push_back({tx.speed, name, static_cast<double>(samples) / 8000.0, median.wall_seconds,
                       median.cpu_seconds});
    }
    return out;
}

} // namespace quavel::perf
