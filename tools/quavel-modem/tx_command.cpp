// quavel-modem tx: the headless transmitter. The same scheduler the console runs, driving either
// a WAV file as fast as it can be written or the sound card in real time: the two primed
// buffers, then refill after refill until the text has all been taken and sent, then two more
// idle symbols so that a receiver, which decodes one symbol behind, prints the last character.
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "modem/tuning.h"
#include "platform/hamlib/hamlib_ptt.h"
#include "platform/wav/wav_output.h"
#include "sound_card.h"
#include "tools/command_line/command_line.h"
#include "tx/keyer.h"
#include "tx/morse_id.h"
#include "tx/scheduler.h"
#include "tx/transmit_session.h"

namespace quavel::tools {

namespace {

constexpr int kRuntimeError = 1;
// Refills after the text is all sent: the receiver prints a character one symbol late.
constexpr int kTrailingIdleSymbols = 2;
// Keeps the file well inside what a WAV header can describe (at most 2 symbols of 8192 samples
// per character: 1.6 GB).
constexpr size_t kMaxTextChars = 50000;
// The console's Timer2.
constexpr int kTimer2IntervalMs = 10;
// A sound card that has not asked for the next buffer within this many symbol periods (plus
// kStallSlackMs for a sound server that is slow to start) has stopped playing.
constexpr int kStallSymbols = 3;
constexpr int kStallSlackMs = 2000;
// How long the command waits for the keying device to open or to release before it says so.
constexpr std::chrono::seconds kKeyingWait{5};

void usage(std::FILE* out) {
    std::fputs(
        "usage: quavel-modem tx [OPTIONS] [-o FILE.wav] [TEXT...]\n"
        "\n"
        "Sends TEXT (the arguments joined by single spaces; without any, standard input with\n"
        "its final line break removed) as the console would. Lower-case letters go as capitals,\n"
        "a line break goes as a space, characters without a symbol are dropped.\n"
        "\n"
        "With -o the audio is written as a WAV file of 16-bit mono PCM at 8000 Hz, as fast as\n"
        "it can be made, under a temporary name that is renamed into place at the end (a FIFO,\n"
        "a character device or - for standard output is written as a stream; a symbolic link\n"
        "is refused). SIGINT, SIGTERM or SIGHUP stops the writing, removes the unfinished file\n"
        "and the command fails. Without -o it is played on the default audio output device (or\n"
        "the one --device names) in real time; the command returns once the last symbol has\n"
        "been heard. Ctrl+C (SIGINT) or\n"
        "SIGTERM cuts the sound at once, as \"Tx OFF\" does, and the command fails.\n"
        "\n"
        "Either way the audio is two idle symbols (the primed playback buffers), an idle\n"
        "symbol while the first character is taken, the text, and two idle symbols after it.\n"
        "\n"
        "options:\n"
        "  -o, --output FILE  the WAV file to write instead of playing\n"
        "  --device DEVICE    play on DEVICE: its id, its name or a part of its name that\n"
        "                     fits no other ('quavel-modem devices' lists them)\n"
        "  --speed 1|2|4      symbols per second (default 2)\n"
        "  --freq HZ          centre frequency, 100..1900 Hz (default 1000)\n"
        "  --ptt-delay        make the first primed buffer silent, as the PTT delay does\n"
        "  --callsign CALL    the station callsign (at most 14 characters)\n"
        "  --id               send the Morse identification \"DE \" + callsign first\n"
        "  --tune             send the tune carrier (6.144 s) first, before the identification\n"
        "\n"
        "keying (when playing):\n"
        "  --ptt METHOD       rts, dtr (a serial port's line), cat (hamlib) or none (default:\n"
        "                     none, for VOX). The transmitter is keyed only once the sound\n"
        "                     runs, released once the last symbol has been heard, and on any\n"
        "                     error or stop signal; a playback that cannot start never keys\n"
        "  --ptt-port DEVICE  the serial device for rts or dtr, e.g. /dev/ttyUSB0\n"
        "  --rig-model N      cat: hamlib's rig model (rigctl -l lists them; 2 is rigctld)\n"
        "  --rig-port PORT    cat: the rig's serial device, or HOST:PORT of a rigctld\n"
        "  --rig-speed BAUD   cat: the rig's serial speed (default: the rig's own)\n"
        "  --watchdog MIN     end a transmission that has run this many minutes, 0 for no\n"
        "                     limit (default 10); a number with 's' after it is seconds\n"
        "  -h, --help         show this text\n"
        "  --                 everything after this is text\n"
        "\n"
        "Exit status: 0 sent, 1 the file cannot be written, the output device cannot be\n"
        "opened or stopped playing, the keying failed or the watchdog ended it, 2 usage error "
        "(also a --device that names no device or\n"
        "several), 128 + the signal's number when stopped.\n",
        out);
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
    std::string device; // empty: the default output
    std::vector<std::string> words;
    std::string ptt = "none"; // rts, dtr, cat, none
    std::string ptt_port;
    int rig_model = 0;
    std::string rig_port;
    int rig_speed = 0;
    std::chrono::milliseconds watchdog = std::chrono::minutes(10);
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

// The options of this verb, each checking its value.
void describe(CommandLine& cli, Options& o) {
    cli.help(usage);
    cli.option("-o,--output", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "-o needs a file name";
        o.output = v;
        return {};
    });
    cli.option("--device", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "--device needs a device's id or name";
        o.device = v;
        return {};
    });
    cli.option("--speed", [&o](const std::string& v) -> std::string {
        const auto speed = parse_integer(v);
        if (!speed || (*speed != 1 && *speed != 2 && *speed != 4))
            return "--speed must be 1, 2 or 4, not '" + v + "'";
        o.speed = static_cast<uint32_t>(*speed);
        return {};
    });
    cli.option("--freq", [&o](const std::string& v) -> std::string {
        const auto hz = parse_integer(v);
        if (!hz) return "--freq needs a whole number of Hz, not '" + v + "'";
        if (!centre_in_range(*hz)) {
            return "--freq " + v + " is outside the centre-frequency range " +
                   std::to_string(kCentreMinHz) + ".." + std::to_string(kCentreMaxHz) + " Hz";
        }
        o.centre_hz = static_cast<uint32_t>(*hz);
        return {};
    });
    cli.flag("--ptt-delay", o.ptt_delay);
    cli.option("--callsign", [&o](const std::string& v) -> std::string {
        o.callsign = v;
        return {};
    });
    cli.flag("--id", o.send_id);
    cli.flag("--tune", o.tune);
    cli.option("--ptt", [&o](const std::string& v) -> std::string {
        if (v != "rts" && v != "dtr" && v != "cat" && v != "none")
            return "--ptt must be rts, dtr, cat or none, not '" + v + "'";
        o.ptt = v;
        return {};
    });
    cli.option("--ptt-port", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "--ptt-port needs a serial device";
        o.ptt_port = v;
        return {};
    });
    cli.option("--rig-model", [&o](const std::string& v) -> std::string {
        const auto model = parse_integer(v);
        if (!model || *model < 1 || *model > 999999)
            return "--rig-model needs hamlib's model number, not '" + v + "'";
        o.rig_model = static_cast<int>(*model);
        return {};
    });
    cli.option("--rig-port", [&o](const std::string& v) -> std::string {
        if (v.empty()) return "--rig-port needs a serial device or HOST:PORT";
        o.rig_port = v;
        return {};
    });
    cli.option("--rig-speed", [&o](const std::string& v) -> std::string {
        const auto baud = parse_integer(v);
        if (!baud || *baud < 300 || *baud > 115200)
            return "--rig-speed must be 300..115200 baud, not '" + v + "'";
        o.rig_speed = static_cast<int>(*baud);
        return {};
    });
    cli.option("--watchdog", [&o](const std::string& v) -> std::string {
        const bool seconds = !v.empty() && v.back() == 's';
        const auto n = parse_integer(seconds ? v.substr(0, v.size() - 1) : v);
        if (!n || *n < 0 || *n > (seconds ? 3600 : 60))
            return "--watchdog takes 0..60 minutes (or 0..3600 seconds as Ns), not '" + v + "'";
        o.watchdog =
            seconds ? std::chrono::milliseconds(*n * 1000) : std::chrono::milliseconds(*n * 60000);
        return {};
    });
    cli.operands(o.words);
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

// What a transmission needs, set up as the station sets it up: the modem at the chosen speed and
// centre frequency, the transmitter, and the text in the transmit pane.
struct Transmission {
    Transmission(const Options& o, const std::string& text) : builder(tx, modem, o.callsign) {
        modem.initialise_profile(speed_from_value(o.speed).value_or(Speed::Two), builder);
        modem.set_centre_frequency(o.centre_hz, builder);
        transmit_pane.set_text(text);
    }
    // After start_transmission: the tune carrier and identification go ahead of the text.
    void start_specials(const Options& o) {
        if (o.tune) tx.tune_up();
        if (o.send_id) tx.cw_id(o.callsign);
    }
    bool more_to_send() const {
        return !transmit_pane.text().empty() || !tx.queue().is_empty() || tx.sending_special();
    }
    // Timer2's work; true when it refilled a buffer.
    bool refill_tick() { return tx.refill_tick(modem, transmit_pane, sent_pane, events); }

