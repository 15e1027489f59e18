// The noise blanker on its own: what it silences and what it lets through.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "receive_support.h"
#include "rx/noise_blanker.h"

namespace quavel {
namespace {

std::vector<float> noise(std::size_t n, double sigma, uint64_t seed) {
    rxtest::NoiseSource source(seed);
    std::vector<float> out(n);
    for (float& x : out)
        x = static_cast<float>(sigma * source.gaussian());
    return out;
}

std::vector<float> blanked(const std::vector<float>& in, NoiseBlanker& blanker) {
    std::vector<float> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i)
        out[i] = blanker.take(in[i]);
    return out;
}

TEST(NoiseBlanker, SilencesACrashAndNothingElse) {
    // Two seconds of noise with a 3 ms crash 30 dB above it at one second.
    std::vector<float> audio = noise(16000, 100.0, 3);
    const auto crash = noise(24, 100.0 * std::pow(10.0, 30.0 / 20.0), 4);
    for (std::size_t i = 0; i < crash.size(); ++i)
        audio[8000 + i] += crash[i];
    NoiseBlanker blanker;
    const auto out = blanked(audio, blanker);
    for (std::size_t i = 8001; i < 8000 + crash.size(); ++i)
        EXPECT_EQ(out[i], 0.0f) << i;
    // Silenced: the crash and a short hold after it, and on plain noise next to nothing.
    EXPECT_LT(blanker.silenced(), crash.size() + 16 + 16000 / 1000);
    EXPECT_EQ(out[8000 + crash.size() + 40], audio[8000 + crash.size() + 40]);

    NoiseBlanker off;
    off.set_enabled(false);
    EXPECT_EQ(blanked(audio, off), audio);
}

TEST(NoiseBlanker, ALevelThatStepsUpOrDownPassesAfterAtMostTheLongestCrash) {
    for (const double step_db : {15.0, 30.0, -15.0}) {
        std::vector<float> audio = noise(16000, 100.0, 5);
        const double gain = std::pow(10.0, step_db / 20.0);
        for (std::size_t i = 8000; i < audio.size(); ++i)
            audio[i] = static_cast<float>(audio[i] * gain);
        NoiseBlanker blanker;
        const auto out = blanked(audio, blanker);
        std::size_t silenced_after = 0;
        for (std::size_t i = 8000 + 160; i < audio.size(); ++i)
            silenced_after += out[i] == 0.0f && audio[i] != 0.0f;
        EXPECT_LT(silenced_after, 8000u / 200) << step_db << " dB";
    }
}

// The signal itself is never taken for a crash: two tones under bells that start from silence,
// at a high SNR.
TEST(NoiseBlanker, LeavesTheModesOwnSymbolsAlone) {
    std::vector<float> audio = noise(32000, 3.0, 6);
    constexpr double kPi = 3.14159265358979323846;
    for (std::size_t n = 0; n < audio.size(); ++n) {
        const double t = static_cast<double>(n % 2000) / 2000.0; // 250 ms symbols
        const double bell = std::pow(std::sin(kPi * t), 2.0);
        const double x = static_cast<double>(n) / 8000.0;
        audio[n] += static_cast<float>(
            bell * 8000.0 * (std::cos(2 * kPi * 984.0 * x) + std::cos(2 * kPi * 1048.0 * x)));
    }
    NoiseBlanker blanker;
    blanked(audio, blanker);
    EXPECT_LT(blanker.silenced(), audio.size() / 1000);
}

} // namespace
} // namespace quavel
