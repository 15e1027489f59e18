// Playback and capture through a real sound server: what QtAudioOutput plays into a null sink,
// QtAudioInput captures from that sink's monitor.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include "platform/qt_audio_input.h"
#include "platform/qt_audio_output.h"
#include "qt_test_support.h"

namespace quavel {
namespace {

using test::measure_tone;
using test::PulseLoopback;

// A null sink with nothing playing into it renders its monitor in long blocks, so the first
// captured buffer can take two seconds to come; a sound card delivers it after 256 ms.
constexpr int kFirstBuffersMs = 5000;

QAudioFormat qt_format(uint32_t rate_hz, uint32_t channels, PcmEncoding encoding) {
    return to_qt_format(PcmFormat{rate_hz, channels, encoding});
}

std::vector<int16_t> tone(double hz, double amplitude, size_t first_sample, size_t length) {
    std::vector<int16_t> out(length);
    for (size_t n = 0; n < length; ++n)
        out[n] = static_cast<int16_t>(
            amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(first_sample + n) / 8000.0));
    return out;
}

struct Session {
    std::vector<int16_t> captured; // every captured buffer, in the order reported
    std::vector<int> capture_order;
    std::vector<int> played_order; // indices the output reported done
    uint64_t underruns_while_fed = 0;
    int64_t onset_latency_samples = -1; // from the output's open to the first loud sample
    bool output_opened = false;
    bool input_opened = false;
};

// Plays `buffers` in order through the two-buffer scheme the transmitter uses (refill the
// returned buffer, polled every 10 ms) while capturing, moving each captured buffer out and
// handing it back as the receiver does (polled every 2 ms).
Session play_and_capture(const PulseLoopback& loop,
                         const std::vector<std::vector<int16_t>>& buffers,
                         const QAudioFormat& output_format = {},
                         const QAudioFormat& input_format = {}) {
    Session s;
    QtAudioInput input(QtAudioChoice{loop.source_id, input_format});
    QtAudioOutput output(QtAudioChoice{loop.sink_id, output_format});
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> completed;
    s.input_opened = input.open(capture, [&](int b) { completed.push_back(b); });
    if (!s.input_opened) return s;

    auto move_captured = [&] {
        for (const int b : completed) {
            s.capture_order.push_back(b);
            const auto* first = capture.data() + static_cast<size_t>(b) * kCaptureBufferSamples;
            s.captured.insert(s.captured.end(), first, first + kCaptureBufferSamples);
            input.requeue(b);
        }
        completed.clear();
    };
    // Some silence first, so the onset is clear.
    test::wait_until(
        [&] {
            move_captured();
            return s.captured.size() >= kCaptureBufferSamples;
        },
        kFirstBuffersMs);

    bool done_flag[2] = {false, false};
    s.output_opened = output.open([&](int i) { done_flag[i & 1] = true; });
    if (!s.output_opened) return s;
    const uint64_t opened_at = input.samples_received();
    const size_t captured_at_open = s.captured.size();
    size_t next = 0;
    for (; next < 2 && next < buffers.size(); ++next)
        output.queue(static_cast<int>(next), buffers[next]);
    int next_buffer = 0;
    QElapsedTimer since_poll;
    since_poll.start();
    test::wait_until(
        [&] {
            move_captured();
            if (since_poll.elapsed() >= 10) {
                since_poll.restart();
                if (done_flag[next_buffer]) {
                    done_flag[next_buffer] = false;
                    s.played_order.push_back(next_buffer);
                    if (next < buffers.size()) output.queue(next_buffer, buffers[next++]);
                    next_buffer ^= 1;
                }
            }
            return s.played_order.size() == buffers.size();
        },
        static_cast<int>(buffers.size()) * 2000 + 3000);
    s.underruns_while_fed = output.underruns();
    // Let the tail play out and reach the capture.
    QElapsedTimer tail;
    tail.start();
    test::wait_until(
        [&] {
            move_captured();
            return tail.elapsed() > 1200;
        },
        5000);
    output.close();
    input.close();

    for (size_t n = captured_at_open; n < s.captured.size(); ++n) {
        if (std::abs(s.captured[n]) > 1000) {
            // Captured sample n is the n-th the input received; the clock read at the open
            // counts those in the partly filled buffer as well.
            s.onset_latency_samples = static_cast<int64_t>(n) - static_cast<int64_t>(opened_at);
            break;
        }
    }
    return s;
}

size_t onset(const std::vector<int16_t>& x) {
    for (size_t n = 0; n < x.size(); ++n)
        if (std::abs(x[n]) > 1000) return n;
    return x.size();
}

struct FormatCase {
    const char* name;
    QAudioFormat output;
    QAudioFormat input;
};

class QtAudioLoopback : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        if (!loop_.ready()) GTEST_SKIP() << loop_.skip_reason;
    }
    PulseLoopback loop_;
};

