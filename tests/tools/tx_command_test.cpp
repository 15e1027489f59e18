// quavel-modem tx end to end: the WAV it writes, cut into N-sample buffers, must be exactly the
// buffers the scheduler fills: the primed pair, an idle symbol while the first character is
// taken, the text's symbols, two idle symbols.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "modem/modem.h"
#include "platform/wav/wav_file.h"
#include "support/full_disk.h"
#include "support/param_name.h"
#include "tx/morse_id.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;

class TxCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name) {
            if (c == '/') c = '-';
        }
        dir = fs::temp_directory_path() / ("quavel-tx-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        wav = (dir / "out.wav").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool with `args` (shell words), stdin from `input`; returns the exit code.
    int run(const std::string& args, const std::string& input = "") {
        const fs::path in = dir / "stdin.txt";
        std::ofstream(in, std::ios::binary) << input;
        const std::string cmd = std::string("'") + QUAVEL_MODEM_TOOL + "' tx " + args + " < '" +
                                in.string() + "' > '" + (dir / "stdout.txt").string() + "' 2> '" +
                                (dir / "stderr.txt").string() + "'";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string stderr_text() const {
        std::ifstream f(dir / "stderr.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // Everything in the directory except the files the harness made itself.
    std::vector<std::string> left_behind() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n != "stdin.txt" && n != "stdout.txt" && n != "stderr.txt") out.push_back(n);
        }
        return out;
    }

    fs::path dir;
    std::string wav;
};

// What the buffers should hold, built from the modem directly.
struct Expected {
    Expected(int item, uint32_t centre_hz) {
        modem.initialise_profile(kSpeeds[item], none);
        modem.set_centre_frequency(centre_hz, none);
    }
    uint32_t n() const { return modem.profile.N; }
    void symbol(uint32_t s) {
        std::vector<int16_t> row(n());
        synthesise_symbol(row, s, static_cast<float>(modem.tuning.centre_hz), modem.profile);
        buffers.push_back(row);
    }
    void silence() { buffers.emplace_back(n(), int16_t{0}); }
    void text(const std::string& t) {
        for (const char c : t) {
            const EncodedCharacter e = encode_character(static_cast<unsigned char>(c));
            ASSERT_GT(e.count, 0) << "pick characters that send something: " << c;
            for (int i = 0; i < e.count; ++i)
                symbol(e.symbols[static_cast<size_t>(i)]);
        }
    }
    void carrier() {
        uint32_t k = 0;
        for (uint32_t b = 0; b < 6 * modem.profile.speed; ++b) {
            std::vector<int16_t> buf(n());
            for (int16_t& v : buf) {
                v = static_cast<int16_t>(
                    30000 * std::sin(k++ * static_cast<double>(modem.tuning.tune_phase_step)));
            }
            buffers.push_back(buf);
        }
    }
    void identification(const std::string& callsign) {
        IdentificationAudio id;
        id.build(static_cast<float>(modem.tuning.centre_hz), callsign, modem.profile.keying_ramp);
        const uint32_t count = id.block_count() * modem.profile.speed / 4 + 1;
        for (uint32_t b = 0; b < count; ++b) {
            const auto from = id.store().begin() + static_cast<ptrdiff_t>(b * n());
            buffers.emplace_back(from, from + n());
        }
    }
    // The primed pair and the idle refill during which the first character is taken.
    void start(bool ptt_delay) {
        if (ptt_delay) {
            silence();
        } else {
            symbol(kIdleSymbol);
        }
        symbol(kIdleSymbol);
    }
    void end() {
        symbol(kIdleSymbol);
        symbol(kIdleSymbol);
    }
    // Compares buffer by buffer so a failure names the first wrong buffer.
    void check(const std::string& path) const {
        const WavData got = read_wav(path);
        ASSERT_TRUE(got.ok()) << got.error;
        ASSERT_EQ(got.samples.size(), buffers.size() * n())
            << "buffers: " << got.samples.size() / n() << ", expected " << buffers.size();
        for (size_t b = 0; b < buffers.size(); ++b) {
            const std::vector<int16_t> buf(got.samples.begin() + static_cast<ptrdiff_t>(b * n()),
                                           got.samples.begin() +
                                               static_cast<ptrdiff_t>((b + 1) * n()));
            ASSERT_EQ(buf, buffers[b]) << "buffer " << b;
        }
    }

