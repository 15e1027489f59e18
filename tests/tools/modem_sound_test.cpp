// quavel-modem on the sound card, end to end through a real sound server: what 'tx' plays on
// the default output, a concurrently running 'rx' captures from the default input and prints;
// what 'tx' plays is the same train of buffers it writes to a file, back to back to the last
// sample; signals stop both verbs cleanly; devices that cannot be opened are reported.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>
#include <vector>

#include "modem/code_table.h"
#include "platform/wav/wav_file.h"
#include "sound_support.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;
using test::Command;
using test::Process;
using test::read_text;
using test::SoundServer;

constexpr const char* kText = "CQ CQ DE TEST";

// Samples per symbol at a speed of 1, 2 or 4 symbols per second.
uint32_t symbol_samples(int speed) {
    return 8192 / static_cast<uint32_t>(speed);
}

// How long 'tx' plays `text`: the primed pair, an idle symbol while the first character is
// taken, the text's symbols and two idle symbols.
int audio_ms(int speed, const std::string& text) {
    int symbols = 5;
    for (const char c : text)
        symbols += encode_character(static_cast<unsigned char>(c)).count;
    return static_cast<int>(symbols * symbol_samples(speed) / 8);
}

class ModemSoundServer : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name) {
            if (c == '/') c = '-';
        }
        dir =
            fs::temp_directory_path() / ("quavel-sound-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (HasFailure()) say_what_came_from_outside();
        fs::remove_all(dir);
    }

    // Starts a sound server for this test, or skips the test saying why it cannot run here
    // (the caller returns when IsSkipped()).
    void need_sound_server() {
        server = std::make_unique<SoundServer>();
        if (!server->skip_reason().empty()) GTEST_SKIP() << server->skip_reason();
    }

    // `quavel-modem ARGS` with its output in NAME.out and NAME.err.
    Command tool(const std::string& name, const std::vector<std::string>& args) const {
        Command c{{QUAVEL_MODEM_TOOL}, dir / (name + ".out"), dir / (name + ".err"), {}};
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        return c;
    }
    std::string out(const std::string& name) const { return read_text(dir / (name + ".out")); }
    // Each run happens once. When one fails, what the programs said of a machine that did not
    // keep up is added beside the failure: a transmitter whose output the sound system let run
    // dry, or a receiver that fell behind the capture. Whatever was heard then has gaps that
    // may not be the tool's, and the reader can tell such a run from a fault of the tool.
    void say_what_came_from_outside() const {
        std::string said;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            if (entry.path().extension() != ".err") continue;
            const std::string text = read_text(entry.path());
            for (const char* sign : {"ran dry", "were lost because the receiver fell behind"})
                if (text.find(sign) != std::string::npos)
                    said += entry.path().stem().string() + ": " + text;
        }
        if (!said.empty())
            ADD_FAILURE() << "the failures above may come from outside the tool: the sound server "
                             "or the machine did not keep up, as the programs said:\n"
                          << said;
    }
    std::string err(const std::string& name) const { return read_text(dir / (name + ".err")); }

    fs::path dir;
    std::unique_ptr<SoundServer> server;
};

// What a failed run says beside its failures, from the programs' own reports. No sound server
// is needed: the reports are written as the programs write them.
class ModemSoundOutsideNote : public ModemSoundServer {};

TEST_F(ModemSoundOutsideNote, NamesEachProgramThatReportedAGapAndNothingElse) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> reports; // program, what it said
        std::vector<const char*> said;                            // empty: no note at all
    };
    const Case cases[] = {
        {{{"tx", "quavel-modem tx: warning: the audio output ran dry 2 times: the signal has "
                 "gaps\n"},
          {"rx", "quavel-modem rx: centre frequency 1000 Hz\n"}},
         {"tx: quavel-modem tx: warning: the audio output ran dry 2 times"}},
        {{{"tx", "quavel-modem tx: sent\n"},
          {"rx_b", "quavel-modem rx: warning: 512 samples were lost because the receiver fell "
                   "behind the audio input\n"}},
         {"rx_b: quavel-modem rx: warning: 512 samples were lost"}},
        {{{"tx", "quavel-modem tx: sent\n"}, {"rx", "quavel-modem rx: centre frequency\n"}}, {}},
    };
    for (const Case& c : cases) {
        for (const auto& [program, text] : c.reports)
            std::ofstream(dir / (std::string(program) + ".err")) << text;
        ::testing::TestPartResultArray results;
        {
            const ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &results);
            say_what_came_from_outside();
        }
        if (c.said.empty()) {
            EXPECT_EQ(results.size(), 0);
        } else {
            ASSERT_EQ(results.size(), 1);
            EXPECT_TRUE(results.GetTestPartResult(0).nonfatally_failed());
            const std::string message = results.GetTestPartResult(0).message();
            for (const char* part : c.said)
                EXPECT_NE(message.find(part), std::string::npos) << message;
        }
        for (const auto& [program, text] : c.reports)
            fs::remove(dir / (std::string(program) + ".err"));
    }
}

