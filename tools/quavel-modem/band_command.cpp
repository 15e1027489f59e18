// quavel-modem rx --band: every station of the mode in a stretch of the passband copied at once,
// from a recording or the sound card's input, one line printed per line of each station's text.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "platform/wav/wav_file.h"
#include "platform/wav/wav_input.h"
#include "rx/band_receiver.h"
#include "rx/receive_chain.h"
#include "sound_card.h"
#include "tools/command_line/command_line.h"

namespace quavel::tools {

namespace {

constexpr const char* kName = "quavel-modem rx";
constexpr int kReceiveTickMs = 2;
constexpr long long kMaxSeconds = 86400;
constexpr double kLowestHz = 100.0;
constexpr double kHighestHz = 3900.0;

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: quavel-modem rx --band [OPTIONS] FILE.wav\n"
                 "       quavel-modem rx --band [OPTIONS] -      (raw 16-bit little-endian "
                 "samples on standard input)\n"
                 "       quavel-modem rx --band [OPTIONS] [--device DEVICE] [--seconds N]\n"
                 "\n"
                 "Copies every station of the mode between --from and --to at once, each at the\n"
                 "speed it sends (found, not given), and prints a line each time a station's text\n"
                 "has advanced by a line (a pause of 3 s, 60 characters or a line break) and at\n"
                 "the end:\n"
                 "  TIME s  FREQ Hz  speed S  SNR DB dB  TEXT\n"
                 "TIME is seconds into the audio where the line ended, FREQ the station's tone 5\n"
                 "and SNR the estimate in 2500 Hz ('--' while unknown). A station is found a few\n"
                 "seconds after it starts; what it sent before is copied from the audio kept, so\n"
                 "its first line may end earlier than lines already printed.\n"
                 "\n"
                 "options:\n"
                 "  --from HZ       lowest tone 5 frequency looked at, %g..%g Hz (default 200)\n"
                 "  --to HZ         highest (default 2800)\n"
                 "  --json          each line as one JSON object: time_s, station (a number per\n"
                 "                  station copied), freq_hz, speed, snr_db (null while unknown),\n"
                 "                  text\n"
                 "  --seconds N     stop capturing from the audio input after N seconds (1..%lld)\n"
                 "  --device DEVICE capture from DEVICE: its id, its name or a part of its name\n"
                 "  --help          this text\n"
                 "\n"
                 "Exit status: 0 done (also when stopped by a signal), 1 unreadable input or the\n"
                 "audio input cannot be opened or stops, 2 usage error.\n",
                 kLowestHz, kHighestHz, kMaxSeconds);
}

struct Options {
    double from_hz = 200.0;
    double to_hz = 2800.0;
    bool json = false;
    std::optional<std::string> input;
    std::optional<long long> seconds;
    std::string device;
};

std::optional<double> parse_hz(const std::string& text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    if (!(value >= kLowestHz && value <= kHighestHz)) return std::nullopt;
    return value;
}

std::optional<int> parse(const std::vector<std::string>& args, Options& o) {
    CommandLine cli(kName, "Try 'quavel-modem rx --band --help'.");
    cli.help(usage);
    bool band = false;
    cli.flag("--band", band);
    for (auto [name, field] : {std::pair{"--from", &o.from_hz}, std::pair{"--to", &o.to_hz}}) {
        const std::string option = name;
        cli.option(option, [option, field](const std::string& v) -> std::string {
            const auto hz = parse_hz(v);
            if (!hz) {
                char range[64];
                std::snprintf(range, sizeof range, "%g..%g Hz", kLowestHz, kHighestHz);
                return option + " must be a frequency in " + range + ", not '" + v + "'";
            }
            *field = *hz;
            return {};
        });
    }
    cli.flag("--json", o.json);
    cli.option("--seconds", [&o](const std::string& v) -> std::string {
        long long n = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > kMaxSeconds)
            return "--seconds must be a whole number from 1 to " + std::to_string(kMaxSeconds) +
                   ", not '" + v + "'";
        o.seconds = n;
        return {};
    });
    cli.option("--device", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "--device needs a device's id or name";
        o.device = v;
        return {};
    });
    std::vector<std::string> inputs;
    cli.operands(inputs);
    if (const auto code = cli.parse(args)) return code;
    if (o.to_hz - o.from_hz < 10.0)
        return cli.usage_error("--to must lie at least 10 Hz above --from");
    if (inputs.size() > 1)
        return cli.usage_error("only one input, not '" + inputs[0] + "' and '" + inputs[1] + "'");
    if (!inputs.empty()) o.input = inputs[0];
    if (o.input && (o.seconds || !o.device.empty()))
        return cli.usage_error(std::string(o.seconds ? "--seconds" : "--device") +
                               " is for capture from the audio input, not for '" + *o.input + "'");
    return std::nullopt;
}

// JSON string contents: quotes, backslashes and control characters escaped; bytes beyond ASCII
// (none of the alphabets' characters are) written as the Latin-1 code points they would be.
void put_json_string(std::string_view text, std::string& out) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7f) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += ch;
        }
    }
    out += '"';
}