    ProfileListener none;
    Modem modem;
    std::vector<std::vector<int16_t>> buffers;
};

struct TextCase {
    int speed;
    uint32_t centre_hz;
    bool ptt_delay;
    const char* text; // as given on the command line
    const char* sent; // after upper-casing
};
class TxText : public TxCommand, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TxText, WritesPrimedIdleTextAndTwoIdleSymbols) {
    const TextCase& c = GetParam();
    const std::string args = "--speed " + std::to_string(c.speed) + " --freq " +
                             std::to_string(c.centre_hz) + (c.ptt_delay ? " --ptt-delay" : "") +
                             " -o '" + wav + "' -- " + c.text;
    ASSERT_EQ(run(args), 0) << stderr_text();
    Expected e(c.speed == 1 ? 0 : c.speed == 2 ? 1 : 2, c.centre_hz);
    e.start(c.ptt_delay);
    e.symbol(kIdleSymbol);
    e.text(c.sent);
    e.end();
    e.check(wav);
    EXPECT_EQ(left_behind(), std::vector<std::string>{"out.wav"});
}

INSTANTIATE_TEST_SUITE_P(Speeds, TxText,
                         ::testing::Values(TextCase{1, 1000, false, "CQ?", "CQ?"},
                                           TextCase{2, 1234, true, "de dl1abc", "DE DL1ABC"},
                                           TextCase{4, 100, false, "'A=B @ (1).'", "A=B @ (1)."},
                                           TextCase{4, 1900, true, "Q", "Q"}),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param.speed) + "At" +
                                    std::to_string(param_info.param.centre_hz) + "Hz";
                         });

TEST_F(TxCommand, EmptyTextGivesThePrimedPairAndTwoIdleSymbols) {
    ASSERT_EQ(run("--ptt-delay -o '" + wav + "' ''"), 0) << stderr_text();
    Expected e(1, 1000);
    e.start(true);
    e.end();
    e.check(wav);
}

TEST_F(TxCommand, TextFromStandardInputSendsLineBreaksAsSpacesExceptAtTheEnd) {
    ASSERT_EQ(run("-o '" + wav + "'", "cq\r\nde k\n\n"), 0) << stderr_text();
    Expected e(1, 1000);
    e.start(false);
    e.symbol(kIdleSymbol);
    e.text("CQ DE K");
    e.end();
    e.check(wav);
}

TEST_F(TxCommand, StandardOutputGetsTheSameFile) {
    ASSERT_EQ(run("-o '" + wav + "' CQ"), 0) << stderr_text();
    ASSERT_EQ(run("-o - CQ"), 0) << stderr_text();
    const WavData file = read_wav(wav);
    const WavData stream = read_wav((dir / "stdout.txt").string());
    ASSERT_TRUE(stream.ok()) << stream.error;
    EXPECT_EQ(stream.samples, file.samples);
}