TEST_P(QtAudioLoopback, ToneSequenceArrivesInOrderAtItsFrequencies) {
    const double tones_hz[] = {700, 1000, 1300, 1600, 1900, 2200};
    std::vector<std::vector<int16_t>> buffers;
    for (const double hz : tones_hz)
        buffers.push_back(tone(hz, 8000.0, 0, 4096));

    const Session s = play_and_capture(loop_, buffers, GetParam().output, GetParam().input);
    ASSERT_TRUE(s.input_opened);
    ASSERT_TRUE(s.output_opened);

    ASSERT_EQ(s.played_order, (std::vector<int>{0, 1, 0, 1, 0, 1}));
    for (size_t k = 0; k < s.capture_order.size(); ++k)
        ASSERT_EQ(s.capture_order[k], static_cast<int>(k % kCaptureBufferCount)) << k;

    const size_t start = onset(s.captured);
    ASSERT_LT(start + 6 * 4096, s.captured.size()) << "the tones were not captured";
    for (size_t j = 0; j < 6; ++j) {
        const std::span<const int16_t> window(s.captured.data() + start + j * 4096 + 512, 3072);
        size_t loudest = 0;
        double amplitudes[6];
        for (size_t f = 0; f < 6; ++f) {
            amplitudes[f] = measure_tone(window, tones_hz[f]).amplitude;
            if (amplitudes[f] > amplitudes[loudest]) loudest = f;
        }
        EXPECT_EQ(loudest, j) << "tone " << j;
        EXPECT_NEAR(amplitudes[j], 8000.0, 800.0) << "tone " << j;
    }
    std::cout << "[ figures  ] " << GetParam().name << ": round-trip latency "
              << s.onset_latency_samples / 8 << " ms\n";
}

TEST_P(QtAudioLoopback, ContinuousSinePlaysWithoutGapsAtTheShortestSymbol) {
    constexpr size_t kBuffers = 24;
    constexpr size_t kLength = 2048; // the fastest speed's symbol: the least time to refill
    std::vector<std::vector<int16_t>> buffers;
    for (size_t b = 0; b < kBuffers; ++b)
        buffers.push_back(tone(1000.0, 10000.0, b * kLength, kLength));

    const Session s = play_and_capture(loop_, buffers, GetParam().output, GetParam().input);
    ASSERT_TRUE(s.input_opened);
    ASSERT_TRUE(s.output_opened);
    ASSERT_EQ(s.played_order.size(), kBuffers);
    EXPECT_EQ(s.underruns_while_fed, 0u);

    const size_t start = onset(s.captured);
    ASSERT_LT(start + kBuffers * kLength, s.captured.size()) << "the sine was not captured";
    // 80 samples are ten whole cycles of 1000 Hz, so every window of a seamless sine has the
    // same phase; a gap or a repeat shifts it.
    const size_t first = start + 400;
    const size_t last = start + kBuffers * kLength - 400;
    const double phase0 = measure_tone({s.captured.data() + first, 80}, 1000.0).phase;
    double worst_phase = 0.0;
    double worst_amplitude = 0.0;
    for (size_t at = first; at + 80 <= last; at += 80) {
        const test::ToneMeasure m = measure_tone({s.captured.data() + at, 80}, 1000.0);
        worst_phase = std::max(worst_phase, std::abs(std::remainder(m.phase - phase0, 2 * M_PI)));
        worst_amplitude = std::max(worst_amplitude, std::abs(m.amplitude - 10000.0));
    }
    EXPECT_LT(worst_phase, 0.1) << "radians";
    EXPECT_LT(worst_amplitude, 500.0);
    size_t quiet_run = 0;
    size_t longest_quiet = 0;
    for (size_t n = first; n < last; ++n) {
        quiet_run = std::abs(s.captured[n]) < 50 ? quiet_run + 1 : 0;
        longest_quiet = std::max(longest_quiet, quiet_run);
    }
    EXPECT_LT(longest_quiet, 3u);
}

