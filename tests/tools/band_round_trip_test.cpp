// Round trips through the tools as an operator would run them: 'quavel-modem tx' makes the
// audio, 'quavel-modem channel' adds what a real band adds, 'quavel-modem rx' copies it. Each
// case sits several dB above the receiver's 5% point on Gaussian noise alone, where a receiver
// that the impairment does not throw copies every character.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/param_name.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

constexpr const char* kText =
    "CQ CQ DE G4ABC G4ABC PSE K THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG";

struct BandCase {
    const char* name;
    int speed;
    const char* channel; // options of 'quavel-modem channel'; {tx} is the transmitted audio
    const char* rx;      // options of 'quavel-modem rx'
    // Characters at the start the receiver may lose or garble before it has what it needs, and
    // how many it may print before the text while it settles (the classic receiver's way).
    std::size_t settling = 0;
    std::size_t stray = 0;
};

class BandRoundTrip : public ::testing::TestWithParam<BandCase> {
protected:
    int run(const std::string& args) {
        const std::string cmd = std::string("'") + QUAVEL_MODEM_TOOL + "' " + args + " > '" +
                                (dir.path() / "out.txt").string() + "' 2> '" +
                                (dir.path() / "err.txt").string() + "'";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    test::TempDir dir;
};

TEST_P(BandRoundTrip, CopiesEveryCharacter) {
    const BandCase c = GetParam();
    const std::string tx = (dir.path() / "tx.wav").string();
    const std::string rx = (dir.path() / "rx.wav").string();
    const std::string speed = " --speed " + std::to_string(c.speed) + " ";
    ASSERT_EQ(run("tx" + speed + "-o '" + tx + "' '" + kText + "'"), 0) << dir.read("err.txt");
    std::string channel = c.channel;
    if (const auto at = channel.find("{tx}"); at != std::string::npos)
        channel.replace(at, 4, "'" + tx + "'");
    ASSERT_EQ(run("channel --seed 5 " + channel + " '" + tx + "' '" + rx + "'"), 0)
        << dir.read("err.txt");
    ASSERT_EQ(run("rx" + speed + c.rx + " '" + rx + "'"), 0) << dir.read("err.txt");
    const std::string copy = dir.read("out.txt");
    const std::string text = std::string(kText) + "\n";
    EXPECT_TRUE(copy.ends_with(text.substr(c.settling))) << copy;
    EXPECT_LE(copy.size(), text.size() + c.stray) << copy;
}

INSTANTIATE_TEST_SUITE_P(
    Impairments, BandRoundTrip,
    ::testing::Values(
        // Static crashes, 10 a second, 20 to 40 dB above the noise: the weak receiver's own
        // blanker, and the classic receiver's when asked for.
        BandCase{"WeakThroughCrashes", 4, "--snr -4 --crashes 10", "--receiver weak"},
        BandCase{"WeakThroughCrashesAtSpeed1", 1, "--snr -12 --crashes 10", "--receiver weak"},
        BandCase{"ClassicWithBlankerThroughCrashes", 4, "--snr 0 --crashes 10", "--noise-blanker",
                 0, 2},
        // A steady carrier 10 or 20 dB above the signal between two of its tones, from the
        // start: first locked on as an idle signal, then taken out, and the audio before the
        // notch copied again without it.
        BandCase{"WeakBesideACarrier", 4, "--snr -8 --carrier 10 --carrier-hz 1008",
                 "--receiver weak"},
        BandCase{"WeakBesideAStrongCarrier", 4, "--snr 0 --carrier 20 --carrier-hz 1008",
                 "--receiver weak"},
        BandCase{"WeakBesideACarrierAtSpeed1", 1, "--snr -16 --carrier 10 --carrier-hz 1004",
                 "--receiver weak"},
        // A receiver's AGC stepping the level 15 dB down and back every 3 s.
        BandCase{"WeakThroughAgcSteps", 4, "--snr -8 --agc-step 15", "--receiver weak"},
        // A station 20 dB stronger 150 Hz above, there from the start or coming on mid-over.
        BandCase{"WeakBesideAStrongerNeighbour", 4,
                 "--snr -8 --neighbour {tx} --neighbour-db 20 --neighbour-start 0.1",
                 "--receiver weak"},
        BandCase{"WeakWhenAStrongerNeighbourComesOn", 4,
                 "--snr -8 --neighbour {tx} --neighbour-db 20 --neighbour-start 8",
                 "--receiver weak"},
        // An overdriven sound card.
        BandCase{"WeakThroughClipping", 4, "--snr -8 --clip 0", "--receiver weak"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
} // namespace quavel
