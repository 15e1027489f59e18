// quavel-modem rx end to end: what it copies from the transmitter's files and from raw samples,
// and how it refuses every kind of bad input and bad option.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <unistd.h>
#include <vector>

#include "modem/code_table.h"
#include "modem/modem.h"
#include "platform/wav/wav_file.h"
#include "support/param_name.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;

class RxCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name) {
            if (c == '/') c = '-';
        }
        dir = fs::temp_directory_path() / ("quavel-rx-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs `quavel-modem VERB ARGS` (shell words) with standard input from `stdin_path` (or
    // empty); returns the exit code and keeps stdout and stderr.
    int run(const std::string& verb_and_args, const std::string& stdin_path = "") {
        std::string in = stdin_path;
        if (in.empty()) {
            in = (dir / "empty").string();
            std::ofstream(in, std::ios::binary).flush();
        }
        const std::string cmd = std::string("'") + QUAVEL_MODEM_TOOL + "' " + verb_and_args +
                                " < '" + in + "' > '" + (dir / "stdout.txt").string() + "' 2> '" +
                                (dir / "stderr.txt").string() + "'";
        const int status = std::system(cmd.c_str());
        out = slurp(dir / "stdout.txt");
        err = slurp(dir / "stderr.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int rx(const std::string& args, const std::string& stdin_path = "") {
        return run("rx " + args, stdin_path);
    }
    static std::string slurp(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    // A transmission written by the transmitter tool.
    std::string transmit(const std::string& text, int speed, int freq) {
        const std::string wav = path("tx.wav");
        EXPECT_EQ(run("tx --speed " + std::to_string(speed) + " --freq " + std::to_string(freq) +
                      " -o '" + wav + "' '" + text + "'"),
                  0)
            << err;
        return wav;
    }

    // The transmitter's audio for `text` after `offset_samples` of silence and `extra_idles` more
    // idle symbols, and before `trailing_samples` of silence, passed through
    // 'quavel-modem channel CHANNEL_ARGS': the path of what is heard.
    std::string on_air(const std::string& text, int speed, int freq, size_t offset_samples,
                       int extra_idles, const std::string& channel_args,
                       size_t trailing_samples = 0) {
        const WavData sent = read_wav(transmit(text, speed, freq));
        EXPECT_TRUE(sent.ok()) << sent.error;
        const size_t symbol = 8192 / static_cast<size_t>(speed); // the transmission's first: idle
        std::vector<int16_t> late(offset_samples, 0);
        for (int i = 0; i < extra_idles && sent.samples.size() >= symbol; ++i)
            late.insert(late.end(), sent.samples.begin(), sent.samples.begin() + symbol);
        late.insert(late.end(), sent.samples.begin(), sent.samples.end());
        late.resize(late.size() + trailing_samples, 0);
        std::string error;
        EXPECT_TRUE(write_wav(path("late.wav"), late, error)) << error;
        EXPECT_EQ(run("channel " + channel_args + " '" + path("late.wav") + "' '" +
                      path("air.wav") + "'"),
                  0)
            << err;
        return path("air.wav");
    }

    fs::path dir;
    std::string out;
    std::string err;
};

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

struct Header {
    uint16_t format = 1; // PCM
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint16_t bits = 16;
};

// A WAV file of `data_bytes` bytes of data after a plain 44-byte header; `claimed` overrides the
// data chunk's length.
std::string wav_bytes(const Header& h, const std::string& data, int64_t claimed = -1) {
    const uint16_t block = static_cast<uint16_t>(h.channels * h.bits / 8);
    std::string s = "RIFF";
    put32(s, static_cast<uint32_t>(36 + data.size()));
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, h.format);
    put16(s, h.channels);
    put32(s, h.rate);
    put32(s, h.rate * block);
    put16(s, block);
    put16(s, h.bits);
    s += "data";
    put32(s, claimed >= 0 ? static_cast<uint32_t>(claimed) : static_cast<uint32_t>(data.size()));
    return s + data;
}

std::string noise_bytes(size_t n) {
    std::string s;
    uint32_t x = 7;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        s += static_cast<char>(x >> 24);
    }
    return s;
}

bool copies(const std::string& copy, const std::string& text, size_t stray) {
    return copy.size() >= text.size() && copy.size() - text.size() <= stray && copy.ends_with(text);
}

class RxRoundTrip : public RxCommand, public ::testing::WithParamInterface<int> {};

