// Capture: the hand-over of completed buffers, their order into the ring, and overrun.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "rx/capture.h"
#include "rx/capture_ring.h"

namespace quavel {
namespace {

std::array<int16_t, kCaptureBlockSamples> tagged(int16_t tag) {
    std::array<int16_t, kCaptureBlockSamples> block;
    block.fill(tag);
    return block;
}

TEST(PendingBuffers, HoldsAllEightInCompletionOrder) {
    PendingBuffers pending;
    for (int b : {3, 1, 7, 0, 2, 6, 5, 4})
        EXPECT_TRUE(pending.push(b));
    EXPECT_FALSE(pending.push(3)); // no ninth place
    EXPECT_FALSE(pending.push(8));
    EXPECT_FALSE(pending.push(-1));
    EXPECT_EQ(pending.count(), 8);
    for (int b : {3, 1, 7, 0, 2, 6, 5, 4})
        EXPECT_EQ(pending.pop(), b);
    EXPECT_FALSE(pending.pop().has_value());
    EXPECT_EQ(pending.count(), 0);
}

// The k-th buffer moved lands in block k mod 8, buffers move oldest first, and each goes back
// to the input right after its copy.
TEST(Capture, MovesOneBufferPerTickOldestFirst) {
    class Input : public AudioInput {
    public:
        bool open(std::span<int16_t> b, Done d) override {
            buffers = b;
            done = std::move(d);
            return true;
        }
        void requeue(int buffer) override { requeued.push_back(buffer); }
        void stop() override {}
        void restart() override {}
        void close() override {}
        std::span<int16_t> buffers;
        Done done;
        std::vector<int> requeued;
    } input;
    Capture capture;
    capture.reset_ring(1);
    ASSERT_TRUE(capture.open(input));
    EXPECT_FALSE(capture.data_arrived());
    EXPECT_FALSE(capture.tick());

    const std::vector<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2};
    size_t completed = 0;
    std::vector<int16_t> seen;
    for (size_t moved = 0; moved < order.size(); ++moved) {
        // Two complete before each pair of ticks.
        while (completed < order.size() && completed < moved + 2) {
            const int b = order[completed];
            std::fill_n(input.buffers.begin() + b * kCaptureBufferSamples, kCaptureBufferSamples,
                        static_cast<int16_t>(100 + completed));
            input.done(b);
            ++completed;
        }
        EXPECT_TRUE(capture.data_arrived());
        ASSERT_TRUE(capture.tick());
        CaptureRing& ring = capture.ring();
        EXPECT_EQ(ring.write_count(), moved + 1);
        EXPECT_EQ((ring.write_count() - 1) % 8, moved % 8);
        seen.push_back(ring.symbol()[0]);
        ring.advance_read();
    }
    EXPECT_FALSE(capture.tick());
    for (size_t k = 0; k < order.size(); ++k)
        EXPECT_EQ(seen[k], 100 + static_cast<int>(k));
    EXPECT_EQ(input.requeued, order);
}

class RingOverrun : public ::testing::TestWithParam<uint32_t> {};

// Whatever the interleaving of writes and reads, a symbol read is always symbol-step blocks
// written one after the other, starting on a symbol boundary, and nothing is counted twice.
TEST_P(RingOverrun, DropsWholeSymbolsAndNeverMixesOldAndNew) {
    const uint32_t step = GetParam();
    CaptureRing ring;
    ring.reset(step);
    uint32_t state = 2024;
    int16_t next_tag = 0;
    int last_read = -1;
    uint64_t blocks_read = 0;
    for (int i = 0; i < 5000; ++i) {
        state = state * 1103515245u + 12345u;
        // Writes outnumber reads three to one, so the ring overruns again and again.
        if ((state >> 16) % 4 != 0) {
            ring.write_block(tagged(next_tag++));
            ASSERT_LE(ring.waiting(), kRingBlocks);
        } else if (ring.symbol_ready()) {
            const auto s = ring.symbol();
            ASSERT_EQ(s.size(), step * kCaptureBlockSamples);
            const int first = s[0];
            ASSERT_EQ(first % static_cast<int>(step), 0);
            ASSERT_GT(first, last_read);
            for (uint32_t b = 0; b < step; ++b) {
                ASSERT_EQ(s[b * kCaptureBlockSamples], first + static_cast<int>(b));
                ASSERT_EQ(s[(b + 1) * kCaptureBlockSamples - 1], first + static_cast<int>(b));
            }
            last_read = first + static_cast<int>(step) - 1;
            ring.advance_read();
            blocks_read += step;
        }
    }
    EXPECT_GT(ring.dropped_blocks(), 0u);
    EXPECT_EQ(ring.dropped_blocks() % step, 0u);
    EXPECT_EQ(blocks_read + ring.dropped_blocks() + ring.waiting(),
              static_cast<uint64_t>(next_tag));
}

INSTANTIATE_TEST_SUITE_P(SymbolSteps, RingOverrun, ::testing::Values(1u, 2u, 4u),
                         [](const auto& param_info) {
                             return "Step" + std::to_string(param_info.param);
                         });

TEST(CaptureRing, FullRingDropsTheOldestSymbol) {
    CaptureRing ring;
    ring.reset(4);
    for (int16_t t = 0; t < 8; ++t)
        ring.write_block(tagged(t));
    EXPECT_EQ(ring.dropped_blocks(), 0u);
    ring.write_block(tagged(8));
    EXPECT_EQ(ring.dropped_blocks(), 4u);
    EXPECT_EQ(ring.waiting(), 5u);
    EXPECT_EQ(ring.symbol()[0], 4); // blocks 4..7, untouched by block 8
    EXPECT_EQ(ring.symbol()[4 * kCaptureBlockSamples - 1], 7);
}

// An input that fills its queued buffers on its own thread as fast as they come back, each
// with the next number of a count.
class RacingInput : public AudioInput {
public:
    explicit RacingInput(int total) : total_(total) {}
    ~RacingInput() override { close(); }
    bool open(std::span<int16_t> buffers, Done done) override {
        buffers_ = buffers;
        done_ = std::move(done);
        for (int b = 0; b < kCaptureBufferCount; ++b)
            queue_.push_back(b);
        thread_ = std::thread([this] { run(); });
        return true;
    }
    void requeue(int buffer) override {
        std::lock_guard lock(mutex_);
        queue_.push_back(buffer);
        wake_.notify_one();
    }
    void stop() override {}
    void restart() override {}
    void close() override {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

private:
    void run() {
        for (int n = 0; n < total_; ++n) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) return;
            const int b = queue_.front();
            queue_.erase(queue_.begin());
            lock.unlock();
            std::fill_n(buffers_.begin() + b * kCaptureBufferSamples, kCaptureBufferSamples,
                        static_cast<int16_t>(n));
            done_(b);
        }
    }
    int total_;
    std::span<int16_t> buffers_;
    Done done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<int> queue_;
    bool quit_ = false;
    std::thread thread_;
};

TEST(Capture, HandOverFromAnotherThreadKeepsEveryBlockOnceInOrder) {
    constexpr int kTotal = 4000;
    RacingInput input(kTotal);
    Capture capture;
    capture.reset_ring(2);
    ASSERT_TRUE(capture.open(input));
    int expected = 0;
    while (expected < kTotal) {
        if (!capture.tick()) {
            std::this_thread::yield();
            continue;
        }
        CaptureRing& ring = capture.ring();
        while (ring.symbol_ready()) {
            const auto s = ring.symbol();
            ASSERT_EQ(s[0], static_cast<int16_t>(expected));
            ASSERT_EQ(s[s.size() - 1], static_cast<int16_t>(expected + 1));
            expected += 2;
            ring.advance_read();
        }
    }
    EXPECT_EQ(capture.ring().dropped_blocks(), 0u);
    capture.close();
}

} // namespace
} // namespace quavel