// Stopped while its temporary file grows, the writer removes it and fails with the signal.
TEST_F(TxCommand, StopSignalsLeaveNoUnfinishedFile) {
    const std::string text = std::string(50000, 'E'); // at speed 1 some 800 MB of audio
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        int feed[2];
        ASSERT_EQ(::pipe(feed), 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, feed[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&files, feed[1]);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        std::string tool = QUAVEL_MODEM_TOOL;
        std::string verb = "tx", speed = "--speed", one = "1", o = "-o";
        char* argv[] = {tool.data(), verb.data(), speed.data(), one.data(),
                        o.data(),    wav.data(),  nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &files, &attr, argv, environ), 0);
        ::close(feed[0]);
        ASSERT_EQ(::write(feed[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(feed[1]);
        for (int i = 0; i < 1000 && left_behind().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_FALSE(left_behind().empty()) << "no temporary file appeared";
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(left_behind(), std::vector<std::string>{});
        fs::remove(wav);
    }
}

// A disk that fills under the file: a clear failure, and what was written before is kept whole.
TEST_F(TxCommand, AFullDiskFailsAndKeepsWhatWasWrittenInAValidFile) {
    test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    const std::string out = disk.file("out.wav").string();
    EXPECT_EQ(run("--speed 2 -o '" + out + "' -- 'CQ CQ CQ DE G4ABC G4ABC G4ABC K'"), 1);
    const std::string said = stderr_text();
    EXPECT_NE(said.find("No space left on device"), std::string::npos) << said;
    EXPECT_NE(said.find("kept in " + out), std::string::npos) << said;
    const WavData kept = read_wav(out);
    ASSERT_TRUE(kept.ok()) << kept.error;
    EXPECT_GT(kept.samples.size(), 0u);
    EXPECT_EQ(fs::file_size(out), 44 + 2 * kept.samples.size());
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(disk.path()))
        ++files;
    EXPECT_EQ(files, 1u) << "a temporary file was left beside it";
}

TEST_F(TxCommand, TuneCarrierComesFirstThenIdentificationThenText) {
    ASSERT_EQ(run("--speed 4 --freq 1500 --tune --id --callsign dl1abc/p -o '" + wav + "' HI"), 0)
        << stderr_text();
    Expected e(2, 1500);
    e.start(false);
    e.carrier();
    e.identification("DL1ABC/P");
    e.text("HI"); // taken while the carrier ran
    e.end();
    e.check(wav);
}

TEST_F(TxCommand, IdentificationAloneAtSpeedOne) {
    ASSERT_EQ(run("--speed 1 --id --callsign K1A --ptt-delay -o '" + wav + "' K"), 0)
        << stderr_text();
    Expected e(0, 1000);
    e.start(true);
    e.identification("K1A");
    e.text("K");
    e.end();
    e.check(wav);
}

struct BadCase {
    const char* args;
    int exit_code;
    const char* message;
};
class TxBadInput : public TxCommand, public ::testing::WithParamInterface<BadCase> {};

TEST_P(TxBadInput, RefusedWithAMessageAndNoFile) {
    std::string args = GetParam().args;
    if (const size_t at = args.find("OUT"); at != std::string::npos) {
        args.replace(at, 3, "'" + wav + "'");
    }
    if (const size_t at = args.find("DIR"); at != std::string::npos) {
        args.replace(at, 3, "'" + dir.string() + "'");
    }
    EXPECT_EQ(run("TEXT " + args), GetParam().exit_code);
    EXPECT_NE(stderr_text().find(GetParam().message), std::string::npos) << stderr_text();
    EXPECT_TRUE(left_behind().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TxBadInput,
    ::testing::Values(BadCase{"-o OUT --bogus", 2, "unknown option '--bogus'"},
                      BadCase{"-o OUT --speed 3", 2, "--speed must be 1, 2 or 4"},
                      BadCase{"-o OUT --speed=two", 2, "--speed must be 1, 2 or 4"},
                      BadCase{"-o OUT --speed", 2, "--speed needs a value"},
                      BadCase{"-o OUT --freq 99", 2, "outside the centre-frequency range"},
                      BadCase{"-o OUT --freq 1901", 2, "outside the centre-frequency range"},
                      BadCase{"-o OUT --freq 1e3", 2, "whole number"},
                      BadCase{"-o OUT --id", 2, "--id needs the station callsign"},
                      BadCase{"-o OUT --id --callsign NOCALL", 2, "NOCALL"},
                      BadCase{"-o OUT --callsign ABCDEFGHIJKLMNO", 2, "longer than 14"},
                      BadCase{"--tune=yes -o OUT", 2, "--tune takes no value"},
                      BadCase{"-o DIR/missing/out.wav", 1, "cannot write"},
                      BadCase{"-o DIR", 1, "is a directory"}),
    [](const auto& param_info) { return test::name_of_text(param_info.param.args); });

TEST_F(TxCommand, HelpNamesEveryOption) {
    ASSERT_EQ(run("--help"), 0);
    std::ifstream f(dir / "stdout.txt");
    std::stringstream s;
    s << f.rdbuf();
    for (const char* option :
         {"--speed", "--freq", "--ptt-delay", "--callsign", "--id", "--tune", "-o"}) {
        EXPECT_NE(s.str().find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace quavel