TEST_P(RxRoundTrip, CopiesWhatTheTransmitterSent) {
    const int speed = GetParam();
    const std::string wav = transmit("CQ DE QUAVEL? PSE K", speed, 1210);
    ASSERT_EQ(rx("--speed " + std::to_string(speed) + " --freq 1210 '" + wav + "'"), 0) << err;
    EXPECT_TRUE(copies(out, "CQ DE QUAVEL? PSE K\n", 1)) << out;
    EXPECT_NE(err.find("centre frequency 121"), std::string::npos) << err;
    EXPECT_NE(err.find("sync position"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Speeds, RxRoundTrip, ::testing::Values(1, 2, 4),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param);
                         });

// When the gap between symbols falls near the scope's columns 0 and 64, noise makes auto-sync
// jump the slice by a whole symbol back and forth; each jump used to print a character twice or
// lose one. Offsets of about half a symbol (less the history's lag) put the gap there. Where the
// gap sits on column 0 itself the timing rule waits for the dip to move before it settles, so
// eight more idle symbols lead in: settling is not what is tested here.
struct SlipCase {
    int speed;
    int offset_samples;
};

class RxSlip : public RxCommand, public ::testing::WithParamInterface<SlipCase> {};

TEST_P(RxSlip, SyncJumpsNeitherRepeatNorLoseASymbol) {
    const SlipCase c = GetParam();
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";
    const std::string air = on_air(text, c.speed, 1000, static_cast<size_t>(c.offset_samples), 8,
                                   "--snr 10 --seed " + std::to_string(c.offset_samples));
    ASSERT_EQ(rx("--speed " + std::to_string(c.speed) + " '" + air + "'"), 0) << err;
    // The first steps straddle the silence and the signal's start and may print a stray or two.
    EXPECT_TRUE(copies(out, text + "\n", 3)) << out;
}

INSTANTIATE_TEST_SUITE_P(NearHalfASymbol, RxSlip,
                         ::testing::Values(SlipCase{1, 3900}, SlipCase{1, 3964}, SlipCase{1, 4028},
                                           SlipCase{2, 1900}, SlipCase{2, 1996}, SlipCase{4, 928},
                                           SlipCase{4, 992}, SlipCase{4, 2992}),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param.speed) + "Offset" +
                                    std::to_string(param_info.param.offset_samples);
                         });

// The weak-signal receiver through the same channel: what the classic one cannot copy.
constexpr const char* kWeakText = "CQ CQ DE QUAVEL? THE QUICK BROWN FOX @ 73 =";

struct WeakCase {
    int speed;
    std::string channel; // 'quavel-modem channel' options
};

class RxWeak : public RxCommand, public ::testing::WithParamInterface<WeakCase> {};

// Found up to 20 Hz either side of the tuning at 0 dB, and followed through a sample clock
// 1000 ppm off; eight idle symbols give the search its time, so the whole text must come.
TEST_P(RxWeak, FindsAndCopiesTheSignal) {
    const WeakCase c = GetParam();
    const std::string air = on_air(kWeakText, c.speed, 1000, 1234, 8, c.channel + " --seed 7");
    ASSERT_EQ(rx("--receiver weak --speed " + std::to_string(c.speed) + " '" + air + "'"), 0)
        << err;
    // Found and followed from its first character: the timing the idle tone leaves uncertain
    // is set by the first wide pairs, and a sample clock 1000 ppm off is learnt over the idles.
    EXPECT_EQ(out, std::string(kWeakText) + "\n");
    EXPECT_NE(err.find("weak receiver locked at"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Channels, RxWeak,
    ::testing::Values(WeakCase{1, "--offset 20 --snr 0"}, WeakCase{2, "--offset -20 --snr 0"},
                      WeakCase{4, "--offset 20 --snr 0"}, WeakCase{4, "--offset -20 --snr 0"},
                      WeakCase{1, "--ppm -1000 --snr 10"}, WeakCase{1, "--ppm 1000 --snr 10"},
                      WeakCase{2, "--ppm 1000 --snr 10"}, WeakCase{4, "--ppm -1000 --snr 10"},
                      WeakCase{4, "--ppm 1000 --snr 10"}),
    [](const auto& param_info) {
        return "Speed" + std::to_string(param_info.param.speed) +
               test::name_of_text(param_info.param.channel);
    });

// White noise of our own, about 3000 rms: nothing to copy.
std::vector<int16_t> noise(size_t count, uint32_t seed) {
    std::vector<int16_t> out(count);
    uint32_t x = seed;
    for (int16_t& v : out) {
        int sum = 0;
        for (int i = 0; i < 4; ++i) {
            x = x * 1664525u + 1013904223u;
            sum += static_cast<int>(x >> 20) - 2048; // uniform, 4096 wide
        }
        v = static_cast<int16_t>(sum * 5 / 4); // four summed: near Gaussian
    }
    return out;
}

TEST_F(RxCommand, WeakSquelchHoldsOnNoiseAndOpensWithoutIt) {
    std::string error;
    ASSERT_TRUE(write_wav(path("noise.wav"), noise(60 * 8000, 11), error)) << error;
    ASSERT_EQ(rx("--receiver weak --speed 4 '" + path("noise.wav") + "'"), 0) << err;
    EXPECT_LE(out.size(), 2u) << out; // at most a character in the minute (and its line break)
    EXPECT_NE(err.find("weak receiver not locked"), std::string::npos) << err;
    ASSERT_EQ(rx("--receiver weak --no-squelch --speed 4 '" + path("noise.wav") + "'"), 0) << err;
    EXPECT_GT(out.size(), 20u) << out;
}

class RxWeakSquelch : public RxCommand, public ::testing::WithParamInterface<int> {};

TEST_P(RxWeakSquelch, OpensOnATransmissionAndFallsSilentWhenItEnds) {
    // Twenty seconds of noise alone, the transmission at 0 dB, ten seconds of noise: nothing
    // printed before it, the text copied from within the acquisition time (its first call) on,
    // and nothing printed after it.
    const int speed = GetParam();
    const std::string air =
        on_air(kWeakText, speed, 1000, 20 * 8000, 0, "--snr 0 --seed 3", 10 * 8000);
    ASSERT_EQ(rx("--receiver weak --speed " + std::to_string(speed) + " '" + air + "'"), 0) << err;
    const std::string text(kWeakText);
    EXPECT_TRUE(out.ends_with(text.substr(2) + "\n")) << out;
    EXPECT_LE(out.size(), text.size() + 1) << out;
}

INSTANTIATE_TEST_SUITE_P(Speeds, RxWeakSquelch, ::testing::Values(1, 2, 4),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param);
                         });

