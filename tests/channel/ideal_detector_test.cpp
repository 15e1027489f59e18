#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "channel/ideal_detector.h"
#include "modem/angles.h"
#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "platform/wav/wav_file.h"
#include "support/param_name.h"

namespace quavel::channel {
namespace {

namespace fs = std::filesystem;

SpeedProfile profile_for(uint32_t speed) {
    SpeedProfile p;
    build_speed_profile(p, *speed_from_value(speed));
    return p;
}

// Symbol `symbol` as the transmitter sends it, but turned by `phase` radians and scaled by
// `gain`, as a channel leaves it.
// `second_phase` turns the second tone further, as a delayed second path does.
std::vector<int16_t> turned_symbol(uint32_t symbol, const SpeedProfile& p, uint32_t centre_hz,
                                   double phase, double gain, double second_phase = 0.0) {
    const TonePair pair = kTonePairs[symbol - 1];
    std::vector<int16_t> out(p.N);
    for (uint32_t j = 0; j < p.N; ++j) {
        double sum = 0.0;
        for (const int tone : {pair.a, pair.b}) {
            const float f = static_cast<float>(centre_hz) + p.tone_offset_hz[tone - 1];
            const double step = static_cast<float>(f * kAirTwoPi * 0.000125);
            sum += 0.5 * std::sin(step * j + phase + (tone == pair.b ? second_phase : 0.0));
        }
        out[j] = static_cast<int16_t>(gain * 30000.0 * p.pulse_shape[j] * sum);
    }
    return out;
}

std::string shell_quoted(const std::string& s) {
    std::string out = "'";
    for (const char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({diagonal + (a[i - 1] == b[j - 1] ? 0 : 1), above + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[b.size()];
}

class IdealDetectorSpeed : public ::testing::TestWithParam<uint32_t> {};

// Every symbol, straight from the transmitter's synthesis and turned by an unknown phase and
// gain, is recognised: whole or in four parts, with locked phases, a free phase between the
// tones, or told the fading channel's levels. Over a quarter symbol a tone leaks well into its
// neighbours: that must not pass for a second tone.
TEST_P(IdealDetectorSpeed, RecognisesEverySymbolWhateverItsPhaseAndGain) {
    const SpeedProfile p = profile_for(GetParam());
    const FadingKnowledge levels{1.0, 30000.0};
    using Phase = IdealDetector::PairPhase;
    const IdealDetector detectors[] = {IdealDetector(p, 1000),
                                       IdealDetector(p, 1000, 0.0, 4),
                                       IdealDetector(p, 1000, 0.0, 1, Phase::Free),
                                       IdealDetector(p, 1000, 0.0, 4, Phase::Free),
                                       IdealDetector(p, 1000, 0.0, 1, levels),
                                       IdealDetector(p, 1000, 0.0, 4, levels)};
    std::vector<int16_t> row(p.N);
    for (uint32_t s = 1; s <= kSymbolCount; ++s) {
        synthesise_symbol(row, s, 1000.0f, p);
        for (const IdealDetector& d : detectors)
            EXPECT_EQ(d.detect(row), s);
        for (const auto& [phase, gain] : {std::pair{0.7, 0.9}, {2.5, 0.05}, {-1.9, 0.3}}) {
            const auto turned = turned_symbol(s, p, 1000, phase, gain);
            for (const IdealDetector& d : detectors)
                EXPECT_EQ(d.detect(turned), s) << "symbol " << s << ", phase " << phase;
        }
    }
}

// A whole transmission, as the real transmitter writes it, after a lead-in and with a frequency
// shift the detector is told about, comes out as the text sent.
TEST_P(IdealDetectorSpeed, CopiesACleanTransmissionPerfectly) {
    const uint32_t speed = GetParam();
    const std::string text = "CQ DE G4ABC (IO91) 579, 73? A@B.C = 1/2 'X' QUICK BROWN FOX";
    const fs::path dir = fs::temp_directory_path() / ("quavel-ideal-" + std::to_string(::getpid()) +
                                                      "-" + std::to_string(speed));
    fs::create_directories(dir);
    const std::string wav = (dir / "tx.wav").string();
    const std::string command = "'" QUAVEL_MODEM_TOOL "' tx --speed " + std::to_string(speed) +
                                " -o '" + wav + "' -- " + shell_quoted(text);
    ASSERT_EQ(std::system(command.c_str()), 0);
    WavData tx = read_wav(wav);
    fs::remove_all(dir);
    ASSERT_TRUE(tx.ok()) << tx.error;

    const SpeedProfile p = profile_for(speed);
    constexpr std::size_t kLead = 1234;
    std::vector<int16_t> padded(kLead, 0);
    padded.insert(padded.end(), tx.samples.begin(), tx.samples.end());
    EXPECT_EQ(symbols_to_text(IdealDetector(p, 1000).detect_all(padded, kLead)), text);

    // Three quarters of a tone spacing: told about it, the detector copies; not told, it reads
    // the neighbouring tones.
    ChannelParams shift;
    shift.offset_hz = speed == 4 ? 12.0 : 6.0;
    const auto shifted = apply_channel(std::span<const int16_t>(padded), shift);
    ASSERT_TRUE(shifted.ok()) << shifted.error;
    EXPECT_EQ(
        symbols_to_text(IdealDetector(p, 1000, shift.offset_hz).detect_all(shifted.samples, kLead)),
        text);
    EXPECT_NE(symbols_to_text(IdealDetector(p, 1000).detect_all(shifted.samples, kLead)), text);
}

// The two tones of a pair arriving in opposite phase cancel in the locked correlation; the free
// relative phase and the tone-by-tone model still find the pair.
TEST_P(IdealDetectorSpeed, FindsAPairWhoseTonesArriveInOppositePhase) {
    const SpeedProfile p = profile_for(GetParam());
    const uint32_t pair = symbol_of_pair(3, 7);
    const auto opposed = turned_symbol(pair, p, 1000, 0.4, 0.5, 3.14159);
    EXPECT_NE(IdealDetector(p, 1000).detect(opposed), pair);
    EXPECT_EQ(IdealDetector(p, 1000, 0.0, 1, IdealDetector::PairPhase::Free).detect(opposed), pair);
    EXPECT_EQ(IdealDetector(p, 1000, 0.0, 1, FadingKnowledge{1.0, 30000.0}).detect(opposed), pair);
}

INSTANTIATE_TEST_SUITE_P(Speeds, IdealDetectorSpeed, ::testing::Values(1u, 2u, 4u),
                         [](const auto& param_info) {
                             return "speed" + std::to_string(param_info.param);
                         });

// The decision is not swayed by a symbol's energy: noise on the single tone 5 alone must not
// make the idle symbol win over a two-tone symbol that holds tone 5 and tone 4 with equal
// strength.
TEST(IdealDetector, ComparesSymbolsOfUnequalEnergyFairly) {
    const SpeedProfile p = profile_for(2);
    const IdealDetector detector(p, 1000);
    std::vector<int16_t> row(p.N);
    synthesise_symbol(row, symbol_of_pair(4, 5), 1000.0f, p);
    std::array<double, kSymbolCount> metric{};
    detector.score(row, metric);
    const double pair = metric[symbol_of_pair(4, 5) - 1];
    EXPECT_GT(pair, 1.9 * metric[symbol_of_pair(5, 5) - 1]);
    EXPECT_GT(pair, 1.9 * metric[symbol_of_pair(4, 4) - 1]);
    // A single tone's metric is its own energy, the two-tone symbols holding it get half.
    synthesise_symbol(row, symbol_of_pair(5, 5), 1000.0f, p);
    detector.score(row, metric);
    EXPECT_NEAR(metric[symbol_of_pair(4, 5) - 1] / metric[symbol_of_pair(5, 5) - 1], 0.5, 0.02);
}

struct TextCase {
    std::vector<uint32_t> symbols;
    std::string text;
};

class SymbolsToText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SymbolsToText, PrintsWhatThePrimaryPaneShows) {
    EXPECT_EQ(symbols_to_text(GetParam().symbols), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SymbolsToText,
    ::testing::Values(TextCase{{1, 2, 1, 45, 44, 1}, "A E"},  // idle prints nothing
                      TextCase{{6, 21, 6, 14, 6, 10}, "?@="}, // the escaped characters
                      TextCase{{21, 14, 10}, "TMI"},          // the same pairs unescaped
                      TextCase{{6, 2, 3}, "B"},               // an escape consumed by another pair
                      TextCase{{6, 6, 21}, "?"}, // an escape completing an escape starts one
                      TextCase{{0, 46, 2}, "A"}),
    [](const auto& param_info) {
        std::string name = "Symbols";
        for (const uint32_t s : param_info.param.symbols)
            name += "_" + std::to_string(s);
        return name;
    });

// The yardstick must not lose to the receiver: both copy the same noisy recording (the
// receiver through the 'quavel-modem rx' tool), at a low SNR and a fixed seed.
TEST(IdealDetector, CopiesAtLeastAsWellAsTheReceiverAtALowSnr) {
    const std::string text =
        "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890 CQ CQ DE G4ABC K";
    const fs::path dir =
        fs::temp_directory_path() / ("quavel-ideal-rx-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string tx_wav = (dir / "tx.wav").string();
    const std::string rx_wav = (dir / "rx.wav").string();
    const std::string rx_txt = (dir / "rx.txt").string();
    ASSERT_EQ(
        std::system(
            ("'" QUAVEL_MODEM_TOOL "' tx --speed 4 -o '" + tx_wav + "' -- '" + text + "'").c_str()),
        0);
    const WavData tx = read_wav(tx_wav);
    ASSERT_TRUE(tx.ok()) << tx.error;

    // At the level the transmitter writes, noise 11 dB over the signal would clip: bring the
    // signal down first, as an operator sets the audio level.
    std::vector<float> quiet(tx.samples.begin(), tx.samples.end());
    for (float& s : quiet)
        s *= 0.05f;
    ChannelParams noise;
    noise.snr_db = -11.0;
    noise.seed = 5;
    const auto received = apply_channel(std::span<const float>(quiet), noise);
    ASSERT_TRUE(received.ok()) << received.error;
    std::vector<int16_t> samples;
    for (const float s : received.samples)
        samples.push_back(static_cast<int16_t>(std::lround(std::clamp(s, -32768.0f, 32767.0f))));
    std::string error;
    ASSERT_TRUE(write_wav(rx_wav, samples, error)) << error;
    ASSERT_EQ(std::system(("'" QUAVEL_MODEM_TOOL "' rx --speed 4 '" + rx_wav + "' >'" + rx_txt +
                           "' 2>/dev/null")
                              .c_str()),
              0);
    std::ifstream in(rx_txt);
    std::stringstream printed;
    printed << in.rdbuf();
    fs::remove_all(dir);
    std::string copy = printed.str();
    if (!copy.empty() && copy.back() == '\n') copy.pop_back();

    const std::string ideal =
        symbols_to_text(IdealDetector(profile_for(4), 1000).detect_all(samples, 0));
    const std::size_t receiver_errors = edit_distance(text, copy);
    const std::size_t ideal_errors = edit_distance(text, ideal);
    // The seed is picked so that the receiver does make errors here: the comparison means
    // something.
    EXPECT_GT(receiver_errors, 2u) << copy;
    EXPECT_LE(ideal_errors, receiver_errors)
        << "ideal '" << ideal << "', receiver '" << copy << "'";
}

} // namespace
} // namespace quavel::channel