class LinePrinter : public BandListener {
public:
    explicit LinePrinter(bool json) : json_(json) {}
    void line(const BandLine& line) override {
        const BandStation& s = line.station;
        std::string out;
        char number[96];
        if (json_) {
            std::snprintf(
                number, sizeof number,
                "{\"time_s\":%.2f,\"station\":%u,\"freq_hz\":%.1f,\"speed\":%u,\"snr_db\":",
                line.time_s, s.id, s.freq_hz, s.speed);
            out += number;
            if (s.snr_db) {
                std::snprintf(number, sizeof number, "%.1f", *s.snr_db);
                out += number;
            } else {
                out += "null";
            }
            out += ",\"text\":";
            put_json_string(line.text, out);
            out += "}\n";
        } else {
            std::snprintf(number, sizeof number, "%8.1f s %7.1f Hz  speed %u  SNR ", line.time_s,
                          s.freq_hz, s.speed);
            out += number;
            if (s.snr_db)
                std::snprintf(number, sizeof number, "%+4.0f dB  ", *s.snr_db);
            else
                std::snprintf(number, sizeof number, "  -- dB  ");
            out += number;
            for (const char c : line.text)
                out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
            out += '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
        ++lines_;
        if (s.id > stations_seen_) stations_seen_ = s.id;
    }
    void gone(uint32_t) override { ++gone_; }
    uint64_t lines() const { return lines_; }

private:
    bool json_;
    uint64_t lines_ = 0;
    uint32_t stations_seen_ = 0;
    uint64_t gone_ = 0;
};

int from_recording(const Options& o, BandReceiver& band, LinePrinter& printer) {
    if (*o.input != "-") {
        WavData wav = read_wav(*o.input);
        if (!wav.error.empty()) {
            std::fprintf(stderr, "%s: %s\n", kName, wav.error.c_str());
            return 1;
        }
        if (wav.samples.empty()) {
            std::fprintf(stderr, "%s: %s holds no samples\n", kName, o.input->c_str());
            return 1;
        }
        band.push(wav.samples, printer);
        return 0;
    }
    RawStreamSampleSource source(stdin);
    std::vector<int16_t> block(kCaptureBlockSamples);
    uint64_t total = 0;
    for (;;) {
        const std::size_t n = source.read(block);
        if (n == 0) break;
        total += n;
        band.push(std::span<const int16_t>(block.data(), n), printer);
    }
    if (!source.error().empty()) {
        std::fprintf(stderr, "%s: standard input: %s\n", kName, source.error().c_str());
        return 1;
    }
    if (total == 0) {
        std::fprintf(stderr, "%s: standard input holds no samples\n", kName);
        return 1;
    }
    return 0;
}

// The sound card in real time: the capture buffers go through the console's capture ring, and
// every block moved into it goes to the band receiver.
int from_sound_card(const Options& o, BandReceiver& band, LinePrinter& printer) {
    using Clock = std::chrono::steady_clock;
    std::string error;
    bool bad_device = false;
    std::unique_ptr<SoundCard> card =
        open_sound_card({.input_device = o.device, .output_device = {}}, error, bad_device);
    if (!card) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return bad_device ? kUsageExitCode : 1;
    }
    NullPane none;
    ReceiveChain chain({}, none, none);
    if (!chain.open(card->input())) {
        std::string message = kCaptureOpenFailedText;
        if (const std::string why = card->input_error(); !why.empty()) message += " (" + why + ")";
        std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: band activity %g..%g Hz on %s; Ctrl+C stops\n", kName, o.from_hz,
                 o.to_hz,
                 o.device.empty() ? "the default audio input"
                                  : ("the audio input '" + o.device + "'").c_str());
    const CaptureRing& ring = chain.receiver().capture().ring();
    uint32_t next_block = ring.write_count();
    std::optional<Clock::time_point> end;
    if (o.seconds) end = Clock::now() + std::chrono::seconds(*o.seconds);
    bool lost = false;
    const auto take_blocks = [&] {
        if (ring.write_count() - next_block > kRingBlocks)
            next_block = ring.write_count() - kRingBlocks;
        for (; next_block != ring.write_count(); ++next_block)
            band.push(ring.block(next_block), printer);
    };
    card->run(kReceiveTickMs, [&] {
        while (chain.capture_tick())
            take_blocks();
        lost = !card->input_running();
        return !lost && (!end || Clock::now() < *end);
    });
    while (chain.capture_tick())
        take_blocks();
    chain.close();
    card->settle();
    if (lost) {
        std::fprintf(stderr, "%s: the audio input device stopped delivering audio\n", kName);
        return 1;
    }
    if (card->input_buffers_filled() == 0)
        std::fprintf(stderr, "%s: warning: no audio came from the audio input\n", kName);
    return 0;
}

} // namespace

int run_rx_band(const std::vector<std::string>& args) {
    Options o;
    if (const auto code = parse(args, o)) return *code;
    auto band = std::make_unique<BandReceiver>();
    band->reset({.from_hz = o.from_hz, .to_hz = o.to_hz});
    LinePrinter printer(o.json);
    const bool card = !o.input.has_value();
    const int status =
        card ? from_sound_card(o, *band, printer) : from_recording(o, *band, printer);
    band->finish(printer);
    if (status == 0)
        std::fprintf(stderr, "%s: %.1f s of audio, %llu lines, %zu stations copied at the end\n",
                     kName, band->time_s(), static_cast<unsigned long long>(printer.lines()),
                     band->stations().size());
    if (card) exit_after_sound_card(status);
    return status;
}

} // namespace quavel::tools
