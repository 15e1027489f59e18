// quavel-modem tx: the headless transmitter. The same scheduler the console runs, driving a WAV
// file as fast as it can be written: the two primed buffers, then refill after refill until the
// text has all been taken and sent, then two more idle symbols so that a receiver, which decodes
// one symbol behind, prints the last character.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "modem/modem.h"
#include "modem/tuning.h"
#include "platform/text_pane.h"
#include "platform/wav_output.h"
#include "tools/quavel-modem/commands.h"
#include "tx/morse_id.h"
#include "tx/scheduler.h"

namespace quavel::tools {

namespace {

constexpr int kUsageError = 2;
constexpr int kRuntimeError = 1;
// Refills after the text is all sent: the receiver prints a character one symbol late.
constexpr int kTrailingIdleSymbols = 2;
// Keeps the file well inside what a WAV header can describe (at most 2 symbols of 8192 samples
// per character: 1.6 GB).
constexpr size_t kMaxTextChars = 50000;

void usage(std::FILE* out) {
    std::fputs(
        "usage: quavel-modem tx [OPTIONS] -o FILE.wav [TEXT...]\n"
        "\n"
        "Sends TEXT (the arguments joined by single spaces; without any, standard input with\n"
        "its final line break removed) as the console would, and writes the audio as a WAV\n"
        "file of 16-bit mono PCM at 8000 Hz. Lower-case letters go as capitals, a line break\n"
        "goes as a space, characters without a symbol are dropped.\n"
        "\n"
        "The file holds two idle symbols (the primed playback buffers), an idle symbol while\n"
        "the first character is taken, the text, and two idle symbols after it.\n"
        "\n"
        "options:\n"
        "  -o, --output FILE  the WAV file to write (required: sound-card playback is not\n"
        "                     available in this tool yet)\n"
        "  --speed 1|2|4      symbols per second (default 2)\n"
        "  --freq HZ          centre frequency, 100..1900 Hz (default 1000)\n"
        "  --ptt-delay        make the first primed buffer silent, as the PTT delay does\n"
        "  --callsign CALL    the station callsign (at most 14 characters)\n"
        "  --id               send the Morse identification \"DE \" + callsign first\n"
        "  --tune             send the tune carrier (6.144 s) first, before the identification\n"
        "  -h, --help         show this text\n"
        "  --                 everything after this is text\n",
        out);
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quavel-modem tx: %s\n", message.c_str());
    std::fputs("Try 'quavel-modem tx --help'.\n", stderr);
    return kUsageError;
}

int runtime_error(const std::string& message) {
    std::fprintf(stderr, "quavel-modem tx: %s\n", message.c_str());
    return kRuntimeError;
}

struct Options {
    uint32_t speed = 2;
    uint32_t centre_hz = kDefaultCentreHz;
    bool ptt_delay = false;
    std::string callsign;
    bool send_id = false;
    bool tune = false;
    std::string output;
    std::vector<std::string> words;
    bool help = false;
};

std::optional<long long> parse_integer(const std::string& s) {
    if (s.empty() || s.size() > 12) return std::nullopt;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) return std::nullopt;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
    }
    return std::stoll(s);
}

// Parses the arguments; returns an error message, empty on success.
std::string parse(const std::vector<std::string>& args, Options& o) {
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            o.words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        // "--name=value" is the same as "--name value".
        std::optional<std::string> inline_value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto value = [&](std::string& out) -> std::string {
            if (inline_value) {
                out = *inline_value;
            } else if (i + 1 < args.size()) {
                out = args[++i];
            } else {
                return arg + " needs a value";
            }
            return {};
        };
        auto flag = [&](bool& out) -> std::string {
            if (inline_value) return arg + " takes no value";
            out = true;
            return {};
        };
        std::string error;
        std::string v;
        if (arg == "-h" || arg == "--help") {
            error = flag(o.help);
        } else if (arg == "-o" || arg == "--output") {
            error = value(o.output);
            if (error.empty() && o.output.empty()) error = arg + " needs a file name";
        } else if (arg == "--speed") {
            error = value(v);
            if (error.empty()) {
                const auto speed = parse_integer(v);
                if (!speed || (*speed != 1 && *speed != 2 && *speed != 4)) {
                    error = "--speed must be 1, 2 or 4, not '" + v + "'";
                } else {
                    o.speed = static_cast<uint32_t>(*speed);
                }
            }
        } else if (arg == "--freq") {
            error = value(v);
            if (error.empty()) {
                const auto hz = parse_integer(v);
                if (!hz) {
                    error = "--freq needs a whole number of Hz, not '" + v + "'";
                } else if (!centre_in_range(*hz)) {
                    error = "--freq " + v + " is outside the centre-frequency range " +
                            std::to_string(kCentreMinHz) + ".." + std::to_string(kCentreMaxHz) +
                            " Hz";
                } else {
                    o.centre_hz = static_cast<uint32_t>(*hz);
                }
            }
        } else if (arg == "--ptt-delay") {
            error = flag(o.ptt_delay);
        } else if (arg == "--callsign") {
            error = value(o.callsign);
        } else if (arg == "--id") {
            error = flag(o.send_id);
        } else if (arg == "--tune") {
            error = flag(o.tune);
        } else {
            error = "unknown option '" + args[i] + "'";
        }
        if (!error.empty()) return error;
    }
    return {};
}

