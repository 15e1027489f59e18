#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wav/wav_file.h"
#include "platform/wav/wav_output.h"
#include "support/full_disk.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;

class WavOutputTest : public ::testing::Test {
protected:
    std::vector<int16_t> ramp(size_t n, int16_t from) {
        std::vector<int16_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<int16_t>(from + static_cast<int>(i));
        return v;
    }

    test::TempDir tmp;
    const fs::path dir = tmp.path();
    const std::string path = (dir / "out.wav").string();
};

TEST_F(WavOutputTest, FastPlaysOneBufferPerPumpInOrderAndDropsTheRestOnClose) {
    WavOutput out(path);
    std::vector<int> done;
    ASSERT_TRUE(out.open([&](int i) { done.push_back(i); }));
    const auto a = ramp(100, 0);
    const auto b = ramp(50, 1000);
    out.queue(0, a);
    out.queue(1, b);
    EXPECT_FALSE(fs::exists(path)); // nothing under the target name until it is finished
    out.pump();
    EXPECT_EQ(done, (std::vector<int>{0}));
    out.pump();
    out.pump(); // nothing left: nothing happens
    EXPECT_EQ(done, (std::vector<int>{0, 1}));
    out.queue(0, ramp(10, -5)); // never played
    out.close();
    EXPECT_TRUE(out.committed());
    EXPECT_EQ(done.size(), 2u);
    std::vector<int16_t> want = a;
    want.insert(want.end(), b.begin(), b.end());
    const WavData read = read_wav(path);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.samples, want);
}

TEST_F(WavOutputTest, AnUnwritablePathFailsToOpen) {
    WavOutput out((dir / "missing" / "out.wav").string());
    EXPECT_FALSE(out.open([](int) {}));
    EXPECT_NE(out.error().find("cannot write"), std::string::npos) << out.error();
    out.close();
    EXPECT_FALSE(out.committed());
}

TEST_F(WavOutputTest, OverfullQueueIsRefusedAndTheFileThrownAway) {
    WavOutput out(path);
    ASSERT_TRUE(out.open([](int) {}));
    for (int i = 0; i <= WavOutput::kSlots; ++i)
        out.queue(i % 2, ramp(8, 0));
    EXPECT_EQ(out.queued(), WavOutput::kSlots);
    EXPECT_FALSE(out.error().empty());
    out.pump();
    out.close();
    EXPECT_FALSE(out.committed());
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(WavOutputTest, AbandonLeavesNoFile) {
    WavOutput out(path);
    ASSERT_TRUE(out.open([](int) {}));
    out.queue(0, ramp(8, 0));
    out.pump();
    out.abandon();
    EXPECT_FALSE(out.is_open());
    EXPECT_FALSE(out.committed());
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(WavOutputTest, RealTimeReportsFromItsOwnThread) {
    WavOutput out(path, WavOutput::Pacing::RealTime);
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> done;
    std::vector<std::thread::id> threads;
    ASSERT_TRUE(out.open([&](int i) {
        std::lock_guard lock(m);
        done.push_back(i);
        threads.push_back(std::this_thread::get_id());
        cv.notify_all();
    }));
    out.queue(0, ramp(80, 0)); // 10 ms each
    out.queue(1, ramp(80, 100));
    out.pump(); // does nothing in this pacing
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done.size() == 2; }));
    }
    EXPECT_EQ(done, (std::vector<int>{0, 1}));
    EXPECT_NE(threads[0], std::this_thread::get_id());
    out.queue(0, ramp(8192, 0)); // cut off by close: never reported, never written
    out.close();
    EXPECT_EQ(done.size(), 2u);
    EXPECT_EQ(out.samples_written(), 160u);
    const WavData read = read_wav(path);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.samples.size(), 160u);
}

