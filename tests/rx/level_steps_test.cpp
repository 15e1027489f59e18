// Undoing a receiver AGC's steps: noise stepping 15 dB down and back comes out at one level, while
// a strong station coming on, or the noise fading slowly, is left as it is.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "receive_support.h"
#include "rx/level_steps.h"

namespace quavel {
namespace {

constexpr double kRate = 8000.0;

// Over each 0.25 s, the output's power in dB over that of the audio before the AGC, after
// `steps` has taken `input` (and delayed it).
std::vector<double> quarter_gains(LevelSteps& steps, const std::vector<float>& input,
                                  const std::vector<float>& before_agc) {
    std::vector<double> gains;
    double out = 0.0;
    double in = 0.0;
    std::size_t at = 0; // the input sample coming out
    for (const float x : input) {
        float y = 0.0f;
        if (!steps.take(x, y)) continue;
        out += double(y) * y;
        in += double(before_agc[at]) * before_agc[at];
        if (++at % 2000 == 0) {
            gains.push_back(10.0 * std::log10(out / in));
            out = in = 0.0;
        }
    }
    return gains;
}

TEST(LevelSteps, TakesBackAnAgcStepButNotAStationOrAFade) {
    struct Case {
        const char* what;
        double step_db;   // the AGC's step, down every other 3 s
        double tone;      // a station's amplitude, coming on at 4 s (0: none)
        double fade_db_s; // the noise fading this much a second
        bool level;       // the AGC's steps should be undone
    };
    for (const Case c : {Case{"AGC 15 dB", 15.0, 0.0, 0.0, true},
                         Case{"AGC 15 dB beside a station", 15.0, 3000.0, 0.0, true},
                         Case{"a station 30 dB up coming on", 0.0, 10000.0, 0.0, false},
                         Case{"a slow fade", 0.0, 0.0, -1.0, false}}) {
        rxtest::NoiseSource noise(3);
        std::vector<float> input(static_cast<std::size_t>(12 * kRate));
        std::vector<float> before_agc(input.size());
        for (std::size_t i = 0; i < input.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            const bool down = static_cast<int>(t / 3.0) % 2 == 1;
            double x = 300.0 * noise.gaussian();
            if (c.tone > 0.0 && t >= 4.0)
                x += c.tone * std::cos(2.0 * std::numbers::pi * 1000.0 * t);
            x *= std::pow(10.0, c.fade_db_s * t / 20.0);
            before_agc[i] = static_cast<float>(x);
            input[i] = static_cast<float>(x * std::pow(10.0, (down ? -c.step_db : 0.0) / 20.0));
        }
        LevelSteps steps;
        const std::vector<double> gains = quarter_gains(steps, input, before_agc);
        if (c.level) {
            // Each step is undone where it began, and within a block or two exactly.
            for (const double g : gains)
                EXPECT_LT(std::abs(g), 1.0) << c.what;
            EXPECT_EQ(steps.steps(), 3u) << c.what;
        } else {
            EXPECT_EQ(steps.steps(), 0u) << c.what;
            EXPECT_EQ(steps.gain(), 1.0f) << c.what;
        }
    }
}

} // namespace
} // namespace quavel
