// quavel-modem rx: decode a recording (a WAV file, or raw samples on standard input) through the
// same receive chain as the console, displays drawn onto memory canvases, and print one receive
// pane's text as it is decoded.
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/code_table.h"
#include "modem/modem.h"
#include "platform/canvas.h"
#include "platform/text_pane.h"
#include "platform/wav_input.h"
#include "rx/displays.h"
#include "rx/receiver.h"
#include "tools/quavel-modem/commands.h"

namespace quavel::tools {

namespace {

constexpr const char* kName = "quavel-modem rx";

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: quavel-modem rx [OPTIONS] FILE.wav\n"
                 "       quavel-modem rx [OPTIONS] -          (raw 16-bit little-endian samples "
                 "on standard input)\n"
                 "       quavel-modem rx --test [OPTIONS] [FILE.wav | -]\n"
                 "\n"
                 "Decodes 8000 Hz 16-bit mono audio and prints the received text as it comes.\n"
                 "\n"
                 "options:\n"
                 "  --speed 1|2|4   symbols per second (default 2)\n"
                 "  --freq HZ       centre frequency, %u..%u Hz (default %u)\n"
                 "  --no-afc        do not follow the signal's frequency\n"
                 "  --no-autosync   keep the symbol timing where it starts\n"
                 "  --secondary     print the second alphabet's pane instead of the first\n"
                 "  --test          receive the built-in test sequence instead of the audio;\n"
                 "                  the input only paces it (without input: one whole cycle)\n"
                 "  --help          this text\n"
                 "\n"
                 "At the end a line on standard error gives the final centre frequency and sync\n"
                 "position. Exit status: 0 done, 1 unreadable input, 2 usage error.\n",
                 kCentreMinHz, kCentreMaxHz, kDefaultCentreHz);
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
    std::fprintf(stderr, "Try 'quavel-modem rx --help'.\n");
    return 2;
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
    int speed_item = 1;
    uint32_t centre_hz = kDefaultCentreHz;
    bool afc = true;
    bool auto_sync = true;
    bool secondary = false;
    bool test = false;
    std::optional<std::string> input; // a path, or "-" for standard input
};

// Returns an exit code when the command is finished with (help or a usage error).
std::optional<int> parse(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> value;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto take_value = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--speed") {
            const auto v = take_value();
            if (!v) return usage_error("--speed needs a value: 1, 2 or 4");
            const auto n = parse_integer(*v);
            const int item =
                n && *n > 0 && *n <= 4 ? speed_item_index(static_cast<uint32_t>(*n)) : -1;
            if (item < 0) return usage_error("--speed must be 1, 2 or 4, not '" + *v + "'");
            o.speed_item = item;
        } else if (arg == "--freq") {
            const auto v = take_value();
            if (!v) return usage_error("--freq needs a value in Hz");
            const auto n = parse_integer(*v);
            if (!n) return usage_error("--freq must be a whole number of Hz, not '" + *v + "'");
            if (!centre_in_range(*n)) {
                return usage_error("--freq " + *v + " is outside " + std::to_string(kCentreMinHz) +
                                   ".." + std::to_string(kCentreMaxHz) + " Hz");
            }
            o.centre_hz = static_cast<uint32_t>(*n);
        } else if (value) {
            return usage_error("option '" + arg + "' takes no value");
        } else if (arg == "--no-afc") {
            o.afc = false;
        } else if (arg == "--no-autosync") {
            o.auto_sync = false;
        } else if (arg == "--secondary") {
            o.secondary = true;
        } else if (arg == "--test") {
            o.test = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option '" + arg + "'");
        } else if (o.input) {
            return usage_error("only one input, not '" + *o.input + "' and '" + arg + "'");
        } else {
            o.input = arg;
        }
    }
    if (!o.input && !o.test) return usage_error("no input: give a WAV file, or - for stdin");
    return std::nullopt;
}

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

class NullPane : public TextSink {
public:
    void insert(std::string_view) override {}
};

// What the speed-profile initialisation and AFC tell the rest of the station, here only the
// receiver and its displays.
class ReceiverListener : public ProfileListener {
public:
    ReceiverListener(Receiver& rx, ReceiveDisplays& displays) : rx_(rx), displays_(displays) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override {
        rx_.profile_rebuilt(p);
        displays_.clear_scope_and_spectrum();
    }
    void after_profile_change() override { rx_.after_profile_change(); }

private:
    Receiver& rx_;
    ReceiveDisplays& displays_;
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

} // namespace

int run_rx(const std::vector<std::string>& args) {
    Options o;
    if (const auto code = parse(args, o)) return *code;

    // The receive chain as the console builds it.
    auto modem = std::make_unique<Modem>();
    auto rx = std::make_unique<Receiver>();
    MemoryCanvas waterfall(320, 20);
    MemoryCanvas scope(128, 64);
    MemoryCanvas spectrum(80, 64);
    ReceiveDisplays displays(waterfall, scope, spectrum);
    ReceiverListener listener(*rx, displays);

    modem->initialise_profile(o.speed_item, listener);
    modem->set_centre_frequency(o.centre_hz, listener);
    rx->decoder.set_afc(o.afc);
    rx->auto_sync = o.auto_sync;
    rx->set_test_mode(o.test);

    std::string error;
    std::unique_ptr<SampleInput> input = open_input(o, modem->profile, error);
    if (!input) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 1;
    }
    if (!rx->capture.open(*input)) {
        std::fprintf(stderr, "%s: cannot open the input\n", kName);
        return 1;
    }

    StdoutPane shown;
    NullPane hidden;
    const ReceiveOutputs outputs{o.secondary ? static_cast<TextSink&>(hidden) : shown,
                                 o.secondary ? static_cast<TextSink&>(shown) : hidden, &displays};
    // As fast as the recording can be read: every completed buffer is moved into the ring
    // and every whole symbol received before the next buffers are asked for, so the ring
    // never overruns.
    bool more = true;
    while (more) {
        more = rx->capture.pump();
        while (rx->capture_tick()) {
            while (rx->receive_step(*modem, listener, outputs)) {
            }
        }
    }
    rx->capture.close();
    shown.finish();

    if (!input->error().empty()) {
        std::fprintf(stderr, "%s: standard input: %s\n", kName, input->error().c_str());
        return 1;
    }
    if (o.input && input->samples_delivered() == 0) {
        std::fprintf(stderr, "%s: %s holds no samples\n", kName,
                     *o.input == "-" ? "standard input" : o.input->c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: centre frequency %u Hz, sync position %u, %llu symbols\n", kName,
                 modem->tuning.centre_hz, modem->profile.sync_position,
                 static_cast<unsigned long long>(rx->steps()));
    return 0;
}

} // namespace quavel::tools
