// The input level: peak and RMS of a block in dBFS, silence at the floor, overload within a dB
// of full scale.
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

#include "rx/input_level.h"
#include "support/param_name.h"

namespace {

struct Block {
    const char* what;
    std::vector<int16_t> samples;
    float peak_dbfs;
    float rms_dbfs;
    bool overload;
};

std::vector<int16_t> tone(int amplitude) {
    std::vector<int16_t> out(2048);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(
            std::lround(amplitude * std::cos(2 * std::numbers::pi * static_cast<double>(i) / 8.0)));
    return out;
}

class InputLevelTest : public ::testing::TestWithParam<Block> {};

TEST_P(InputLevelTest, MeasuresTheBlock) {
    const Block& b = GetParam();
    quavel::InputLevel level;
    level.measure(b.samples);
    EXPECT_NEAR(level.peak_dbfs, b.peak_dbfs, 0.01) << b.what;
    EXPECT_NEAR(level.rms_dbfs, b.rms_dbfs, 0.01) << b.what;
    EXPECT_EQ(level.overload(), b.overload) << b.what;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, InputLevelTest,
    ::testing::Values(Block{"silence", std::vector<int16_t>(2048), -90.0f, -90.0f, false},
                      Block{"empty", {}, -90.0f, -90.0f, false},
                      Block{"-20 dBFS tone", tone(3277), -20.0f, -23.01f, false},
                      Block{"full-scale negative", {-32768, 0}, 0.0f, -3.01f, true},
                      Block{"just under overload", {29000}, -1.06f, -1.06f, false}),
    [](const auto& param_info) { return quavel::test::name_of_text(param_info.param.what); });

} // namespace