TEST_F(RxCommand, SecondaryPaneAndSwitches) {
    const std::string wav = transmit("AB", 2, 1000);
    ASSERT_EQ(rx("--secondary --no-afc --no-autosync '" + wav + "'"), 0) << err;
    EXPECT_TRUE(copies(out, "OV\n", 1)) << out;
    EXPECT_NE(err.find("centre frequency 1000 Hz, sync position 1024"), std::string::npos) << err;
}

TEST_F(RxCommand, RawSamplesOnStandardInput) {
    const WavData wav = read_wav(transmit("RAW 73", 4, 800));
    ASSERT_TRUE(wav.ok());
    std::string raw;
    for (int16_t v : wav.samples)
        put16(raw, static_cast<uint16_t>(v));
    raw += '\x01'; // a stray odd byte at the end is ignored
    write("raw.s16", raw);
    ASSERT_EQ(rx("--speed 4 --freq 800 -", path("raw.s16")), 0) << err;
    EXPECT_TRUE(copies(out, "RAW 73\n", 1)) << out;
}

TEST_F(RxCommand, SelfTestWithoutInputRunsOneCycle) {
    ASSERT_EQ(rx("--test --freq 900"), 0) << err;
    EXPECT_TRUE(copies(out,
                       "THIS TEST MESSAGE WILL PRINT OUT THE WHOLE QUAVEL CHARACTER SET "
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890,.'/)(?@=\n",
                       1))
        << out;
}

TEST_F(RxCommand, SelfTestPacedByAFile) {
    // Three symbols of audio: three steps, the third decodes the third idle of the sequence.
    write("short.wav", wav_bytes({}, std::string(3 * 4096 * 2, '\0')));
    ASSERT_EQ(rx("--test --freq 900 '" + path("short.wav") + "'"), 0) << err;
    EXPECT_NE(err.find("3 symbols"), std::string::npos) << err;
}

TEST_F(RxCommand, HelpGoesToStandardOutput) {
    ASSERT_EQ(rx("--help"), 0);
    EXPECT_NE(out.find("usage: quavel-modem rx"), std::string::npos);
    EXPECT_NE(out.find("--secondary"), std::string::npos);
}

TEST_F(RxCommand, LyingDataLengthReadsWhatIsThere) {
    const WavData wav = read_wav(transmit("LIAR", 2, 1000));
    ASSERT_TRUE(wav.ok());
    std::string data;
    for (int16_t v : wav.samples)
        put16(data, static_cast<uint16_t>(v));
    write("lying.wav", wav_bytes({}, data, static_cast<int64_t>(data.size()) * 3));
    ASSERT_EQ(rx("'" + path("lying.wav") + "'"), 0) << err;
    EXPECT_TRUE(copies(out, "LIAR\n", 1)) << out;
}

