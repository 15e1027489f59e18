// quavel-modem rx: decode a recording (a WAV file, or raw samples on standard input) or the sound
// card's input through the same receive chain as the console, displays drawn onto memory
// canvases, and print one receive pane's text as it is decoded.
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "interfaces/text_pane.h"
#include "modem/code_table.h"
#include "modem/modem.h"
#include "platform/wav/wav_input.h"
#include "rx/receive_chain.h"
#include "rx_api.h"
#include "sound_card.h"
#include "tools/command_line/command_line.h"

namespace quavel::tools {

namespace {

constexpr const char* kName = "quavel-modem rx";
// The console's Timer1 and Timer3 both tick every 2 ms; here one tick does the work of both.
constexpr int kReceiveTickMs = 2;
constexpr long long kMaxSeconds = 86400;

void usage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: quavel-modem rx [OPTIONS] [--seconds N]   (the default audio input)\n"
        "       quavel-modem rx [OPTIONS] FILE.wav\n"
        "       quavel-modem rx [OPTIONS] -          (raw 16-bit little-endian samples "
        "on standard input)\n"
        "       quavel-modem rx --test [OPTIONS] [FILE.wav | -]\n"
        "       quavel-modem rx --band [OPTIONS] [FILE.wav | -]   (every station at once:\n"
        "                  'quavel-modem rx --band --help')\n"
        "\n"
        "Decodes 8000 Hz 16-bit mono audio and prints the received text as it comes.\n"
        "Without an input it captures from the default audio input device (or the one\n"
        "--device names) in real time until Ctrl+C (SIGINT) or SIGTERM, or for N seconds\n"
        "with --seconds.\n"
        "\n"
        "options:\n"
        "  --speed 1|2|4   symbols per second (default 2)\n"
        "  --freq HZ       centre frequency, %u..%u Hz (default %u)\n"
        "  --no-afc        do not follow the signal's frequency\n"
        "  --no-autosync   keep the symbol timing where it starts\n"
        "  --receiver classic|weak\n"
        "                  the receiver that prints (default classic): weak copies\n"
        "                  further into the noise and finds a signal up to 20 Hz off\n"
        "  --no-squelch    let the weak receiver print on noise too\n"
        "  --noise-blanker silence static crashes before the classic receiver too\n"
        "                  (the weak receiver always does)\n"
        "  --secondary     print the second alphabet's pane instead of the first\n"
        "  --seconds N     stop capturing from the audio input after N seconds (1..%lld)\n"
        "  --device DEVICE capture from DEVICE: its id, its name or a part of its name\n"
        "                  that fits no other ('quavel-modem devices' lists them)\n"
        "  --api PORT      with --device or the default input: serve the control API\n"
        "                  on 127.0.0.1 PORT, events only (status, rx.text, closing)\n"
        "  --test          receive the built-in test sequence instead of the audio;\n"
        "                  the input only paces it (without input: one whole cycle)\n"
        "  --help          this text\n"
        "\n"
        "At the end a line on standard error gives the final centre frequency and sync\n"
        "position, and with the weak receiver where it was copying, the SNR in 2500 Hz\n"
        "it read of the signal when one was still being copied (and a warning if\n"
        "it decided symbols it could not hand over). Exit status: 0 done (also when\n"
        "stopped by a signal), 1 unreadable input, or the audio input\n"
        "device cannot be opened or stops, 2 usage error (also a --device that names no\n"
        "device or several).\n",
        kCentreMinHz, kCentreMaxHz, kDefaultCentreHz, kMaxSeconds);
}

std::optional<long long> parse_integer(std::string_view text) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

