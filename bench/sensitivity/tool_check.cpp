#include "tool_check.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/wav/wav_file.h"
#include "process.h"
#include "receive_run.h"
#include "sweep.h"
#include "table.h"

namespace quavel::perf {

namespace {

std::string format_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

} // namespace

std::optional<Transmission> make_transmission(const std::string& tool, uint32_t speed,
                                              const std::string& text, const std::string& dir,
                                              std::string& error) {
    const std::string path = dir + "/tx" + std::to_string(speed) + ".wav";
    const ProcessResult run =
        run_process({tool, "tx", "--speed", std::to_string(speed), "-o", path, "--", text});
    if (run.exit_code != 0) {
        error = "quavel-modem tx failed (" + std::to_string(run.exit_code) + "): " + run.err;
        return std::nullopt;
    }
    WavData wav = read_wav(path);
    if (!wav.ok()) {
        error = wav.error;
        return std::nullopt;
    }
    Transmission tx;
    tx.speed = speed;
    tx.text = text;
    tx.symbol_samples = speed == 1 ? 8192 : (speed == 2 ? 4096 : 2048);
    tx.samples = std::move(wav.samples);
    if (tx.samples.size() % tx.symbol_samples != 0) {
        error = "quavel-modem tx wrote " + std::to_string(tx.samples.size()) +
                " samples, not whole symbols";
        return std::nullopt;
    }
    return tx;
}

ToolCheck check_channel_tool(const std::string& tool, const Transmission& tx, const TrialSpec& spec,
                             const std::string& dir) {
    ToolCheck check;
    const std::string in = dir + "/channel_in.wav";
    const std::string out = dir + "/channel_out.wav";
    std::string error;
    if (!write_wav(in, padded_transmission(tx, spec.lead_samples), error)) {
        check.detail = error;
        return check;
    }
    // --level 0: the library's own output, clipped where it must be, not scaled to fit.
    std::vector<std::string> argv{tool,      "channel", "--seed", std::to_string(spec.channel.seed),
                                  "--level", "0"};
    if (spec.channel.snr_db) {
        argv.insert(argv.end(), {"--snr", format_number(*spec.channel.snr_db)});
    }
    if (spec.channel.fading) {
        const auto& f = *spec.channel.fading;
        argv.insert(argv.end(),
                    {"--fading", "custom", "--paths", std::to_string(f.path_count), "--delay",
                     format_number(f.delay_ms), "--spread", format_number(f.spread_hz)});
    }
    if (spec.channel.offset_hz != 0.0) {
        argv.insert(argv.end(), {"--offset", format_number(spec.channel.offset_hz)});
    }
    if (spec.channel.clock_ppm != 0.0) {
        argv.insert(argv.end(), {"--ppm", format_number(spec.channel.clock_ppm)});
    }
    argv.insert(argv.end(), {in, out});
    const ProcessResult run = run_process(argv);
    if (run.exit_code != 0) {
        check.detail = "quavel-modem channel failed: " + run.err;
        return check;
    }
    const WavData tool_out = read_wav(out);
    if (!tool_out.ok()) {
        check.detail = tool_out.error;
        return check;
    }
    TrialSpec unlevelled = spec;
    unlevelled.set_level = false;
    const ReceivedAudio library = through_channel(tx, unlevelled);
    if (!library.error.empty() || library.samples.size() != tool_out.samples.size()) {
        check.detail = "lengths differ: library " + std::to_string(library.samples.size()) +
                       ", tool " + std::to_string(tool_out.samples.size()) + " " + library.error;
        return check;
    }
    std::size_t differing = 0;
    int largest = 0;
    for (std::size_t i = 0; i < library.samples.size(); ++i) {
        const int d = std::abs(library.samples[i] - tool_out.samples[i]);
        if (d != 0) ++differing;
        largest = std::max(largest, d);
    }
    check.passed = largest <= 1;
    check.detail = std::to_string(library.samples.size()) + " samples, " +
                   std::to_string(differing) + " differ, by at most " + std::to_string(largest);
    return check;
}

ToolCheck check_receive_tool(const std::string& tool, const Transmission& tx, const TrialSpec& spec,
                             const std::string& dir) {
    ToolCheck check;
    ReceivedAudio audio = through_channel(tx, spec);
    if (!audio.error.empty()) {
        check.detail = audio.error;
        return check;
    }
    const std::string path = dir + "/received.wav";
    std::string error;
    if (!write_wav(path, audio.samples, error)) {
        check.detail = error;
        return check;
    }
    const ProcessResult run = run_process({tool, "rx", "--speed", std::to_string(tx.speed),
                                           "--freq", std::to_string(tx.centre_hz), path});
    if (run.exit_code != 0) {
        check.detail = "quavel-modem rx failed: " + run.err;
        return check;
    }
    ReceiveOptions options;
    options.speed = tx.speed;
    options.centre_hz = tx.centre_hz;
    const ReceiveResult library = receive(std::move(audio.samples), options);
    // The tool ends its output with one line break.
    std::string_view printed = run.out;
    if (!printed.empty() && printed.back() == '\n') printed.remove_suffix(1);
    check.passed = printed == library.text;
    check.detail = check.passed ? std::to_string(library.text.size()) + " characters agree"
                                : "tool printed '" + std::string(printed) + "', library '" +
                                      library.text + "'";
    return check;
}

bool check_tools(const std::string& tool, const std::map<uint32_t, Transmission>& txs,
                 bool fading_case, const std::string& dir, std::string& log) {
    bool all = true;
    for (const auto& [speed, tx] : txs) {
        std::vector<std::pair<std::string, ToolCheck>> checks;
        TrialSpec quiet = trial_spec(ChannelKind::Quiet, 20.0, speed, 0, tx.symbol_samples);
        checks.emplace_back("channel, quiet fading at +20 dB",
                            check_channel_tool(tool, tx, quiet, dir));
        const TrialSpec awgn =
            trial_spec(ChannelKind::Awgn, sweep_start_db(speed, ChannelKind::Awgn), speed, 1,
                       tx.symbol_samples);
        checks.emplace_back("rx, awgn at " + signed_fixed(*awgn.channel.snr_db, 1) + " dB",
                            check_receive_tool(tool, tx, awgn, dir));
        if (fading_case) {
            const TrialSpec disturbed =
                trial_spec(ChannelKind::Disturbed, 0.0, speed, 2, tx.symbol_samples);
            checks.emplace_back("rx, disturbed at +0.0 dB",
                                check_receive_tool(tool, tx, disturbed, dir));
        }
        for (const auto& [what, check] : checks) {
            log += "speed " + std::to_string(speed) + ", " + what + ": " +
                   (check.passed ? "agree" : "DIFFER") + " (" + check.detail + ")\n";
            all = all && check.passed;
        }
    }
    return all;
}

} // namespace quavel::perf