// Plays 2048-sample buffers into `out` until it reports the output lost, as the station does;
// returns everything queued. Every buffer is reported done, written or not.
std::vector<int16_t> play_until_lost(WavOutput& out, int& reported) {
    std::vector<int16_t> queued;
    for (int i = 0; i < 200 && !out.lost(); ++i) {
        std::vector<int16_t> buffer(2048);
        for (size_t k = 0; k < buffer.size(); ++k)
            buffer[k] = static_cast<int16_t>((i * 2048 + static_cast<int>(k)) % 20000);
        out.queue(i % 2, buffer);
        queued.insert(queued.end(), buffer.begin(), buffer.end());
        const int before = reported;
        out.pump();
        EXPECT_EQ(reported, before + 1);
    }
    return queued;
}

// Both spans: the headless transmitter's file finished by close(), the console's by finish().
class WavOutputFullDisk : public ::testing::TestWithParam<WavOutput::FileSpan> {};

TEST_P(WavOutputFullDisk, IsLostAndKeepsWhatWasWrittenBeforeInAValidFile) {
    test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    const std::string path = disk.file("out.wav").string();
    WavOutput out(path, WavOutput::Pacing::Fast, GetParam());
    int reported = 0;
    ASSERT_TRUE(out.open([&](int) { ++reported; }));
    const std::vector<int16_t> queued = play_until_lost(out, reported);
    ASSERT_TRUE(out.lost()) << "the disk never filled";
    EXPECT_NE(out.error().find("No space"), std::string::npos) << out.error();
    // Whatever still comes is only reported done.
    out.queue(0, std::vector<int16_t>(100, 7));
    out.pump();
    out.close(); // PerOpen: finishes
    if (GetParam() == WavOutput::FileSpan::Run) {
        // The run's file is lost to the end: no later transmission goes on past the gap.
        EXPECT_FALSE(out.open([](int) {}));
        EXPECT_TRUE(out.lost());
        out.finish();
    }
    EXPECT_TRUE(out.committed());
    EXPECT_EQ(out.kept(), path);
    const WavData read = read_wav(path);
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_GT(read.samples.size(), 0u);
    EXPECT_EQ(read.samples.size(), out.samples_written());
    EXPECT_TRUE(std::equal(read.samples.begin(), read.samples.end(), queued.begin()));
    const std::string said = describe_unfinished(out);
    EXPECT_NE(said.find("kept in " + path), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Spans, WavOutputFullDisk,
                         ::testing::Values(WavOutput::FileSpan::PerOpen, WavOutput::FileSpan::Run),
                         [](const auto& param_info) {
                             return param_info.param == WavOutput::FileSpan::Run ? "Run"
                                                                                 : "PerOpen";
                         });

TEST(WavOutputFullDisk, LeavesTheTemporaryFileWhenEvenThatCannotBePutInPlace) {
    test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    WavOutput out(disk.file("out.wav").string(), WavOutput::Pacing::Fast, WavOutput::FileSpan::Run);
    int reported = 0;
    ASSERT_TRUE(out.open([&](int) { ++reported; }));
    play_until_lost(out, reported);
    ASSERT_TRUE(out.lost());
    fs::create_directory(disk.file("out.wav")); // the target's name is taken meanwhile
    out.finish();
    EXPECT_FALSE(out.committed());
    ASSERT_FALSE(out.kept().empty());
    EXPECT_NE(out.kept(), disk.file("out.wav").string());
    const WavData read = read_wav(out.kept());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.samples.size(), out.samples_written());
    const std::string said = describe_unfinished(out);
    EXPECT_NE(said.find("left in " + out.kept()), std::string::npos) << said;
}

TEST(WavOutputFullDisk, AbandonAfterTheFailureStillLeavesNothing) {
    test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    WavOutput out(disk.file("out.wav").string());
    int reported = 0;
    ASSERT_TRUE(out.open([&](int) { ++reported; }));
    play_until_lost(out, reported);
    out.abandon();
    EXPECT_TRUE(fs::is_empty(disk.path()));
    EXPECT_EQ(out.kept(), "");
    EXPECT_NE(describe_unfinished(out).find("nothing was kept"), std::string::npos);
}

} // namespace
} // namespace quavel