struct Options {
    uint32_t speed = 2;
    uint32_t centre_hz = kDefaultCentreHz;
    bool afc = true;
    bool auto_sync = true;
    bool secondary = false;
    ReceiverChoice receiver = ReceiverChoice::classic;
    bool squelch = true;
    bool noise_blanker = false;
    bool test = false;
    std::optional<std::string> input; // a path, or "-" for standard input
    std::optional<long long> seconds; // how long to capture from the sound card
    std::string device;               // the sound card's input; empty: the default
    std::optional<uint16_t> api_port; // --api: the control API on this port
    // No input given and not the self-test: capture from the sound card.
    bool sound_card() const { return !input && !test; }
};

// Returns an exit code when the command is finished with (help or a usage error).
std::optional<int> parse(const std::vector<std::string>& args, Options& o) {
    CommandLine cli(kName, "Try 'quavel-modem rx --help'.");
    cli.help(usage);
    cli.option(
        "--speed",
        [&o](const std::string& v) -> std::string {
            const auto n = parse_integer(v);
            if (!n || *n <= 0 || *n > 4 || !speed_from_value(static_cast<uint32_t>(*n)))
                return "--speed must be 1, 2 or 4, not '" + v + "'";
            o.speed = static_cast<uint32_t>(*n);
            return {};
        },
        "--speed needs a value: 1, 2 or 4");
    cli.option(
        "--freq",
        [&o](const std::string& v) -> std::string {
            const auto n = parse_integer(v);
            if (!n) return "--freq must be a whole number of Hz, not '" + v + "'";
            if (!centre_in_range(*n)) {
                return "--freq " + v + " is outside " + std::to_string(kCentreMinHz) + ".." +
                       std::to_string(kCentreMaxHz) + " Hz";
            }
            o.centre_hz = static_cast<uint32_t>(*n);
            return {};
        },
        "--freq needs a value in Hz");
    cli.option("--seconds", [&o](const std::string& v) -> std::string {
        const auto n = parse_integer(v);
        if (!n || *n < 1 || *n > kMaxSeconds) {
            return "--seconds must be a whole number from 1 to " + std::to_string(kMaxSeconds) +
                   ", not '" + v + "'";
        }
        o.seconds = *n;
        return {};
    });
    cli.option("--device", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "--device needs a device's id or name";
        o.device = v;
        return {};
    });
    cli.option("--api", [&o](const std::string& v) -> std::string {
        const auto n = parse_integer(v);
        if (!n || *n < 1 || *n > 65535) return "--api must be a port 1..65535, not '" + v + "'";
        o.api_port = static_cast<uint16_t>(*n);
        return {};
    });
    cli.option(
        "--receiver",
        [&o](const std::string& v) -> std::string {
            if (v == "classic") {
                o.receiver = ReceiverChoice::classic;
            } else if (v == "weak") {
                o.receiver = ReceiverChoice::weak;
            } else {
                return "--receiver must be classic or weak, not '" + v + "'";
            }
            return {};
        },
        "--receiver needs a value: classic or weak");
    bool no_squelch = false;
    cli.flag("--no-squelch", no_squelch);
    cli.flag("--noise-blanker", o.noise_blanker);
    bool no_afc = false;
    bool no_autosync = false;
    cli.flag("--no-afc", no_afc);
    cli.flag("--no-autosync", no_autosync);
    cli.flag("--secondary", o.secondary);
    cli.flag("--test", o.test);
    std::vector<std::string> inputs;
    cli.operands(inputs);
    if (const auto code = cli.parse(args)) return code;

    o.afc = !no_afc;
    o.squelch = !no_squelch;
    o.auto_sync = !no_autosync;
    if (inputs.size() > 1)
        return cli.usage_error("only one input, not '" + inputs[0] + "' and '" + inputs[1] + "'");
    if (!inputs.empty()) o.input = inputs[0];
    for (const auto& [given, option] :
         {std::pair{o.seconds.has_value(), "--seconds"}, std::pair{!o.device.empty(), "--device"},
          std::pair{o.api_port.has_value(), "--api"}}) {
        if (given && !o.sound_card()) {
            return cli.usage_error(std::string(option) +
                                   " is for capture from the audio input, not for " +
                                   (o.input ? "'" + *o.input + "'" : std::string("the self-test")));
        }
    }
    return std::nullopt;
}