// The callsign as the setup panel's field would hold it: typed letters become capitals.
std::string upper_case(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// Builds the identification audio whenever the centre frequency is set, as the station does.
class IdentificationBuilder : public ProfileListener {
public:
    IdentificationBuilder(Transmitter& tx, const Modem& modem, std::string callsign)
        : tx_(tx), modem_(modem), callsign_(std::move(callsign)) {}
    void retuned(const Tuning&) override { tx_.build_identification(modem_, callsign_); }

private:
    Transmitter& tx_;
    const Modem& modem_;
    std::string callsign_;
};

class NoEvents : public TransmitListener {};

} // namespace

int run_tx(const std::vector<std::string>& args) {
    Options o;
    if (const std::string error = parse(args, o); !error.empty()) return usage_error(error);
    if (o.help) {
        usage(stdout);
        return 0;
    }
    if (o.output.empty()) {
        return usage_error("no output file: give -o FILE.wav (sound-card playback is not "
                           "available in this tool yet)");
    }
    o.callsign = upper_case(o.callsign);
    if (o.callsign.size() > kMaxCallsignChars) {
        return usage_error("--callsign '" + o.callsign + "' is longer than " +
                           std::to_string(kMaxCallsignChars) + " characters");
    }
    if (o.send_id && o.callsign.empty()) {
        return usage_error("--id needs the station callsign: give --callsign CALL");
    }
    if (o.send_id && o.callsign == kRefusedCallsign) {
        return usage_error("--id: the callsign NOCALL is never keyed; give your own callsign");
    }
    for (const char c : o.callsign) {
        if (c != ' ' && !morse_code(c)) {
            std::fprintf(stderr,
                         "quavel-modem tx: warning: '%c' in the callsign has no Morse code and "
                         "is left out of the identification\n",
                         c);
        }
    }
    std::error_code ec;
    if (std::filesystem::is_directory(o.output, ec)) {
        return runtime_error(o.output + ": is a directory, not a file name");
    }

    std::string text;
    if (!o.words.empty()) {
        for (size_t i = 0; i < o.words.size(); ++i) {
            if (i > 0) text += ' ';
            text += o.words[i];
        }
    } else {
        std::ostringstream in;
        in << std::cin.rdbuf();
        if (std::cin.bad()) return runtime_error("cannot read the text from standard input");
        text = in.str();
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
    }
    if (text.size() > kMaxTextChars) {
        return usage_error("the text is " + std::to_string(text.size()) +
                           " characters long; at most " + std::to_string(kMaxTextChars) +
                           " fit in one file");
    }

    Modem modem;
    Transmitter tx;
    IdentificationBuilder builder(tx, modem, o.callsign);
    modem.initialise_profile(speed_item_index(o.speed), builder);
    modem.set_centre_frequency(o.centre_hz, builder);

    StringPane transmit_pane; // Memo4
    StringPane sent_pane;     // Memo5
    transmit_pane.set_text(text);
    NoEvents events;

    WavOutput output(o.output, WavOutput::Pacing::Fast);
    if (!tx.start_transmission(output, modem, o.ptt_delay)) {
        return runtime_error(output.error());
    }
    if (o.tune) tx.tune_up();
    if (o.send_id) tx.cw_id(o.callsign);

    // Each pump plays the oldest queued buffer, so the scheduler's tick always finds the buffer
    // it waits for done and refills it: one refill per round, as on a sound card.
    auto more_to_send = [&] {
        return !transmit_pane.text().empty() || !tx.queue().is_empty() || tx.sending_special();
    };
    int trailing = 0;
    while (trailing < kTrailingIdleSymbols) {
        if (!more_to_send()) ++trailing;
        output.pump();
        if (!tx.timer2_tick(modem, transmit_pane, sent_pane, events)) {
            output.abandon();
            tx.stop_transmission();
            return runtime_error("internal error: the playback buffer was not returned");
        }
        if (!output.error().empty()) break;
    }
    while (output.queued() > 0 && output.error().empty())
        output.pump();
    tx.stop_transmission();
    if (!output.committed()) return runtime_error(output.error());
    return 0;
}

} // namespace quavel::tools