// ---- tx plays, rx captures ---------------------------------------------------------------

struct LinkCase {
    int speed;
    bool rx_stopped_by_signal; // otherwise rx ends by itself after --seconds
};

class ModemSoundServerLink : public ModemSoundServer,
                             public ::testing::WithParamInterface<LinkCase> {
protected:
    // Ends the receiver as the case says and checks what it printed.
    void receive_and_check(const LinkCase& c, Process& rx, int seconds);
};

TEST_P(ModemSoundServerLink, TextPlayedOnTheOutputIsPrintedByTheReceiverOnTheInput) {
    need_sound_server();
    if (IsSkipped()) return;
    const LinkCase& c = GetParam();
    const std::string speed = std::to_string(c.speed);
    const int play_ms = audio_ms(c.speed, kText);
    // Room for both programs to start and for a sound server that is slow to begin rendering.
    const int seconds = play_ms / 1000 + 7;

    std::vector<std::string> rx_args{"rx", "--speed", speed};
    if (!c.rx_stopped_by_signal) {
        rx_args.insert(rx_args.end(), {"--seconds", std::to_string(seconds)});
    }
    Process rx(tool("rx", rx_args));
    ASSERT_TRUE(test::wait_for_text(dir / "rx.err", "listening", 20000)) << err("rx");

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(test::run(tool("tx", {"tx", "--speed", speed, kText}), play_ms + 30000), 0)
        << err("tx");
    const auto took_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    // It returns once the sound has been heard, not long after.
    EXPECT_GE(took_ms, play_ms);
    EXPECT_LT(took_ms, play_ms + 8000);
    receive_and_check(c, rx, seconds);
}

void ModemSoundServerLink::receive_and_check(const LinkCase& c, Process& rx, int seconds) {
    if (c.rx_stopped_by_signal) {
        // The capture runs a little behind the playback, and the receiver a symbol behind that.
        test::sleep_ms(2000);
        rx.signal(SIGINT);
        EXPECT_EQ(rx.wait(5000), std::optional<int>(0)) << err("rx");
    } else {
        EXPECT_EQ(rx.wait(seconds * 1000 + 10000), std::optional<int>(0)) << err("rx");
    }
    EXPECT_NE(out("rx").find(kText), std::string::npos) << "printed: " << out("rx");
    EXPECT_NE(err("rx").find("centre frequency"), std::string::npos) << err("rx");
}

INSTANTIATE_TEST_SUITE_P(Speeds, ModemSoundServerLink,
                         ::testing::Values(LinkCase{4, false}, LinkCase{2, true}),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param.speed) +
                                    (param_info.param.rx_stopped_by_signal ? "StoppedBySignal"
                                                                           : "ForSomeSeconds");
                         });

// ---- what tx plays, recorded -------------------------------------------------------------

double correlation(const int16_t* a, const int16_t* b, size_t n) {
    double ab = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    return ab / (std::sqrt(aa * bb) + 1e-9);
}

int max_difference(const int16_t* a, const int16_t* b, size_t n) {
    int d = 0;
    for (size_t i = 0; i < n; ++i)
        d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}

ptrdiff_t first_loud(const std::vector<int16_t>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 100) return static_cast<ptrdiff_t>(i);
    return -1;
}

std::vector<int16_t> read_raw(const fs::path& path) {
    const std::string bytes = read_text(path);
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return out;
}

struct PlayCase {
    int speed;
    const char* text;
};

class ModemSoundServerPlayback : public ModemSoundServer,
                                 public ::testing::WithParamInterface<PlayCase> {
protected:
    std::vector<int16_t> play_and_record(const PlayCase& c, size_t samples);
};