    Modem modem;
    Transmitter tx;
    IdentificationBuilder builder;
    StringPane transmit_pane; // Memo4
    StringPane sent_pane;     // Memo5
    NoEvents events;
};

// Signal handlers reach only static storage: the stop request of the file being written.
volatile std::sig_atomic_t file_stop_signal = 0;

extern "C" void request_file_stop(int signal) {
    file_stop_signal = signal;
}

// While a file is written, SIGINT, SIGTERM and SIGHUP ask the writing loop to stop, so that it
// removes its unfinished temporary file; a second one ends the process as usual. A signal the
// process was started ignoring stays ignored.
class FileStopSignals {
public:
    FileStopSignals() {
        file_stop_signal = 0;
        for (size_t i = 0; i < kSignals.size(); ++i) {
            sigaction(kSignals[i], nullptr, &old_[i]);
            if (old_[i].sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = request_file_stop;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND | SA_RESTART;
            sigaction(kSignals[i], &action, nullptr);
        }
    }
    ~FileStopSignals() {
        for (size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &old_[i], nullptr);
    }
    FileStopSignals(const FileStopSignals&) = delete;
    FileStopSignals& operator=(const FileStopSignals&) = delete;

    int requested() const { return file_stop_signal; }

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> old_{};
};

int write_file(const Options& o, Transmission& t) {
    FileStopSignals stop;
    WavOutput output(o.output, WavOutput::Pacing::Fast);
    if (!t.tx.start_transmission(output, t.modem, o.ptt_delay)) {
        return runtime_error(output.error());
    }
    t.start_specials(o);

    // Each pump plays the oldest queued buffer, so the scheduler's tick always finds the buffer
    // it waits for done and refills it: one refill per round, as on a sound card.
    int trailing = 0;
    while (trailing < kTrailingIdleSymbols) {
        if (!t.more_to_send()) ++trailing;
        output.pump();
        if (!t.refill_tick()) {
            output.abandon();
            t.tx.stop_transmission();
            return runtime_error("internal error: the playback buffer was not returned");
        }
        if (!output.error().empty()) break;
        if (const int signal = stop.requested(); signal != 0) {
            output.abandon();
            t.tx.stop_transmission();
            std::fprintf(stderr, "quavel-modem tx: stopped by signal %d; %s was not written\n",
                         signal, o.output.c_str());
            return 128 + signal;
        }
    }
    while (output.queued() > 0 && output.error().empty())
        output.pump();
    // Closing finishes the file; one whose disk filled keeps what was written before, and the
    // message says where, so a short file is never taken for the whole transmission.
    t.tx.stop_transmission();
    if (const std::string why = describe_unfinished(output); !why.empty())
        return runtime_error(why);
    if (!output.committed()) return runtime_error(output.error());
    return 0;
}

// Real time on the default output device, refilled by a 10 ms tick as the console's Timer2 does.
// After the last refill the command waits until the device has taken both buffers and then for
// what the sound system still holds, so that it returns once the last symbol has been heard.
int play(const Options& o, Transmission& t) {
    using Clock = std::chrono::steady_clock;
    std::string error;
    bool bad_device = false;
    std::unique_ptr<SoundCard> card =
        open_sound_card({.input_device = {}, .output_device = o.device}, error, bad_device);
    if (!card) {
        if (!bad_device) return runtime_error(error);
        std::fprintf(stderr, "quavel-modem tx: %s\n", error.c_str());
        return kUsageExitCode;
    }
    // The keying device is opened (released) before any sound, so that one that cannot be had
    // stops the command before anything goes on the air. Its calls run on a keying thread, as
    // in the console, so that a rig slow to answer never holds up the sound.
    std::unique_ptr<Ptt> ptt;
    if (o.ptt == "rts" || o.ptt == "dtr") {
        ptt = make_serial_ptt(o.ptt == "dtr", error);
        if (!ptt) return runtime_error(error);
    } else if (o.ptt == "cat") {
        ptt = std::make_unique<HamlibPtt>(o.rig_model, o.rig_speed);
    }
    Keyer keyer;
    TransmitSession session(keyer);
    session.set_watchdog(o.watchdog);
    session.set_keying_required(ptt != nullptr);
    if (ptt) {
        keyer.open(ptt.get(), o.ptt == "cat" ? o.rig_port : o.ptt_port);
        keyer.wait_idle(kKeyingWait);
        if (const KeyingStatus k = keyer.status(); !k.open) {
            return runtime_error(std::string(o.ptt == "cat" ? "cannot open the rig: "
                                                            : "cannot open the keying port: ") +
                                 (k.pending ? "it does not answer" : k.error));
        }
        keyer.take_events();
    }
    // Released at every end, at once; a release that fails is the one failure that may leave a
    // transmitter on the air, so it is said loudly (the port is closed too: a serial driver
    // drops its lines then).
    const auto release = [&]() -> bool {
        session.end();
        if (!ptt) return true;
        keyer.close();
        const bool settled = keyer.wait_idle(kKeyingWait);
        for (const KeyingNotice& n :
             session.poll(std::chrono::steady_clock::now(), false).notices) {
            if (n.kind != KeyingNotice::Kind::ReleaseFailed) continue;
            std::fprintf(stderr,
                         "quavel-modem tx: THE TRANSMITTER MAY STILL BE KEYED: could not release "
                         "the transmitter: %s; the keying port was closed; check the "
                         "transmitter now\n",
                         n.detail.c_str());
            return false;
        }
        if (!settled) {
            std::fprintf(stderr, "quavel-modem tx: THE TRANSMITTER MAY STILL BE KEYED: the "
                                 "keying device does not answer; check the transmitter now\n");
            return false;
        }
        return true;
    };

    if (!t.tx.start_transmission(card->output(), t.modem, o.ptt_delay)) {
        const std::string why = card->output_error();
        t.tx.stop_transmission();
        release();
        card->settle();
        return runtime_error(std::string(kCannotOpenOutputText) +
                             (why.empty() ? "" : " (" + why + ")") +
                             "; the transmitter was not keyed");
    }
    // Keyed only once the playback runs; --ptt-delay's silent first buffer covers the switch.
    session.begin(Clock::now());
    t.start_specials(o);
    std::optional<TransmitEnd> ended;
    std::string ended_detail;

    const auto symbol_period = std::chrono::milliseconds(t.modem.profile.N / 8);
    const auto stall_limit =
        kStallSymbols * symbol_period + std::chrono::milliseconds(kStallSlackMs);
    const auto latency = std::chrono::milliseconds(card->output_latency_ms());
    int trailing = 0;
    bool stalled = false;
    uint64_t gaps = 0;
    Clock::time_point last_progress = Clock::now();
    std::optional<Clock::time_point> heard_by; // once both last buffers are with the device
    const int signal = card->run(kTimer2IntervalMs, [&] {
        const Clock::time_point now = Clock::now();
        TransmitSession::Poll poll = session.poll(now, false);
        if (poll.end) {
            ended = poll.end;
            ended_detail = poll.end_detail;
            return false;
        }
        if (trailing < kTrailingIdleSymbols) {
            const bool more = t.more_to_send();
            if (t.refill_tick()) {
                last_progress = now;
                if (!more) ++trailing;
            }
        } else if (!heard_by) {
            if (t.tx.done_flag(0) && t.tx.done_flag(1)) {
                heard_by = now + latency;
                // Counted before the output runs dry at the end, which is no gap.
                gaps = card->output_underruns();
                last_progress = now;
            }
        } else if (now >= *heard_by) {
            return false;
        }
        if (!heard_by && (now - last_progress > stall_limit || !card->output_running())) {
            stalled = true;
            return false;
        }
        return true;
    });
    // The sound is cut first, then the transmitter released, as "Tx OFF" does.
    t.tx.stop_transmission();
    const bool released = release();
    card->settle();
    if (signal != 0) {
        std::fprintf(stderr, "quavel-modem tx: stopped by %s; the sound was cut%s\n",
                     signal == SIGINT    ? "SIGINT"
                     : signal == SIGTERM ? "SIGTERM"
                     : signal == SIGHUP  ? "SIGHUP"
                                         : "a signal",
                     ptt ? " and the transmitter released" : "");
        return 128 + signal;
    }
    if (ended == TransmitEnd::Watchdog) {
        const long long seconds = o.watchdog.count() / 1000;
        return runtime_error("the transmit watchdog ended the transmission after " +
                             (seconds % 60 == 0 ? std::to_string(seconds / 60) + " min"
                                                : std::to_string(seconds) + " s"));
    }
    if (ended == TransmitEnd::KeyingLost)
        return runtime_error("the keying port was lost: " + ended_detail);
    if (ended == TransmitEnd::KeyRefused)
        return runtime_error("cannot key the transmitter: " + ended_detail);
    if (!released) return kRuntimeError;
    if (!heard_by) gaps = card->output_underruns();
    if (gaps > 0) {
        std::fprintf(stderr,
                     "quavel-modem tx: warning: the audio output ran dry %llu time%s: the signal "
                     "has gaps\n",
                     static_cast<unsigned long long>(gaps), gaps == 1 ? "" : "s");
    }
    if (stalled) return runtime_error("the audio output device stopped playing");
    return 0;
}

} // namespace

int run_tx(const std::vector<std::string>& args) {
    Options o;
    CommandLine cli("quavel-modem tx", "Try 'quavel-modem tx --help'.");
    describe(cli, o);
    if (const auto code = cli.parse(args)) return *code;
    o.callsign = upper_case(o.callsign);
    if (o.callsign.size() > kMaxCallsignChars) {
        return cli.usage_error("--callsign '" + o.callsign + "' is longer than " +
                               std::to_string(kMaxCallsignChars) + " characters");
    }
    if (o.send_id && o.callsign.empty()) {
        return cli.usage_error("--id needs the station callsign: give --callsign CALL");
    }
    if (o.send_id && o.callsign == kRefusedCallsign) {
        return cli.usage_error("--id: the callsign NOCALL is never keyed; give your own callsign");
    }
    for (const char c : characters_without_morse(o.callsign)) {
        std::fprintf(stderr,
                     "quavel-modem tx: warning: '%c' in the callsign has no Morse code and "
                     "is left out of the identification\n",
                     c);
    }
    if (!o.output.empty() && !o.device.empty())
        return cli.usage_error("--device is for playing; with -o the audio goes to the file");
    if (!o.output.empty() && o.ptt != "none")
        return cli.usage_error("--ptt keys a transmitter for playing; with -o nothing is played");
    if ((o.ptt == "rts" || o.ptt == "dtr") && o.ptt_port.empty())
        return cli.usage_error("--ptt " + o.ptt + " needs --ptt-port DEVICE");
    if (o.ptt == "cat" && (o.rig_model == 0 || o.rig_port.empty()))
        return cli.usage_error("--ptt cat needs --rig-model N and --rig-port PORT");
    std::error_code ec;
    if (!o.output.empty() && std::filesystem::is_directory(o.output, ec)) {
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
        return cli.usage_error("the text is " + std::to_string(text.size()) +
                               " characters long; at most " + std::to_string(kMaxTextChars) +
                               " are sent at once");
    }

    Transmission t(o, text);
    if (!o.output.empty()) return write_file(o, t);
    exit_after_sound_card(play(o, t));
}

} // namespace quavel::tools
