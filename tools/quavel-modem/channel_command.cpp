// quavel-modem channel: passes a recording through the simulated HF channel of channel/.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channel/channel.h"
#include "commands.h"
#include "platform/wav/wav_file.h"
#include "tools/command_line/command_line.h"

namespace quavel::tools {

namespace {

constexpr const char* kUsage =
    "usage: quavel-modem channel [OPTIONS] IN.wav OUT.wav\n"
    "\n"
    "Passes a recording (WAV, 8000 Hz, 16-bit, mono) through a simulated HF channel: fading,\n"
    "then a frequency offset, then a neighbouring station and a carrier, then a sample-clock\n"
    "error, then white noise and static crashes, then AGC steps and clipping. Without options\n"
    "the output equals the input. Each option may be given once, as '--option VALUE' or\n"
    "'--option=VALUE'; '--' ends the options.\n"
    "\n"
    "  --snr DB        add white Gaussian noise, DB (-40..100) being the input signal's power\n"
    "                  over the noise power in 2500 Hz. The signal's power is its mean square\n"
    "                  from the first to the last 32 ms block whose power is within 30 dB of the\n"
    "                  loudest block's (and above 1 LSB rms): leading and trailing silence does\n"
    "                  not count, pauses inside the signal do. Measured on the clean input, so\n"
    "                  fading varies the SNR around DB.\n"
    "  --offset HZ     shift every frequency by HZ (-2000..2000) without a mirror image\n"
    "  --ppm PPM       sample-clock error of PPM parts per million (-10000..10000): the output\n"
    "                  has (1 + PPM/1e6) times as many samples and every tone comes out that\n"
    "                  much lower\n"
    "  --fading MODEL  two-path Gaussian-Doppler (Watterson) fading; MODEL is one of\n"
    "                    quiet      0.5 ms, 0.1 Hz  (ITU-R F.1487 mid-latitude quiet)\n"
    "                    moderate   1 ms,   0.5 Hz  (mid-latitude moderate)\n"
    "                    disturbed  2 ms,   1 Hz    (mid-latitude disturbed)\n"
    "                    flutter    0.5 ms, 10 Hz\n"
    "                    custom     as set by the three options below\n"
    "  --delay MS      custom fading: the second path's delay, 0..10 ms (needed with 2 paths)\n"
    "  --spread HZ     custom fading: Doppler spread, the two-sigma width of the Gaussian\n"
    "                  Doppler spectrum, 0..100 Hz (needed; 0 gives a fixed random gain)\n"
    "  --paths N       custom fading: 1 or 2 paths of equal mean power (default 2)\n"
    "  --neighbour FILE  add a second station, FILE (WAV as IN), moved by --neighbour-offset\n"
    "                  HZ (default 150), its power --neighbour-db DB (-40..100, default 0) above\n"
    "                  the input signal's, starting --neighbour-start S (default 0) seconds in;\n"
    "                  it fades with the same model as the input, independently\n"
    "  --carrier DB    add a steady carrier DB (-40..100) above the signal's power, at\n"
    "                  --carrier-hz HZ (0..4000, needed)\n"
    "  --crashes RATE  add static crashes, RATE (0..100) a second at random: bursts of noise\n"
    "                  1 to 5 ms long, 20 to 40 dB above the white noise (needs --snr)\n"
    "  --agc-step DB   step the whole audio DB (0..60) down and back, as a receiver's AGC\n"
    "                  would: down for every other --agc-period S (0.05..3600, default 3)\n"
    "  --clip DB       clip the audio DB (-20..40) above its rms, as an overdriven sound card\n"
    "                  would\n"
    "  --level DB      scale the output by DB (-60..60) and clip what still goes beyond the\n"
    "                  16-bit range (counted on stderr); without it an output that would clip\n"
    "                  is scaled down just enough that nothing clips, and stderr says by how\n"
    "                  much (the SNR is the same either way)\n"
    "  --seed N        seed of the fading and the noise, 0..18446744073709551615 (default 1);\n"
    "                  the same seed gives the same output on every platform\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 done, 1 input unreadable or output not written, 2 usage error.\n";

constexpr const char* kName = "quavel-modem channel";

struct Options {
    std::string input_path;
    std::string output_path;
    channel::ChannelParams params;
    channel::OutputLevel level{channel::OutputLevel::Mode::Fit};
    std::string neighbour_path;
};

std::optional<double> parse_number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<uint64_t> parse_seed(std::string_view text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// What the command line gave, each value checked on its own.
struct Given {
    std::optional<double> snr, offset, ppm, delay, spread, paths, level;
    std::optional<uint64_t> seed;
    std::optional<std::string> model;
    std::optional<double> neighbour_db, neighbour_offset, neighbour_start, carrier, carrier_hz,
        crashes, agc_step, agc_period, clip;
    std::optional<std::string> neighbour;
    std::vector<std::string> files;
};

// Fills `options` from what was given, checking the values together; returns an error
// message, empty on success.
std::string check(const Given& g, Options& options) {
    const auto& [snr, offset, ppm, delay, spread, paths, level, seed, model, neighbour_db,
                 neighbour_offset, neighbour_start, carrier, carrier_hz, crashes, agc_step,
                 agc_period, clip, neighbour, positional] = g;
    if (positional.size() != 2)
        return positional.size() < 2 ? "need an input and an output file"
                                     : "too many file names ('" + positional[2] + "')";
    options.input_path = positional[0];
    options.output_path = positional[1];

    channel::ChannelParams& p = options.params;
    if (model && *model == "custom") {
        channel::FadingParams f;
        if (paths) {
            if (*paths != 1.0 && *paths != 2.0) return "option '--paths' must be 1 or 2";
            f.path_count = static_cast<int>(*paths);
        }
        if (!spread) return "'--fading custom' needs --spread";
        if (f.path_count == 2 && !delay) return "'--fading custom' with two paths needs --delay";
        f.spread_hz = *spread;
        f.delay_ms = delay.value_or(0.0);
        p.fading = f;
    } else if (model) {
        p.fading = channel::fading_preset(*model);
        if (!p.fading)
            return "unknown fading model '" + *model +
                   "' (quiet, moderate, disturbed, flutter or custom)";
    }
    if ((delay || spread || paths) && !(model && *model == "custom"))
        return "--delay, --spread and --paths belong to '--fading custom'";
    p.offset_hz = offset.value_or(0.0);
    p.clock_ppm = ppm.value_or(0.0);
    p.snr_db = snr;
    if (seed) p.seed = *seed;
    if ((neighbour_db || neighbour_offset || neighbour_start) && !neighbour)
        return "--neighbour-db, --neighbour-offset and --neighbour-start need --neighbour";
    if (neighbour) {
        options.neighbour_path = *neighbour;
        p.neighbour = channel::NeighbourParams{};
        p.neighbour->level_db = neighbour_db.value_or(0.0);
        p.neighbour->offset_hz = neighbour_offset.value_or(p.neighbour->offset_hz);
        p.neighbour->start_s = neighbour_start.value_or(0.0);
    }
    if (carrier_hz && !carrier) return "--carrier-hz needs --carrier";
    if (carrier) {
        if (!carrier_hz) return "--carrier needs --carrier-hz";
        p.carrier = channel::CarrierParams{*carrier, *carrier_hz};
    }
    if (crashes) {
        if (!snr) return "--crashes needs --snr: crashes are set against the noise";
        p.crashes = channel::CrashParams{};
        p.crashes->rate_hz = *crashes;
    }
    if (agc_period && !agc_step) return "--agc-period needs --agc-step";
    if (agc_step) p.agc = channel::AgcParams{*agc_step, agc_period.value_or(3.0)};
    p.clip_db = clip;
    if (level) {
        if (*level < channel::kMinGainDb || *level > channel::kMaxGainDb)
            return "option '--level' must be -60..60 dB";
        options.level = {channel::OutputLevel::Mode::Gain, *level};
    }
    return channel::check_channel_params(p);
}

// Returns an exit code when the command is finished with (help or a usage error).
std::optional<int> parse(const std::vector<std::string>& args, Options& options) {
    CommandLine cli(kName, "Try 'quavel-modem channel --help'.");
    cli.help([](std::FILE* out) { std::fputs(kUsage, out); });
    cli.refuse_repeats();
    Given g;
    const std::pair<const char*, std::optional<double>*> numbers[] = {
        {"--snr", &g.snr},
        {"--offset", &g.offset},
        {"--ppm", &g.ppm},
        {"--delay", &g.delay},
        {"--spread", &g.spread},
        {"--paths", &g.paths},
        {"--level", &g.level},
        {"--neighbour-db", &g.neighbour_db},
        {"--neighbour-offset", &g.neighbour_offset},
        {"--neighbour-start", &g.neighbour_start},
        {"--carrier", &g.carrier},
        {"--carrier-hz", &g.carrier_hz},
        {"--crashes", &g.crashes},
        {"--agc-step", &g.agc_step},
        {"--agc-period", &g.agc_period},
        {"--clip", &g.clip}};
    for (const auto& [name, slot] : numbers) {
        cli.option(
            name,
            [name, slot](const std::string& v) -> std::string {
                *slot = parse_number(v);
                if (!*slot)
                    return std::string("option '") + name + "': '" + v + "' is not a number";
                return {};
            },
            std::string("option '") + name + "' needs a value");
    }
    cli.option(
        "--seed",
        [&g](const std::string& v) -> std::string {
            g.seed = parse_seed(v);
            if (!g.seed)
                return "option '--seed': '" + v + "' is not a whole number 0.." +
                       std::to_string(UINT64_MAX);
            return {};
        },
        "option '--seed' needs a value");
    const std::pair<const char*, std::optional<std::string>*> words[] = {
        {"--fading", &g.model}, {"--neighbour", &g.neighbour}};
    for (const auto& [name, slot] : words) {
        cli.option(
            name,
            [slot](const std::string& v) -> std::string {
                *slot = v;
                return {};
            },
            std::string("option '") + name + "' needs a value");
    }
    cli.operands(g.files);
    if (const auto code = cli.parse(args)) return code;
    if (const std::string error = check(g, options); !error.empty()) return cli.usage_error(error);
    return std::nullopt;
}

} // namespace

int run_channel(const std::vector<std::string>& args) {
    Options options;
    if (const auto code = parse(args, options)) return *code;

    const WavData input = read_wav(options.input_path);
    if (!input.ok()) {
        std::fprintf(stderr, "%s: %s\n", kName, input.error.c_str());
        return 1;
    }
    if (options.params.neighbour) {
        const WavData neighbour = read_wav(options.neighbour_path);
        if (!neighbour.ok()) {
            std::fprintf(stderr, "%s: %s\n", kName, neighbour.error.c_str());
            return 1;
        }
        options.params.neighbour->samples.assign(neighbour.samples.begin(),
                                                 neighbour.samples.end());
    }
    const auto output = channel::apply_channel(std::span<const int16_t>(input.samples),
                                               options.params, options.level);
    if (!output.ok()) {
        std::fprintf(stderr, "%s: %s: %s\n", kName, options.input_path.c_str(),
                     output.error.c_str());
        return 1;
    }
    std::string error;
    if (!write_wav(options.output_path, output.samples, error)) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 1;
    }
    if (options.level.mode == channel::OutputLevel::Mode::Fit && output.report.gain_db < 0.0)
        std::fprintf(stderr,
                     "%s: the output was scaled down by %.1f dB so that no sample clips "
                     "(--level sets the gain)\n",
                     kName, -output.report.gain_db);
    if (output.report.hard_clipped > 0)
        std::fprintf(stderr, "%s: --clip changed %zu of %zu samples\n", kName,
                     output.report.hard_clipped, output.samples.size());
    if (output.report.clipped_samples > 0)
        std::fprintf(stderr, "%s: %zu of %zu samples clipped to the 16-bit range\n", kName,
                     output.report.clipped_samples, output.samples.size());
    return 0;
}

} // namespace quavel::tools