// Plays the case's text while the default output's monitor is recorded; the recording, raw.
// `samples`: how long the transmission is.
std::vector<int16_t> ModemSoundServerPlayback::play_and_record(const PlayCase& c, size_t samples) {
    const std::string speed = std::to_string(c.speed);
    Process recorder(Command{{"pacat", "--record", "--raw", "--format=s16le", "--rate=8000",
                              "--channels=1", "--latency-msec=20", "--device=@DEFAULT_MONITOR@"},
                             dir / "recording.raw",
                             dir / "pacat.err",
                             {}});
    test::sleep_ms(500);
    EXPECT_TRUE(recorder.running()) << read_text(dir / "pacat.err");
    const int play_ms = static_cast<int>(samples / 8);
    EXPECT_EQ(test::run(tool("tx", {"tx", "--speed", speed, c.text}), play_ms + 30000), 0)
        << err("tx");
    // The recorder runs behind the sound server on a busy machine: it is stopped once it has
    // written the whole transmission and a second more, or has written nothing new for two
    // seconds (a server that stops rendering when nothing plays), and all that it had received
    // is in the file only after it has ended.
    const size_t enough = samples + 8000;
    size_t last_size = 0;
    auto last_growth = std::chrono::steady_clock::now();
    const auto give_up = last_growth + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < give_up) {
        const std::vector<int16_t> so_far = read_raw(dir / "recording.raw");
        const ptrdiff_t onset = first_loud(so_far);
        if (onset >= 0 && so_far.size() >= static_cast<size_t>(onset) + enough) break;
        if (so_far.size() != last_size) {
            last_size = so_far.size();
            last_growth = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - last_growth > std::chrono::seconds(2)) {
            break;
        }
        test::sleep_ms(100);
    }
    recorder.signal(SIGINT);
    if (!recorder.wait(5000)) recorder.signal(SIGKILL);
    return read_raw(dir / "recording.raw");
}

TEST_P(ModemSoundServerPlayback, PlaysTheBuffersOfTheFileBackToBackToTheLastSample) {
    need_sound_server();
    if (IsSkipped()) return;
    if (!test::on_path("pacat")) GTEST_SKIP() << "pacat is not installed (pulseaudio-utils)";
    const PlayCase& c = GetParam();
    const std::string speed = std::to_string(c.speed);
    const size_t n = symbol_samples(c.speed);

    const std::string reference = (dir / "reference.wav").string();
    ASSERT_EQ(test::run(tool("ref", {"tx", "--speed", speed, "-o", reference, c.text}), 60000), 0)
        << err("ref");
    const WavData expected = read_wav(reference);
    ASSERT_TRUE(expected.ok()) << expected.error;

    const std::vector<int16_t> got = play_and_record(c, expected.samples.size());

    // Where the transmission starts in the recording. The first symbols are all the idle
    // symbol, so the first one that differs from it (the first character) fixes the place;
    // the recording may have missed the very beginning, the start of the first symbol.
    const std::vector<int16_t>& want = expected.samples;
    const size_t blocks = want.size() / n;
    size_t anchor = 1;
    while (anchor + 1 < blocks && max_difference(&want[anchor * n], &want[0], n) == 0)
        ++anchor;
    const ptrdiff_t loud_got = first_loud(got);
    const ptrdiff_t loud_want = first_loud(want);
    ASSERT_GE(loud_got, 0) << "nothing was heard; recorded " << got.size() << " samples";
    const ptrdiff_t guess = loud_got - loud_want;
    const ptrdiff_t span = static_cast<ptrdiff_t>(n);
    ptrdiff_t lag = 0;
    double best = -2.0;
    for (ptrdiff_t l = guess - span; l <= guess + span; ++l) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(anchor * n) + l;
        if (at < 0 || at + span > static_cast<ptrdiff_t>(got.size())) continue;
        const double r = correlation(&got[static_cast<size_t>(at)], &want[anchor * n], n);
        if (r > best) {
            best = r;
            lag = l;
        }
    }
    ASSERT_GT(best, 0.9) << "the first character was not found in the recording";
    ASSERT_GE(lag, -span) << "more than the first symbol is missing from the recording";

    // Every symbol after the first (which the recording may have begun inside) in its place:
    // one gap or one lost buffer anywhere would move all that follow it. On a server of the
    // test's own, at the modem's format, they come back sample for sample.
    for (size_t b = 1; b < blocks; ++b) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(b * n) + lag;
        ASSERT_LE(at + span, static_cast<ptrdiff_t>(got.size()))
            << "symbol " << b << " of " << blocks << " was never played to its end";
        const int16_t* heard = &got[static_cast<size_t>(at)];
        if (server->private_server()) {
            ASSERT_LE(max_difference(heard, &want[b * n], n), 1)
                << "symbol " << b << " of " << blocks << "; " << err("tx");
        } else {
            ASSERT_GT(correlation(heard, &want[b * n], n), 0.99)
                << "symbol " << b << " of " << blocks << "; " << err("tx");
        }
    }
    // And nothing after the last symbol.
    const size_t end = static_cast<size_t>(static_cast<ptrdiff_t>(want.size()) + lag);
    if (server->private_server()) {
        for (size_t i = end; i < got.size(); ++i)
            ASSERT_LE(std::abs(got[i]), 1) << "sound " << i - end << " samples after the end";
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, ModemSoundServerPlayback,
                         ::testing::Values(PlayCase{4, kText}, PlayCase{1, "QRZ"}),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param.speed);
                         });