// A pane whose text the control API also sends, once it is open.
class ServedPane : public TextSink {
public:
    ServedPane(TextSink& inner, int pane) : inner_(inner), pane_(pane) {}
    void insert(std::string_view text) override {
        inner_.insert(text);
        if (api != nullptr && chain != nullptr && !text.empty()) api->text(pane_, text, status());
    }
    RxApiStatus status() const {
        return {.speed = chain->modem().profile.speed,
                .centre_hz = chain->modem().tuning.centre_hz,
                .receiver = chain->receiver().receiver(),
                .afc = chain->receiver().afc()};
    }
    RxApi* api = nullptr;
    const ReceiveChain* chain = nullptr;

private:
    TextSink& inner_;
    int pane_;
};

// The pane being printed: each character goes to standard output at once.
class StdoutPane : public TextSink {
public:
    void insert(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        printed_ = printed_ || !text.empty();
    }
    // Ends the text with a line break, if there was any text.
    void finish() {
        if (printed_) std::fputs("\n", stdout);
        std::fflush(stdout);
    }

private:
    bool printed_ = false;
};

std::unique_ptr<SampleInput> open_input(const Options& o, const SpeedProfile& p,
                                        std::string& error) {
    if (!o.input) {
        // The self-test without audio: silence enough for one whole cycle of the test
        // sequence, plus the step that decodes its last symbol.
        const size_t symbols = test_sequence().size() + 1;
        return std::make_unique<SampleInput>(
            std::make_unique<MemorySampleSource>(std::vector<int16_t>(symbols * p.N, 0)),
            Pacing::Fast);
    }
    if (*o.input == "-") {
        return std::make_unique<SampleInput>(std::make_unique<RawStreamSampleSource>(stdin),
                                             Pacing::Fast);
    }
    return SampleInput::from_wav(*o.input, Pacing::Fast, error);
}

// A recording, as fast as it can be read: every completed buffer is moved into the ring and
// every whole symbol received before the next buffers are asked for, so the ring never overruns.
int decode_recording(const Options& o, ReceiveChain& c) {
    std::string error;
    std::unique_ptr<SampleInput> input = open_input(o, c.modem().profile, error);
    if (!input) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 1;
    }
    if (!c.receive_recording(*input)) {
        std::fprintf(stderr, "%s: cannot open the input\n", kName);
        return 1;
    }

    if (!input->error().empty()) {
        std::fprintf(stderr, "%s: standard input: %s\n", kName, input->error().c_str());
        return 1;
    }
    if (o.input && input->samples_delivered() == 0) {
        std::fprintf(stderr, "%s: %s holds no samples\n", kName,
                     *o.input == "-" ? "standard input" : o.input->c_str());
        return 1;
    }
    return 0;
}

