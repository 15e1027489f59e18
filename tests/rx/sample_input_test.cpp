// Recorded audio as a capture input: whole buffers, in order, the last one padded; raw
// little-endian streams; and the real-time pacing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/wav/wav_input.h"

namespace quavel {
namespace {

struct Recorder {
    std::vector<int16_t> buffers = std::vector<int16_t>(8 * kCaptureBufferSamples);
    std::mutex mutex;
    std::vector<int> done;
    std::vector<int16_t> delivered; // buffer contents in delivery order

    AudioInput::Done callback() {
        return [this](int b) {
            std::lock_guard lock(mutex);
            done.push_back(b);
            delivered.insert(delivered.end(), buffers.begin() + b * kCaptureBufferSamples,
                             buffers.begin() + (b + 1) * kCaptureBufferSamples);
        };
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return done.size();
    }
};

std::vector<int16_t> ramp(size_t n) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<int16_t>(i % 30011 - 15000);
    return v;
}

struct FastCase {
    size_t samples;
    size_t buffers;
};

class FastInput : public ::testing::TestWithParam<FastCase> {};

TEST_P(FastInput, DeliversWholeBuffersAndPadsOnlyTheLast) {
    const auto samples = ramp(GetParam().samples);
    SampleInput input(std::make_unique<MemorySampleSource>(samples), Pacing::Fast);
    Recorder r;
    ASSERT_TRUE(input.open(r.buffers, r.callback()));
    // Each buffer goes back as soon as it is reported, as the capture tick does.
    size_t handled = 0;
    bool more = true;
    while (more) {
        more = input.pump();
        while (handled < r.done.size())
            input.requeue(r.done[handled++]);
    }
    EXPECT_EQ(r.count(), GetParam().buffers);
    EXPECT_EQ(input.samples_delivered(), samples.size());
    ASSERT_EQ(r.delivered.size(), GetParam().buffers * kCaptureBufferSamples);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), r.delivered.begin()));
    EXPECT_TRUE(std::all_of(r.delivered.begin() + static_cast<long>(samples.size()),
                            r.delivered.end(), [](int16_t v) { return v == 0; }));
    for (size_t k = 0; k < r.done.size(); ++k)
        EXPECT_EQ(r.done[k], static_cast<int>(k % 8));
    EXPECT_FALSE(input.pump());
}

INSTANTIATE_TEST_SUITE_P(Lengths, FastInput,
                         ::testing::Values(FastCase{1, 1}, FastCase{2048, 1}, FastCase{2049, 2},
                                           FastCase{5000, 3}, FastCase{16 * 2048, 16},
                                           FastCase{20 * 2048 + 7, 21}),
                         [](const auto& param_info) {
                             return "Samples" + std::to_string(param_info.param.samples);
                         });

TEST(FastInput, WaitsForBuffersToComeBack) {
    SampleInput input(std::make_unique<MemorySampleSource>(ramp(20 * 2048)), Pacing::Fast);
    Recorder r;
    ASSERT_TRUE(input.open(r.buffers, r.callback()));
    EXPECT_TRUE(input.pump());
    EXPECT_EQ(r.count(), 8u);
    EXPECT_TRUE(input.pump()); // nothing queued: nothing delivered
    EXPECT_EQ(r.count(), 8u);
    input.requeue(0);
    input.requeue(0); // a buffer queued twice is a caller's fault, taken once
    input.requeue(1);
    EXPECT_TRUE(input.pump());
    EXPECT_EQ(r.count(), 11u);
    input.stop();
    input.restart(); // all eight again
    EXPECT_TRUE(input.pump());
    EXPECT_EQ(r.count(), 19u);
}

TEST(RawStream, ReadsLittleEndianAndDropsAnOddByte) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const unsigned char bytes[] = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80,
                                   0xFF, 0x7F, 0x34, 0x12, 0xAB};
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::rewind(f);
    RawStreamSampleSource source(f);
    std::vector<int16_t> out(8, 99);
    EXPECT_EQ(source.read(out), 5u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], -1);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[3], 32767);
    EXPECT_EQ(out[4], 0x1234);
    EXPECT_TRUE(source.odd_byte_dropped());
    EXPECT_EQ(source.read(out), 0u);
    EXPECT_TRUE(source.error().empty());
    std::fclose(f);
}

TEST(RawStream, EmptyStreamHoldsNothing) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    SampleInput input(std::make_unique<RawStreamSampleSource>(f), Pacing::Fast);
    Recorder r;
    ASSERT_TRUE(input.open(r.buffers, r.callback()));
    EXPECT_FALSE(input.pump());
    EXPECT_EQ(r.count(), 0u);
    EXPECT_EQ(input.samples_delivered(), 0u);
    input.close();
    std::fclose(f);
}

TEST(RealTimeInput, DeliversEvery256MsThenSilenceAndNothingAfterStop) {
    using Clock = std::chrono::steady_clock;
    SampleInput input(std::make_unique<MemorySampleSource>(ramp(2048 + 100)), Pacing::RealTime);
    Recorder r;
    const auto start = Clock::now();
    ASSERT_TRUE(input.open(r.buffers, r.callback()));
    EXPECT_TRUE(input.pump());
    while (r.count() < 3 && Clock::now() - start < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto elapsed = Clock::now() - start;
    ASSERT_EQ(r.count(), 3u);
    // Three buffers take three periods; generous on the slow side for a loaded machine.
    EXPECT_GE(elapsed, std::chrono::milliseconds(3 * 256 - 5));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3 * 256 + 1500));
    EXPECT_TRUE(input.finished());
    EXPECT_FALSE(input.pump());
    EXPECT_EQ(input.samples_delivered(), 2148u);
    input.stop();
    const size_t after_stop = r.count();
    {
        std::lock_guard lock(r.mutex);
        // The third buffer is all silence.
        EXPECT_TRUE(std::all_of(r.delivered.begin() + 2148, r.delivered.end(),
                                [](int16_t v) { return v == 0; }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(r.count(), after_stop);
    input.close();
}

} // namespace
} // namespace quavel