INSTANTIATE_TEST_SUITE_P(Formats, QtAudioLoopback,
                         ::testing::Values(FormatCase{"modem format", {}, {}},
                                           FormatCase{"48000 Hz stereo float out, 44100 Hz mono in",
                                                      qt_format(48000, 2, PcmEncoding::Float32),
                                                      qt_format(44100, 1, PcmEncoding::Int16)},
                                           FormatCase{
                                               "44100 Hz mono 32-bit out, 48000 Hz stereo 8-bit in",
                                               qt_format(44100, 1, PcmEncoding::Int32),
                                               qt_format(48000, 2, PcmEncoding::UInt8)}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.index == 0 ? "ModemFormat" : "Converted") +
                                    std::to_string(info.index);
                         });

class QtAudioInputQueue : public ::testing::Test {
protected:
    void SetUp() override {
        if (!loop_.ready()) GTEST_SKIP() << loop_.skip_reason;
    }
    PulseLoopback loop_;
};

TEST_F(QtAudioInputQueue, StopHoldsStillAndRestartBeginsAgainAtBufferZero) {
    QtAudioInput input(QtAudioChoice{loop_.source_id, {}});
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> order;
    ASSERT_TRUE(input.open(capture, [&](int b) { order.push_back(b); }));
    ASSERT_TRUE(test::wait_until([&] { return order.size() >= 2; }, kFirstBuffersMs));
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 1);

    input.stop();
    EXPECT_FALSE(input.is_running());
    const size_t stopped_at = order.size();
    test::pump_events(700);
    EXPECT_EQ(order.size(), stopped_at);

    input.restart();
    ASSERT_TRUE(test::wait_until([&] { return order.size() >= stopped_at + 2; }, kFirstBuffersMs));
    EXPECT_EQ(order[stopped_at], 0);
    EXPECT_EQ(order[stopped_at + 1], 1);
}

TEST_F(QtAudioInputQueue, BuffersNotHandedBackAreNotFilledAndTheOverflowIsCounted) {
    QtAudioInput input(QtAudioChoice{loop_.source_id, {}});
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> order;
    ASSERT_TRUE(input.open(capture, [&](int b) { order.push_back(b); }));
    // Handing back a buffer that is still queued changes nothing.
    input.requeue(3);
    input.requeue(-1);
    input.requeue(8);
    ASSERT_TRUE(test::wait_until([&] { return order.size() >= 8; }, kFirstBuffersMs + 2500));
    test::pump_events(600);
    ASSERT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_GT(input.dropped_samples(), 0u);

    input.requeue(5);
    input.requeue(2);
    ASSERT_TRUE(test::wait_until([&] { return order.size() >= 10; }, kFirstBuffersMs));
    EXPECT_EQ(order[8], 5);
    EXPECT_EQ(order[9], 2);
}

TEST(QtAudioDefaultDevices, OpenTheSystemDefaultsAndRun) {
    if (const std::string why = test::sound_server_missing(); !why.empty()) GTEST_SKIP() << why;
    if (QMediaDevices::defaultAudioInput().isNull() || QMediaDevices::defaultAudioOutput().isNull())
        GTEST_SKIP() << "the sound server has no default input or output";
    QtAudioInput input;
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    int captured = 0;
    ASSERT_TRUE(input.open(capture, [&](int) { ++captured; })) << input.error();
    QtAudioOutput output;
    int played = 0;
    ASSERT_TRUE(output.open([&](int) { ++played; })) << output.error();
    const std::vector<int16_t> silence(2048);
    output.queue(0, silence);
    EXPECT_TRUE(test::wait_until([&] { return captured >= 1 && played >= 1; }, kFirstBuffersMs));
    output.close();
    input.close();
}

} // namespace
} // namespace quavel
