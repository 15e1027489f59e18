// The transmit level in front of the playback device: untouched at 0 dB, scaled and rounded
// below it, held to 0..-30 dB, and everything else passed straight through.
#include <gtest/gtest.h>
#include <vector>

#include "support/param_name.h"
#include "tx/levelled_output.h"

namespace {

class KeptOutput : public quavel::AudioOutput {
public:
    bool open(Done done) override {
        done_ = std::move(done);
        return true;
    }
    void queue(int index, std::span<const int16_t> samples) override {
        indices.push_back(index);
        kept.assign(samples.begin(), samples.end());
        done_(index);
    }
    void close() override { ++closes; }
    void pump() override { ++pumps; }
    std::vector<int> indices;
    std::vector<int16_t> kept;
    int closes = 0;
    int pumps = 0;

private:
    Done done_;
};

struct Level {
    int set_db;
    int held_db;
    std::vector<int16_t> in;
    std::vector<int16_t> out;
};

class LevelledOutputTest : public ::testing::TestWithParam<Level> {};

TEST_P(LevelledOutputTest, ScalesWhatGoesToTheDevice) {
    const Level& c = GetParam();
    KeptOutput device;
    quavel::LevelledOutput out;
    out.set_device(&device);
    out.set_level_db(c.set_db);
    EXPECT_EQ(out.level_db(), c.held_db);
    std::vector<int> done;
    ASSERT_TRUE(out.open([&](int i) { done.push_back(i); }));
    out.queue(1, c.in);
    EXPECT_EQ(device.kept, c.out);
    EXPECT_EQ(done, std::vector<int>{1});
    out.pump();
    out.close();
    EXPECT_EQ(device.pumps, 1);
    EXPECT_EQ(device.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LevelledOutputTest,
    ::testing::Values(Level{0, 0, {30000, -30000, 1, -1, 0}, {30000, -30000, 1, -1, 0}},
                      Level{-20, -20, {30000, -30000, 15, -15, 0}, {3000, -3000, 2, -2, 0}},
                      Level{-6, -6, {30000, -29999}, {15036, -15035}},
                      Level{-40, -30, {30000, 100}, {949, 3}}, Level{5, 0, {12345}, {12345}}),
    [](const auto& param_info) {
        return "Set" + quavel::test::name_of_number(param_info.param.set_db) + "dB";
    });

TEST(LevelledOutput, WithoutADeviceNothingOpens) {
    quavel::LevelledOutput out;
    EXPECT_FALSE(out.open([](int) {}));
    const std::vector<int16_t> samples{1, 2};
    out.queue(0, samples); // ignored, not a crash
    out.close();
}

} // namespace