struct BadInput {
    const char* name;
    std::string bytes; // empty name: no file at all
    const char* message;
};

class RxBadInput : public RxCommand, public ::testing::WithParamInterface<BadInput> {};

TEST_P(RxBadInput, RefusedWithAMessageAndStatus1) {
    const BadInput& c = GetParam();
    const std::string file = path("input.wav");
    if (std::string(c.name) != "missing") write("input.wav", c.bytes);
    EXPECT_EQ(rx("'" + file + "'"), 1) << out << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(err.find("centre frequency"), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
}

const std::string kSamples = noise_bytes(8192);

INSTANTIATE_TEST_SUITE_P(
    Files, RxBadInput,
    ::testing::Values(BadInput{"missing", "", "no such file"}, BadInput{"empty", "", "input.wav"},
                      BadInput{"text", "this is not a sound file\n", "input.wav"},
                      BadInput{"rate", wav_bytes({.rate = 11025}, kSamples), "11025 Hz"},
                      BadInput{"stereo", wav_bytes({.channels = 2}, kSamples), "2 channel"},
                      BadInput{"eightbit", wav_bytes({.bits = 8}, kSamples), "16-bit"},
                      BadInput{"twentyfour", wav_bytes({.bits = 24}, noise_bytes(8190)), "16-bit"},
                      BadInput{"float", wav_bytes({.format = 3, .bits = 32}, kSamples), "16-bit"},
                      BadInput{"alaw", wav_bytes({.format = 6, .bits = 8}, kSamples), "16-bit"},
                      BadInput{"truncated_header", wav_bytes({}, kSamples).substr(0, 30),
                               "input.wav"},
                      BadInput{"no_samples", wav_bytes({}, ""), "input.wav"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RxCommand, DirectoryIsNotAFile) {
    fs::create_directories(dir / "sub");
    EXPECT_EQ(rx("'" + path("sub") + "'"), 1);
    EXPECT_NE(err.find("directory"), std::string::npos) << err;
}

TEST_F(RxCommand, EmptyStandardInput) {
    EXPECT_EQ(rx("-"), 1);
    EXPECT_NE(err.find("standard input holds no samples"), std::string::npos) << err;
}

// Two stations in one file, at two speeds, through the channel's noise: each printed as JSON
// lines with its frequency and speed, joined into what it sent.
TEST_F(RxCommand, BandCopiesEveryStationAsJsonLines) {
    const WavData low = read_wav(transmit("CQ DE G4ABC G4ABC K", 2, 700));
    const WavData high = read_wav(transmit("QRZ DE W1AW W1AW K", 4, 1650));
    std::vector<int16_t> mix(std::max(low.samples.size(), high.samples.size() + 16000), 0);
    for (size_t i = 0; i < low.samples.size(); ++i)
        mix[i] += low.samples[i] / 2;
    for (size_t i = 0; i < high.samples.size(); ++i)
        mix[i + 16000] += high.samples[i] / 2;
    std::string error;
    ASSERT_TRUE(write_wav(path("two.wav"), mix, error)) << error;
    ASSERT_EQ(run("channel --snr 10 '" + path("two.wav") + "' '" + path("air.wav") + "'"), 0);
    ASSERT_EQ(rx("--band --json '" + path("air.wav") + "'"), 0) << err;
    std::map<std::string, std::string> texts; // by frequency and speed, rounded
    std::istringstream lines(out);
    // Each line: {"time_s":T,"station":N,"freq_hz":F,"speed":S,"snr_db":D|null,"text":"..."}.
    const auto field = [](const std::string& l, const std::string& name) {
        const std::size_t at = l.find("\"" + name + "\":");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + name.size() + 3;
        return l.substr(from, l.find_first_of(",}", from) - from);
    };
    for (std::string l; std::getline(lines, l);) {
        ASSERT_TRUE(l.starts_with("{\"time_s\":") && l.ends_with("\"}")) << l;
        for (const char* name : {"station", "freq_hz", "speed", "snr_db"})
            ASSERT_FALSE(field(l, name).empty()) << name << " in " << l;
        const std::size_t text = l.find("\"text\":\"");
        ASSERT_NE(text, std::string::npos) << l;
        const int hz = (static_cast<int>(std::stod(field(l, "freq_hz"))) + 5) / 10 * 10;
        texts[std::to_string(hz) + "/" + field(l, "speed")] +=
            l.substr(text + 8, l.size() - text - 10);
    }
    // Each station's text as sent; the weak receiver may print a symbol or two of noise as a
    // strong signal ends.
    ASSERT_EQ(texts.size(), 2u) << out;
    EXPECT_TRUE(copies(texts["700/2"], "CQ DE G4ABC G4ABC K", 0)) << out;
    EXPECT_TRUE(texts["1650/4"].starts_with("QRZ DE W1AW W1AW K") && texts["1650/4"].size() <= 20)
        << out;
}

// A station 20 dB stronger 150 Hz away: both listed, the weaker copied whole, and no third made
// of the stronger one's tones read a few spacings off.
TEST_F(RxCommand, BandCopiesAStationBesideAStrongerOne) {
    fs::rename(transmit("QRZ DE W1AW W1AW W1AW W1AW W1AW W1AW K", 4, 1000), path("strong.wav"));
    ASSERT_EQ(run("channel --snr -10 --neighbour '" + path("strong.wav") +
                  "' --neighbour-db 20 --neighbour-offset 150 '" +
                  transmit("CQ DE G4ABC G4ABC K", 2, 1000) + "' '" + path("air.wav") + "'"),
              0)
        << err;
    ASSERT_EQ(rx("--band '" + path("air.wav") + "'"), 0) << err;
    const std::size_t weak = out.find(" Hz  speed 2  SNR ");
    ASSERT_NE(weak, std::string::npos) << out;
    EXPECT_TRUE(out.substr(weak - 6, 6) == "1000.0" || out.substr(weak - 6, 6) == "1000.1") << out;
    EXPECT_NE(out.find(" dB  CQ DE G4ABC G4ABC K\n", weak), std::string::npos) << out;
    EXPECT_NE(out.find(" 1150.0 Hz  speed 4"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

// The transmitter's own files, with no noise at all (as from a sound card looped back): the
// station's skirts stand far above the floor, yet there is one station and its text once.
TEST_F(RxCommand, BandTakesACleanRecordingForOneStation) {
    for (const int speed : {2, 4}) {
        ASSERT_EQ(rx("--band --json '" + transmit("CQ DE G4ABC G4ABC K", speed, 1000) + "'"), 0)
            << err;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        EXPECT_NE(out.find("\"speed\":" + std::to_string(speed) + ",\"snr_db\":"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("\"text\":\"CQ DE G4ABC G4ABC K\"}"), std::string::npos) << out;
    }
}

struct BadUsage {
    const char* name;
    const char* args;
    const char* message;
};

class RxBadUsage : public RxCommand, public ::testing::WithParamInterface<BadUsage> {};

TEST_P(RxBadUsage, RefusedWithAMessageAndStatus2) {
    write("ok.wav", wav_bytes({}, std::string(4096, '\0')));
    const std::string args = std::string(GetParam().args);
    EXPECT_EQ(rx(args), 2) << err;
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RxBadUsage,
    ::testing::Values(BadUsage{"seconds_with_file", "--seconds 5 ok.wav", "--seconds is for"},
                      BadUsage{"unknown", "--bogus -", "unknown option '--bogus'"},
                      BadUsage{"speed3", "--speed 3 -", "--speed must be 1, 2 or 4"},
                      BadUsage{"speed_word", "--speed fast -", "--speed must be 1, 2 or 4"},
                      BadUsage{"speed_no_value", "- --speed", "--speed needs a value"},
                      BadUsage{"freq_low", "--freq 99 -", "outside 100..1900 Hz"},
                      BadUsage{"freq_high", "--freq=1901 -", "outside 100..1900 Hz"},
                      BadUsage{"freq_negative", "--freq -5 -", "outside 100..1900 Hz"},
                      BadUsage{"freq_word", "--freq 1k -", "whole number"},
                      BadUsage{"freq_huge", "--freq 99999999999999999999 -", "whole number"},
                      BadUsage{"flag_value", "--no-afc=1 -", "takes no value"},
                      BadUsage{"two_inputs", "- -", "only one input"},
                      BadUsage{"api_with_file", "--api 52002 ok.wav", "--api is for"},
                      BadUsage{"api_port_zero", "--api 0", "--api must be a port"},
                      BadUsage{"band_low", "--band --from 50 -", "--from must be a frequency"},
                      BadUsage{"band_reversed", "--band --from 2000 --to 1500 -",
                               "--to must lie at least 10 Hz above --from"},
                      BadUsage{"band_speed", "--band --speed 2 -", "unknown option '--speed'"},
                      BadUsage{"band_device_file", "--band --device x ok.wav", "--device is for"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
} // namespace quavel
