#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "channel/signal_support.h"
#include "platform/wav/wav_file.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exit_code;
    std::string err;
    std::string out;
};

class ChannelCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quavel-channel-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::vector<int16_t> samples(4000, 0);
        for (const double v : test::tone(16000, 1000.0, 20000.0))
            samples.push_back(static_cast<int16_t>(v));
        samples.insert(samples.end(), 4000, 0);
        std::string error;
        ASSERT_TRUE(write_wav(path("in.wav"), samples, error)) << error;
        input_length_ = samples.size();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs the tool with `args` (already shell-quoted where needed) from the test directory.
    ToolRun tool(const std::string& args) const {
        const std::string command = "cd '" + dir_.string() +
                                    "' && '" QUAVEL_MODEM_TOOL "' channel " + args +
                                    " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("err.txt"), slurp("out.txt")};
        fs::remove(dir_ / "err.txt");
        fs::remove(dir_ / "out.txt");
        return r;
    }

    std::string slurp(const std::string& name) const {
        std::ifstream in(dir_ / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::size_t input_length_ = 0;
};

TEST_F(ChannelCommand, WritesTheChannelOutput) {
    const ToolRun r = tool("--fading moderate --offset=-5 --snr 20 --seed 9 in.wav out.wav");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const WavData out = read_wav(path("out.wav"));
    ASSERT_TRUE(out.ok()) << out.error;
    EXPECT_EQ(out.samples.size(), input_length_);

    EXPECT_EQ(tool("--ppm 250 in.wav long.wav").exit_code, 0);
    EXPECT_EQ(read_wav(path("long.wav")).samples.size(), input_length_ + 6);

    EXPECT_EQ(tool("--fading custom --paths 1 --spread 0 in.wav fixed.wav").exit_code, 0);
    EXPECT_EQ(tool("-- in.wav same.wav").exit_code, 0);
    EXPECT_EQ(read_wav(path("same.wav")).samples, read_wav(path("in.wav")).samples);
}

TEST_F(ChannelCommand, SameSeedSameFile) {
    ASSERT_EQ(tool("--fading flutter --snr 3 --seed 4 in.wav a.wav").exit_code, 0);
    ASSERT_EQ(tool("--seed=4 --snr 3 --fading=flutter in.wav b.wav").exit_code, 0);
    ASSERT_EQ(tool("--fading flutter --snr 3 --seed 5 in.wav c.wav").exit_code, 0);
    EXPECT_EQ(read_wav(path("a.wav")).samples, read_wav(path("b.wav")).samples);
    EXPECT_NE(read_wav(path("a.wav")).samples, read_wav(path("c.wav")).samples);
}

TEST_F(ChannelCommand, HelpNamesEveryOption) {
    const ToolRun r = tool("--help");
    EXPECT_EQ(r.exit_code, 0);
    for (const char* word : {"--snr",
                             "--offset",
                             "--ppm",
                             "--fading",
                             "quiet",
                             "moderate",
                             "disturbed",
                             "flutter",
                             "custom",
                             "--delay",
                             "--spread",
                             "--paths",
                             "--level",
                             "--seed",
                             "2500 Hz",
                             "--neighbour",
                             "--neighbour-db",
                             "--neighbour-offset",
                             "--neighbour-start",
                             "--carrier",
                             "--carrier-hz",
                             "--crashes",
                             "--agc-step",
                             "--agc-period",
                             "--clip"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

// Noise on a loud recording goes beyond the 16-bit range: scaled down to fit and said so, or,
// at the level asked for, clipped and counted.
TEST_F(ChannelCommand, ALoudOutputIsScaledToFitOrItsClippingReported) {
    const ToolRun fit = tool("--snr -20 in.wav fit.wav");
    EXPECT_EQ(fit.exit_code, 0);
    EXPECT_NE(fit.err.find("scaled down by"), std::string::npos) << fit.err;
    EXPECT_EQ(fit.err.find("clipped"), std::string::npos) << fit.err;
    const auto samples = read_wav(path("fit.wav")).samples;
    const auto at_limit = std::count_if(samples.begin(), samples.end(),
                                        [](int16_t s) { return s == 32767 || s == -32768; });
    EXPECT_LE(at_limit, 1); // the loudest sample may land on full scale
    const ToolRun as_asked = tool("--snr -20 --level 0 in.wav loud.wav");
    EXPECT_EQ(as_asked.exit_code, 0);
    EXPECT_NE(as_asked.err.find("clipped"), std::string::npos) << as_asked.err;
}

struct BadCase {
    const char* args;
    int exit_code;
    const char* message; // a part of what stderr must say
};

class ChannelCommandBad : public ChannelCommand, public ::testing::WithParamInterface<BadCase> {};

// Every refusal: a message, the right exit status, and no output file (nor its temporary).
TEST_P(ChannelCommandBad, RefusesWithoutWriting) {
    const BadCase c = GetParam();
    std::ofstream(path("text.wav")) << "this is not a WAV file\n";
    fs::create_directories(dir_ / "folder.wav");
    {
        // A well-formed WAV header at 44100 Hz, mono, 16-bit, with four samples.
        std::ofstream f(path("cd.wav"), std::ios::binary);
        const unsigned char header[] = {
            'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f', 'm', 't', ' ', 16, 0,
            0,   0,   1,   0,   1,  0, 0x44, 0xAC, 0,   0,   0x88, 0x58, 1,   0,   2,   0,   16, 0,
            'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   0,   2,    0,    3,   0,   4,   0};
        f.write(reinterpret_cast<const char*>(header), sizeof header);
    }
    std::string error;
    ASSERT_TRUE(write_wav(path("silent.wav"), std::vector<int16_t>(8000, 0), error));

    const ToolRun r = tool(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quavel-modem channel: "), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.wav"));
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
    EXPECT_FALSE(fs::exists(dir_ / "no" / "such" / "out.wav"));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ChannelCommandBad,
    ::testing::Values(
        BadCase{"", 2, "need an input and an output"},
        BadCase{"in.wav", 2, "need an input and an output"},
        BadCase{"in.wav out.wav extra.wav", 2, "too many"},
        BadCase{"--loud in.wav out.wav", 2, "unknown option '--loud'"},
        BadCase{"-x in.wav out.wav", 2, "unknown option"},
        BadCase{"in.wav out.wav --snr", 2, "needs a value"},
        BadCase{"--snr ten in.wav out.wav", 2, "not a number"},
        BadCase{"--snr 10dB in.wav out.wav", 2, "not a number"},
        BadCase{"--snr nan in.wav out.wav", 2, "not a number"},
        BadCase{"--snr= in.wav out.wav", 2, "not a number"},
        BadCase{"--snr 10 --snr 20 in.wav out.wav", 2, "given twice"},
        BadCase{"--snr 101 in.wav out.wav", 2, "SNR"},
        BadCase{"--offset 1e9 in.wav out.wav", 2, "offset"},
        BadCase{"--ppm -20000 in.wav out.wav", 2, "clock"},
        BadCase{"--fading choppy in.wav out.wav", 2, "unknown fading model 'choppy'"},
        BadCase{"--fading custom in.wav out.wav", 2, "needs --spread"},
        BadCase{"--fading custom --spread 1 in.wav out.wav", 2, "needs --delay"},
        BadCase{"--fading custom --spread 1 --delay 1 --paths 3 in.wav out.wav", 2, "1 or 2"},
        BadCase{"--fading custom --spread 500 --delay 1 in.wav out.wav", 2, "spread"},
        BadCase{"--fading quiet --spread 1 in.wav out.wav", 2, "belong to '--fading custom'"},
        BadCase{"--delay 1 in.wav out.wav", 2, "belong to '--fading custom'"},
        BadCase{"--seed -1 in.wav out.wav", 2, "--seed"},
        BadCase{"--level 61 in.wav out.wav", 2, "--level"},
        BadCase{"--seed 18446744073709551616 in.wav out.wav", 2, "--seed"},
        BadCase{"--crashes 5 in.wav out.wav", 2, "needs --snr"},
        BadCase{"--snr 0 --crashes 500 in.wav out.wav", 2, "crash rate"},
        BadCase{"--carrier 10 in.wav out.wav", 2, "needs --carrier-hz"},
        BadCase{"--carrier 10 --carrier-hz 5000 in.wav out.wav", 2, "carrier's frequency"},
        BadCase{"--carrier-hz 900 in.wav out.wav", 2, "needs --carrier"},
        BadCase{"--agc-period 2 in.wav out.wav", 2, "needs --agc-step"},
        BadCase{"--agc-step 90 in.wav out.wav", 2, "AGC step"},
        BadCase{"--clip 50 in.wav out.wav", 2, "clip level"},
        BadCase{"--neighbour-db 10 in.wav out.wav", 2, "need --neighbour"},
        BadCase{"--neighbour missing.wav in.wav out.wav", 1, "no such file"},
        BadCase{"--neighbour in.wav --neighbour-offset 3000 in.wav out.wav", 2, "offset"},
        BadCase{"--neighbour in.wav silent.wav out.wav", 1, "silent"},
        BadCase{"missing.wav out.wav", 1, "no such file"},
        BadCase{"folder.wav out.wav", 1, "directory"}, BadCase{"text.wav out.wav", 1, "text.wav"},
        BadCase{"cd.wav out.wav", 1, "8000 Hz"},
        BadCase{"--snr 10 silent.wav out.wav", 1, "silent"},
        BadCase{"in.wav no/such/out.wav", 1, "out.wav"},
        BadCase{"in.wav folder.wav", 1, "folder.wav"}),
    [](const auto& param_info) { return quavel::test::name_of_text(param_info.param.args); });

} // namespace
} // namespace quavel::channel