// The default audio input in real time, as the console receives: each 2 ms tick moves at most
// one completed capture buffer into the ring (Timer3) and runs at most one receive step
// (Timer1), until a stop signal or the end of --seconds.
int capture(const Options& o, ReceiveChain& c, ServedPane& primary, ServedPane& secondary) {
    using Clock = std::chrono::steady_clock;
    std::string error;
    bool bad_device = false;
    std::unique_ptr<SoundCard> card =
        open_sound_card({.input_device = o.device, .output_device = {}}, error, bad_device);
    if (!card) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return bad_device ? kUsageExitCode : 1;
    }
    if (!c.open(card->input())) {
        std::string message = kCaptureOpenFailedText;
        if (const std::string why = card->input_error(); !why.empty()) message += " (" + why + ")";
        std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: listening on %s; Ctrl+C stops\n", kName,
                 o.device.empty() ? "the default audio input"
                                  : ("the audio input '" + o.device + "'").c_str());

    // In the sound card's event loop, which serves its clients between the ticks; one that
    // cannot listen leaves the receiver running without it.
    std::unique_ptr<RxApi> api;
    if (o.api_port) {
        api = open_rx_api(*o.api_port, primary.status(), error);
        if (!api)
            std::fprintf(stderr, "%s: warning: %s; receiving without it\n", kName, error.c_str());
        else
            std::fprintf(stderr, "%s: control API on 127.0.0.1 port %u\n", kName,
                         static_cast<unsigned>(api->port()));
        primary.api = api.get();
        secondary.api = api.get();
    }

    std::optional<Clock::time_point> end;
    if (o.seconds) end = Clock::now() + std::chrono::seconds(*o.seconds);
    bool lost = false;
    card->run(kReceiveTickMs, [&] {
        c.capture_tick();
        c.step();
        if (api) api->status(primary.status());
        lost = !card->input_running();
        return !lost && (!end || Clock::now() < *end);
    });
    // What has already been captured is still received; then the device stops.
    c.receive_waiting();
    c.close();
    primary.api = nullptr;
    secondary.api = nullptr;
    if (api) api->close();
    card->settle();
    api.reset();

    if (lost) {
        std::fprintf(stderr, "%s: the audio input device stopped delivering audio\n", kName);
        return 1;
    }
    if (card->input_buffers_filled() == 0) {
        std::fprintf(stderr, "%s: warning: no audio came from the audio input\n", kName);
    }
    if (const uint64_t dropped = card->input_samples_dropped(); dropped > 0) {
        std::fprintf(stderr,
                     "%s: warning: %llu samples were lost because the receiver fell "
                     "behind the audio input\n",
                     kName, static_cast<unsigned long long>(dropped));
    }
    return 0;
}

} // namespace

int run_rx(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--band") return run_rx_band(args);
    }
    Options o;
    if (const auto code = parse(args, o)) return *code;

    StdoutPane shown;
    NullPane hidden;
    ReceiveChainSettings settings;
    settings.speed = o.speed;
    settings.centre_hz = o.centre_hz;
    settings.afc = o.afc;
    settings.auto_sync = o.auto_sync;
    settings.test_mode = o.test;
    settings.receiver = o.receiver;
    settings.squelch = o.squelch;
    settings.noise_blanker = o.noise_blanker;
    ServedPane primary(o.secondary ? static_cast<TextSink&>(hidden) : shown, 0);
    ServedPane secondary(o.secondary ? static_cast<TextSink&>(shown) : hidden, 1);
    ReceiveChain chain(settings, primary, secondary);
    primary.chain = &chain;
    secondary.chain = &chain;
    const int status =
        o.sound_card() ? capture(o, chain, primary, secondary) : decode_recording(o, chain);
    shown.finish();
    if (status == 0) {
        std::fprintf(stderr, "%s: centre frequency %u Hz, sync position %u, %llu symbols\n", kName,
                     chain.modem().tuning.centre_hz, chain.modem().profile.sync_position,
                     static_cast<unsigned long long>(chain.receiver().steps()));
        if (o.receiver == ReceiverChoice::weak) {
            if (chain.receiver().weak_locked()) {
                std::fprintf(stderr, "%s: weak receiver locked at %.1f Hz", kName,
                             chain.receiver().weak_frequency_hz());
                if (const auto snr = chain.receiver().weak_snr_db())
                    std::fprintf(stderr, ", SNR %.1f dB", *snr);
                std::fprintf(stderr, "\n");
            } else {
                std::fprintf(stderr, "%s: weak receiver not locked\n", kName);
            }
            if (const uint64_t dropped = chain.receiver().weak_dropped(); dropped > 0)
                std::fprintf(stderr, "%s: warning: the weak receiver dropped %llu symbols\n", kName,
                             static_cast<unsigned long long>(dropped));
        }
    }
    if (o.sound_card()) exit_after_sound_card(status);
    return status;
}

} // namespace quavel::tools