// ---- stopping and failing ----------------------------------------------------------------

class ModemSoundServerStop : public ModemSoundServer, public ::testing::WithParamInterface<int> {};

TEST_P(ModemSoundServerStop, SignalCutsTheTransmissionAndFails) {
    need_sound_server();
    if (IsSkipped()) return;
    const int signal_number = GetParam();
    Process tx(tool("tx", {"tx", "--speed", "4", "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG"}));
    test::sleep_ms(2500);
    ASSERT_TRUE(tx.running()) << err("tx");
    const auto sent = std::chrono::steady_clock::now();
    tx.signal(signal_number);
    EXPECT_EQ(tx.wait(3000), std::optional<int>(128 + signal_number)) << err("tx");
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    EXPECT_NE(err("tx").find("stopped by"), std::string::npos) << err("tx");
}

INSTANTIATE_TEST_SUITE_P(Signals, ModemSoundServerStop, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& param_info) {
                             return std::string(param_info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

TEST_F(ModemSoundServer, LosingTheSoundServerEndsBothVerbsWithAnError) {
    need_sound_server();
    if (IsSkipped()) return;
    if (!server->private_server()) GTEST_SKIP() << "needs a sound server of the test's own to stop";
    Process rx(tool("rx", {"rx", "--speed", "4", "--seconds", "60"}));
    ASSERT_TRUE(test::wait_for_text(dir / "rx.err", "listening", 20000)) << err("rx");
    Process tx(tool("tx", {"tx", "--speed", "4", "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG"}));
    test::sleep_ms(2500);
    ASSERT_TRUE(tx.running()) << err("tx");
    server->stop();
    EXPECT_EQ(tx.wait(10000), std::optional<int>(1)) << err("tx");
    EXPECT_NE(err("tx").find("the audio output device stopped playing"), std::string::npos)
        << err("tx");
    EXPECT_EQ(rx.wait(10000), std::optional<int>(1)) << err("rx");
    EXPECT_NE(err("rx").find("the audio input device stopped delivering audio"), std::string::npos)
        << err("rx");
}

struct OpenFailure {
    const char* verb;
    const char* message;
};

class ModemSoundServerNoDevice : public ModemSoundServer,
                                 public ::testing::WithParamInterface<OpenFailure> {};

// With no sound server to be reached there is no device to open.
TEST_P(ModemSoundServerNoDevice, SaysTheDeviceCannotBeOpenedAndFails) {
    Command c = tool("cmd", {GetParam().verb, "--speed", "4"});
    c.env = {{"PULSE_SERVER", "unix:" + (dir / "no-server").string()}};
    EXPECT_EQ(test::run(c, 20000), 1) << err("cmd");
    EXPECT_NE(err("cmd").find(GetParam().message), std::string::npos) << err("cmd");
    EXPECT_TRUE(out("cmd").empty()) << out("cmd");
}

INSTANTIATE_TEST_SUITE_P(Verbs, ModemSoundServerNoDevice,
                         ::testing::Values(OpenFailure{"tx", "Cannot Open Audio Output Device"},
                                           OpenFailure{"rx", "Cannot Open Audio Input Device"}),
                         [](const auto& param_info) { return std::string(param_info.param.verb); });

// ---- choosing the devices --------------------------------------------------------------

// Two rigs' interfaces beside the server's default devices.
class ModemSoundServerDevices : public ModemSoundServer {
protected:
    void SetUp() override {
        ModemSoundServer::SetUp();
        need_sound_server();
        if (IsSkipped()) return;
        rig_a = std::make_unique<test::DevicePair>("RigA");
        rig_b = std::make_unique<test::DevicePair>("RigB");
        if (!rig_a->ok() || !rig_b->ok()) GTEST_SKIP() << "the sound server refused a null sink";
    }
    // The part of a readable name after "Quavel", in lower case: matches one device only.
    static std::string part(const std::string& name) {
        std::string p = name.substr(6);
        for (char& c : p)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return p;
    }

    std::unique_ptr<test::DevicePair> rig_a;
    std::unique_ptr<test::DevicePair> rig_b;
};

TEST_F(ModemSoundServerDevices, TxPlaysOnlyIntoTheDeviceNamedAndRxHearsOnlyItsOwn) {
    const int seconds = audio_ms(4, kText) / 1000 + 7;
    // Rig B's receiver named by its id, rig A's by a part of its name.
    Process rx_b(tool("rx_b", {"rx", "--speed", "4", "--device", rig_b->source_id, "--seconds",
                               std::to_string(seconds)}));
    Process rx_a(tool("rx_a", {"rx", "--speed", "4", "--device", part(rig_a->source_name),
                               "--seconds", std::to_string(seconds)}));
    ASSERT_TRUE(test::wait_for_text(dir / "rx_b.err", "listening", 20000)) << err("rx_b");
    ASSERT_TRUE(test::wait_for_text(dir / "rx_a.err", "listening", 20000)) << err("rx_a");
    EXPECT_EQ(
        test::run(tool("tx", {"tx", "--speed", "4", "--device", part(rig_b->sink_name), kText}),
                  60000),
        0)
        << err("tx");
    EXPECT_EQ(rx_b.wait(seconds * 1000 + 10000), std::optional<int>(0)) << err("rx_b");
    EXPECT_EQ(rx_a.wait(seconds * 1000 + 10000), std::optional<int>(0)) << err("rx_a");
    EXPECT_NE(out("rx_b").find(kText), std::string::npos) << "printed: " << out("rx_b");
    EXPECT_EQ(out("rx_a").find("TEST"), std::string::npos) << "printed: " << out("rx_a");
}

// Band activity live: the station on the rig's input is found and copied at its speed.
TEST_F(ModemSoundServerDevices, RxBandCopiesAStationFromTheDevice) {
    const int seconds = audio_ms(4, kText) / 1000 + 9;
    Process band(tool("band", {"rx", "--band", "--json", "--device", rig_b->source_id, "--seconds",
                               std::to_string(seconds)}));
    ASSERT_TRUE(test::wait_for_text(dir / "band.err", "band activity", 20000)) << err("band");
    EXPECT_EQ(test::run(tool("tx", {"tx", "--speed", "4", "--freq", "1500", "--device",
                                    part(rig_b->sink_name), kText}),
                        60000),
              0)
        << err("tx");
    EXPECT_EQ(band.wait(seconds * 1000 + 10000), std::optional<int>(0)) << err("band");
    EXPECT_NE(out("band").find("\"speed\":4"), std::string::npos) << out("band");
    EXPECT_NE(out("band").find(kText), std::string::npos) << out("band");
}

// The mixer shows the stream as the program's, and a stream the operator moved there stays
// there for the next transmission, as the server's stream-restore remembers it.
TEST_F(ModemSoundServerDevices, AStreamMovedInTheMixerIsTheProgramsAndStaysMoved) {
    if (!server->private_server())
        GTEST_SKIP() << "needs a sound server of the test's own to give it a stream memory";
    ASSERT_TRUE(test::pactl_output({"load-module", "module-stream-restore"}));
    const std::vector<std::string> args{"tx", "--speed", "4", kText};
    {
        Process first(tool("tx", args));
        const auto [sink, properties] = test::playing_stream(20000);
        ASSERT_FALSE(sink.empty()) << err("tx");
        EXPECT_NE(properties.find("application.name = \"Quavel\""), std::string::npos)
            << properties;
        ASSERT_NE(sink, rig_b->sink_id);
        const auto index = test::pactl_output({"list", "short", "sink-inputs"});
        ASSERT_TRUE(index);
        ASSERT_TRUE(test::pactl_output(
            {"move-sink-input", index->substr(0, index->find('\t')), rig_b->sink_id}));
        EXPECT_EQ(first.wait(30000), std::optional<int>(0)) << err("tx");
    }
    Process second(tool("tx", args));
    EXPECT_EQ(test::playing_stream(20000).first, rig_b->sink_id);
    EXPECT_EQ(second.wait(30000), std::optional<int>(0)) << err("tx");
}

TEST_F(ModemSoundServerDevices, DevicesListsBothDirectionsWithIdsAndNames) {
    ASSERT_EQ(test::run(tool("devices", {"devices"}), 20000), 0) << err("devices");
    const std::string listed = out("devices");
    const size_t outputs = listed.find("audio output devices");
    ASSERT_NE(outputs, std::string::npos) << listed;
    for (const test::DevicePair* rig : {rig_a.get(), rig_b.get()}) {
        const size_t source = listed.find(rig->source_id);
        const size_t sink = listed.find(rig->sink_id + " ");
        EXPECT_LT(source, outputs) << listed;
        EXPECT_NE(sink, std::string::npos) << listed;
        EXPECT_GT(sink, outputs) << listed;
        EXPECT_NE(listed.find(rig->sink_name, sink), std::string::npos) << listed;
    }
    // The server's default devices are marked, one in each direction.
    const auto marked = [&](size_t from, size_t to) {
        int count = 0;
        for (size_t at = listed.find("\n* ", from); at < to; at = listed.find("\n* ", at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(marked(0, outputs), 1) << listed;
    EXPECT_EQ(marked(outputs, listed.size()), 1) << listed;
}

TEST_F(ModemSoundServerDevices, ANameThatFitsNoDeviceOrSeveralIsRefusedWithTheList) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
        std::string listed;
    };
    const std::string both = "quavelrig"; // a part of both rigs' names
    const Case cases[] = {
        {{"tx", "--device", "no such rig", "HI"},
         "no audio output device matches 'no such rig'",
         rig_a->sink_id},
        {{"tx", "--device", both, "HI"}, "matches 2 audio output devices", rig_b->sink_name},
        {{"rx", "--device", both, "--seconds", "1"},
         "matches 2 audio input devices",
         rig_a->source_id},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::run(tool("cmd", c.args), 20000), 2) << err("cmd");
        EXPECT_NE(err("cmd").find(c.message), std::string::npos) << err("cmd");
        EXPECT_NE(err("cmd").find(c.listed), std::string::npos) << err("cmd");
        EXPECT_TRUE(out("cmd").empty()) << out("cmd");
    }
}

// ---- the command lines ---------------------------------------------------------------------

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class ModemSoundUsage : public ModemSoundServer, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(ModemSoundUsage, RefusedWithAMessageAndStatus2) {
    EXPECT_EQ(test::run(tool("cmd", GetParam().args), 20000), 2) << err("cmd");
    EXPECT_NE(err("cmd").find(GetParam().message), std::string::npos) << err("cmd");
}

INSTANTIATE_TEST_SUITE_P(
    Options, ModemSoundUsage,
    ::testing::Values(
        UsageCase{"zero", {"rx", "--seconds", "0"}, "--seconds must be a whole number from 1"},
        UsageCase{"fraction", {"rx", "--seconds=1.5"}, "--seconds must be a whole number"},
        UsageCase{"too_long", {"rx", "--seconds", "86401"}, "from 1 to 86400"},
        UsageCase{"no_value", {"rx", "--seconds"}, "--seconds needs a value"},
        UsageCase{"with_stdin", {"rx", "--seconds", "5", "-"}, "--seconds is for capture"},
        UsageCase{"with_self_test", {"rx", "--test", "--seconds", "5"}, "--seconds is for capture"},
        UsageCase{"tx_seconds", {"tx", "--seconds", "5", "HI"}, "unknown option '--seconds'"},
        UsageCase{"tx_device_and_file",
                  {"tx", "--device", "x", "-o", "x.wav", "HI"},
                  "--device is for playing"},
        UsageCase{"rx_device_and_file", {"rx", "--device", "x", "-"}, "--device is for capture"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct HelpCase {
    const char* verb;
    std::vector<const char*> mentions;
};

class ModemSoundHelp : public ModemSoundServer, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(ModemSoundHelp, HelpDescribesTheSoundCard) {
    ASSERT_EQ(test::run(tool("help", {GetParam().verb, "--help"}), 20000), 0);
    for (const char* m : GetParam().mentions)
        EXPECT_NE(out("help").find(m), std::string::npos) << m << " in:\n" << out("help");
}

INSTANTIATE_TEST_SUITE_P(
    Verbs, ModemSoundHelp,
    ::testing::Values(HelpCase{"tx", {"default audio output device", "SIGTERM", "-o, --output"}},
                      HelpCase{"rx", {"default audio input device", "--seconds N", "SIGTERM"}}),
    [](const auto& param_info) { return std::string(param_info.param.verb); });

} // namespace
} // namespace quavel
