// Playback and capture through a real sound server: what QtAudioOutput plays into a null sink,
// QtAudioInput captures from that sink's monitor.
//
// Capture runs in a child copy of this program, as it never runs beside playback in the console:
// sharing one connection to the server, a busy machine lets the capture stream's traffic hold up
// the playback stream's requests long enough for the server to run dry.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
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

// The child's job: captures from QUAVEL_CAPTURE_DEVICE (at the format "rate,channels,encoding"
// in QUAVEL_CAPTURE_FORMAT, if given) the way the receiver does, moving each filled buffer out
// and handing it back at once, until QUAVEL_CAPTURE_MS have passed since the first buffer; writes
// the samples to QUAVEL_CAPTURE_FILE. Prints "capturing" once the first buffer is in, and
// whether the buffers came numbered in order.
int capture_job() {
    QtAudioChoice choice{qgetenv("QUAVEL_CAPTURE_DEVICE"), {}};
    const QList<QByteArray> format = qgetenv("QUAVEL_CAPTURE_FORMAT").split(',');
    if (format.size() == 3)
        choice.device_format = qt_format(format[0].toUInt(), format[1].toUInt(),
                                         static_cast<PcmEncoding>(format[2].toInt()));
    const int run_ms = qEnvironmentVariableIntValue("QUAVEL_CAPTURE_MS");

    QtAudioInput input(choice);
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> completed;
    if (!input.open(capture, [&](int b) { completed.push_back(b); })) {
        std::printf("open failed: %s\n", input.error().c_str());
        return 2;
    }
    std::vector<int16_t> captured;
    size_t count = 0;
    bool in_order = true;
    QElapsedTimer since_first;
    test::wait_until(
        [&] {
            for (const int b : completed) {
                in_order = in_order && b == static_cast<int>(count % kCaptureBufferCount);
                const auto* first = capture.data() + static_cast<size_t>(b) * kCaptureBufferSamples;
                captured.insert(captured.end(), first, first + kCaptureBufferSamples);
                input.requeue(b);
                if (count++ == 0) {
                    since_first.start();
                    std::printf("capturing\n");
                    std::fflush(stdout);
                }
            }
            completed.clear();
            return since_first.isValid() && since_first.elapsed() >= run_ms;
        },
        kFirstBuffersMs + run_ms);
    const double seconds = since_first.isValid() ? since_first.elapsed() / 1000.0 : 0.0;
    input.close();
    // Buffers after the first against the time they took: below 1 the server fell behind.
    const double pace =
        count > 1 && seconds > 0.0 ? (count - 1) * (kCaptureBufferSamples / 8000.0) / seconds : 0.0;
    std::printf("buffers %zu in order %d dropped %llu pace %.3f\n", count, in_order,
                static_cast<unsigned long long>(input.dropped_samples()), pace);
    QFile file(qEnvironmentVariable("QUAVEL_CAPTURE_FILE"));
    if (!file.open(QIODevice::WriteOnly)) return 3;
    file.write(reinterpret_cast<const char*>(captured.data()),
               static_cast<qint64>(captured.size() * sizeof(int16_t)));
    return count > 0 && in_order ? 0 : 4;
}
[[maybe_unused]] const bool kCaptureJob = test::register_child_job("capture", capture_job);

// Captures in a child while the caller plays.
class ChildCapture {
public:
    ChildCapture(const QByteArray& device, const QAudioFormat& format, int run_ms) {
        QProcessEnvironment env;
        env.insert(QStringLiteral("QUAVEL_CAPTURE_DEVICE"), QString::fromUtf8(device));
        if (const auto pcm = to_pcm_format(format))
            env.insert(QStringLiteral("QUAVEL_CAPTURE_FORMAT"),
                       QStringLiteral("%1,%2,%3")
                           .arg(pcm->rate_hz)
                           .arg(pcm->channels)
                           .arg(static_cast<int>(pcm->encoding)));
        env.insert(QStringLiteral("QUAVEL_CAPTURE_MS"), QString::number(run_ms));
        env.insert(QStringLiteral("QUAVEL_CAPTURE_FILE"), path_);
        child_ = test::start_child("capture", env);
        run_ms_ = run_ms;
    }
    // Waits until the child has its first buffer in.
    bool capturing() {
        return test::wait_until(
                   [&] {
                       output_ += child_->readAll();
                       return output_.contains("capturing") ||
                              child_->state() == QProcess::NotRunning;
                   },
                   kFirstBuffersMs + 5000) &&
               output_.contains("capturing");
    }
    // Waits for the child to end; true when it captured every buffer in order.
    bool finish() {
        test::wait_until([&] { return child_->state() == QProcess::NotRunning; }, run_ms_ + 20000);
        output_ += child_->readAll();
        return child_->state() == QProcess::NotRunning &&
               child_->exitStatus() == QProcess::NormalExit && child_->exitCode() == 0;
    }
    std::vector<int16_t> samples() const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = file.readAll();
        std::vector<int16_t> out(static_cast<size_t>(bytes.size()) / sizeof(int16_t));
        std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(int16_t));
        return out;
    }
    std::string output() const { return output_.toStdString(); }

private:
    QTemporaryDir dir_;
    QString path_ = dir_.filePath(QStringLiteral("captured.raw"));
    std::unique_ptr<QProcess> child_;
    QByteArray output_;
    int run_ms_ = 0;
};

struct Played {
    bool opened = false;
    std::vector<int> order; // indices the output reported done
    // Counted until the last buffer was handed to the device; after that the queue is empty.
    uint64_t underruns = 0;
    uint64_t starved = 0;
};

// Plays `buffers` in order through the two-buffer scheme the transmitter uses: the buffer the
// output reports done is refilled with the next one, polled every 10 ms.
Played play(const QByteArray& device, const QAudioFormat& format,
            const std::vector<std::vector<int16_t>>& buffers) {
    Played p;
    QtAudioOutput output(QtAudioChoice{device, format});
    bool done_flag[2] = {false, false};
    size_t reported = 0;
    p.opened = output.open([&](int i) {
        done_flag[i & 1] = true;
        if (++reported == buffers.size()) {
            p.underruns = output.underruns();
            p.starved = output.starved();
        }
    });
    if (!p.opened) return p;
    size_t next = 0;
    for (; next < 2 && next < buffers.size(); ++next)
        output.queue(static_cast<int>(next), buffers[next]);
    int next_buffer = 0;
    QElapsedTimer since_poll;
    since_poll.start();
    test::wait_until(
        [&] {
            if (since_poll.elapsed() < 10) return false;
            since_poll.restart();
            if (done_flag[next_buffer]) {
                done_flag[next_buffer] = false;
                p.order.push_back(next_buffer);
                if (next < buffers.size()) output.queue(next_buffer, buffers[next++]);
                next_buffer ^= 1;
            }
            return p.order.size() == buffers.size();
        },
        static_cast<int>(buffers.size()) * 2000 + 3000);
    test::pump_events(400); // the last buffer is still in the device
    output.close();
    return p;
}

// One playback of `buffers` captured by a child.
struct Trip {
    Played played;
    bool captured_in_order = false;
    std::string capture_output;
    std::vector<int16_t> captured;
};

Trip round_trip(const PulseLoopback& loop, const QAudioFormat& output_format,
                const QAudioFormat& input_format, const std::vector<std::vector<int16_t>>& buffers,
                int capture_ms) {
    Trip t;
    ChildCapture capture(loop.source_id, input_format, capture_ms);
    if (!capture.capturing()) {
        t.capture_output = capture.output();
        return t;
    }
    t.played = play(loop.sink_id, output_format, buffers);
    t.captured_in_order = capture.finish();
    t.capture_output = capture.output();
    t.captured = capture.samples();
    return t;
}

size_t onset(const std::vector<int16_t>& x) {
    for (size_t n = 0; n < x.size(); ++n)
        if (std::abs(x[n]) > 1000) return n;
    return x.size();
}

// What went wrong in one trip; empty when nothing did.
using Problems = std::vector<std::string>;

Problems delivery_problems(const Trip& t, size_t buffers) {
    Problems p;
    if (!t.played.opened) p.push_back("the output did not open");
    if (!t.captured_in_order) p.push_back("capture failed: " + t.capture_output);
    std::vector<int> alternating;
    for (size_t k = 0; k < buffers; ++k)
        alternating.push_back(static_cast<int>(k % 2));
    if (t.played.order != alternating) p.push_back("buffers were not reported done 0, 1, 0, 1...");
    if (t.played.starved != 0) p.push_back("the output ran out of queued audio");
    if (t.played.underruns != 0) p.push_back("the device ran dry though the output had audio");
    return p;
}

// A trip runs through the sound server, which on a machine with far more work than processors
// can fall behind for long enough to run a stream dry, or hand capture a gap, although the
// adapters did everything in time. A trip runs once: what went wrong fails the test, and what
// the counters show of such a machine is said beside it, so a reader can tell the two apart.
std::string outside_causes(const Trip& t) {
    std::string why;
    if (t.played.underruns != 0 && t.played.starved == 0)
        why += "the sound server ran the stream dry " + std::to_string(t.played.underruns) +
               " time(s) while the output still held audio; ";
    if (t.played.starved != 0)
        why += "the playing thread was held back from refilling " +
               std::to_string(t.played.starved) + " time(s); ";
    // The child's summary: "buffers N in order B dropped D pace P".
    unsigned long long dropped = 0;
    double pace = 1.0;
    const size_t at = t.capture_output.find("dropped ");
    if (at != std::string::npos &&
        std::sscanf(t.capture_output.c_str() + at, "dropped %llu pace %lf", &dropped, &pace) == 2 &&
        (dropped != 0 || pace < 0.98))
        why += "capture fell behind (" + std::to_string(dropped) + " samples dropped, pace " +
               std::to_string(pace) + "); ";
    return why;
}

void expect_a_clean_trip(const Trip& trip, const Problems& problems) {
    if (problems.empty()) return;
    const std::string outside = outside_causes(trip);
    for (const std::string& p : problems)
        ADD_FAILURE() << p
                      << (outside.empty()
                              ? std::string()
                              : "\n(a cause outside the adapters may explain this: " + outside +
                                    "as a sound server on an overloaded machine does)");
}

// What a failed trip says of its machine, from the counters alone: nothing for a trip whose
// counters are clean, however it failed.
TEST(QtAudioLoopbackOutsideCauses, AreReadFromTheCountersAndTheCaptureSummary) {
    struct Case {
        const char* what;
        uint64_t underruns;
        uint64_t starved;
        const char* capture_output;
        const char* said; // empty: nothing
    };
    const Case cases[] = {
        {"clean", 0, 0, "capturing\nbuffers 20 in order 1 dropped 0 pace 1.000\n", ""},
        {"capture failed on its own", 0, 0, "open failed: no device\n", ""},
        {"server ran dry", 2, 0, "buffers 20 in order 1 dropped 0 pace 1.000\n",
         "ran the stream dry 2 time(s) while the output still held audio"},
        {"refill held back", 1, 1, "buffers 20 in order 1 dropped 0 pace 1.000\n",
         "held back from refilling 1 time(s)"},
        {"capture dropped", 0, 0, "buffers 20 in order 0 dropped 2048 pace 1.000\n",
         "capture fell behind (2048 samples dropped"},
        {"capture slow", 0, 0, "buffers 20 in order 1 dropped 0 pace 0.900\n",
         "capture fell behind (0 samples dropped, pace 0.9"},
    };
    for (const Case& c : cases) {
        Trip trip;
        trip.played.underruns = c.underruns;
        trip.played.starved = c.starved;
        trip.capture_output = c.capture_output;
        const std::string said = outside_causes(trip);
        if (*c.said == '\0') {
            EXPECT_EQ(said, "") << c.what;
        } else {
            EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
        }
    }
}

struct FormatCase {
    const char* label; // the test's name
    const char* name;
    QAudioFormat output;
    QAudioFormat input;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
};

class SoundServerQtAudioLoopback : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        if (!loop_.ready()) GTEST_SKIP() << loop_.skip_reason;
    }
    PulseLoopback loop_;
};

TEST_P(SoundServerQtAudioLoopback, ToneSequenceArrivesInOrderAtItsFrequencies) {
    const double tones_hz[] = {700, 1000, 1300, 1600, 1900, 2200};
    std::vector<std::vector<int16_t>> buffers;
    for (const double hz : tones_hz)
        buffers.push_back(tone(hz, 8000.0, 0, 4096));

    const Trip trip =
        round_trip(loop_, GetParam().output, GetParam().input, buffers, 6 * 512 + 2500);
    Problems problems = delivery_problems(trip, buffers.size());
    const std::vector<int16_t>& captured = trip.captured;
    const size_t start = onset(captured);
    if (start + 6 * 4096 >= captured.size()) {
        problems.push_back("the tones were not captured");
    } else {
        for (size_t j = 0; j < 6; ++j) {
            const std::span<const int16_t> window(captured.data() + start + j * 4096 + 512, 3072);
            size_t loudest = 0;
            double amplitudes[6];
            for (size_t f = 0; f < 6; ++f) {
                amplitudes[f] = measure_tone(window, tones_hz[f]).amplitude;
                if (amplitudes[f] > amplitudes[loudest]) loudest = f;
            }
            if (loudest != j || std::abs(amplitudes[j] - 8000.0) > 800.0)
                problems.push_back("tone " + std::to_string(j) + " came out as " +
                                   std::to_string(tones_hz[loudest]) + " Hz, amplitude " +
                                   std::to_string(amplitudes[j]));
        }
    }
    expect_a_clean_trip(trip, problems);
}

TEST_P(SoundServerQtAudioLoopback, ContinuousSinePlaysWithoutGapsAtTheShortestSymbol) {
    constexpr size_t kBuffers = 24;
    constexpr size_t kLength = 2048; // the fastest speed's symbol: the least time to refill
    std::vector<std::vector<int16_t>> buffers;
    for (size_t b = 0; b < kBuffers; ++b)
        buffers.push_back(tone(1000.0, 10000.0, b * kLength, kLength));

    const Trip trip =
        round_trip(loop_, GetParam().output, GetParam().input, buffers, kBuffers * 256 + 2500);
    Problems problems = delivery_problems(trip, buffers.size());
    const std::vector<int16_t>& captured = trip.captured;
    const size_t start = onset(captured);
    if (start + kBuffers * kLength >= captured.size()) {
        problems.push_back("the sine was not captured");
    } else {
        // 80 samples are ten whole cycles of 1000 Hz, so every window of a seamless sine has
        // the same phase; a gap or a repeat shifts it.
        const size_t first = start + 400;
        const size_t last = start + kBuffers * kLength - 400;
        const double phase0 = measure_tone({captured.data() + first, 80}, 1000.0).phase;
        double worst_phase = 0.0;
        double worst_amplitude = 0.0;
        for (size_t at = first; at + 80 <= last; at += 80) {
            const test::ToneMeasure m = measure_tone({captured.data() + at, 80}, 1000.0);
            worst_phase =
                std::max(worst_phase, std::abs(std::remainder(m.phase - phase0, 2 * M_PI)));
            worst_amplitude = std::max(worst_amplitude, std::abs(m.amplitude - 10000.0));
        }
        size_t quiet_run = 0;
        size_t longest_quiet = 0;
        for (size_t n = first; n < last; ++n) {
            quiet_run = std::abs(captured[n]) < 50 ? quiet_run + 1 : 0;
            longest_quiet = std::max(longest_quiet, quiet_run);
        }
        if (worst_phase >= 0.1 || worst_amplitude >= 500.0 || longest_quiet >= 3)
            problems.push_back("the sine broke: phase off by up to " + std::to_string(worst_phase) +
                               " rad, amplitude by " + std::to_string(worst_amplitude) + ", " +
                               std::to_string(longest_quiet) + " silent samples in a row");
    }
    expect_a_clean_trip(trip, problems);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundServerQtAudioLoopback,
                         ::testing::Values(FormatCase{"ModemFormat", "modem format", {}, {}},
                                           FormatCase{"FloatStereo48kOutInt16Mono44kIn",
                                                      "48000 Hz stereo float out, 44100 Hz mono in",
                                                      qt_format(48000, 2, PcmEncoding::Float32),
                                                      qt_format(44100, 1, PcmEncoding::Int16)},
                                           FormatCase{
                                               "Int32Mono44kOutUInt8Stereo48kIn",
                                               "44100 Hz mono 32-bit out, 48000 Hz stereo 8-bit in",
                                               qt_format(44100, 1, PcmEncoding::Int32),
                                               qt_format(48000, 2, PcmEncoding::UInt8)}),
                         [](const ::testing::TestParamInfo<FormatCase>& param_info) {
                             return std::string(param_info.param.label);
                         });

class SoundServerQtAudioLoopbackCut : public ::testing::Test {
protected:
    void SetUp() override {
        if (!loop_.ready()) GTEST_SKIP() << loop_.skip_reason;
    }
    PulseLoopback loop_;
};

TEST_F(SoundServerQtAudioLoopbackCut, CloseCutsTheSoundAtOnce) {
    ChildCapture capture(loop_.source_id, {}, 3000);
    ASSERT_TRUE(capture.capturing()) << capture.output();

    // Two slow symbols: two seconds of sound queued, cut after half a second.
    QtAudioOutput output(QtAudioChoice{loop_.sink_id, {}});
    QElapsedTimer open_for;
    open_for.start();
    ASSERT_TRUE(output.open([](int) {}));
    output.queue(0, tone(1000.0, 8000.0, 0, 8192));
    output.queue(1, tone(1000.0, 8000.0, 8192, 8192));
    test::pump_events(500);
    QElapsedTimer closing;
    closing.start();
    output.close();
    const qint64 close_ms = closing.elapsed();
    const qint64 open_ms = open_for.elapsed();
    EXPECT_TRUE(capture.finish()) << capture.output();

    const std::vector<int16_t> captured = capture.samples();
    const size_t start = onset(captured);
    ASSERT_LT(start, captured.size()) << "nothing was heard";
    size_t last_loud = start;
    for (size_t n = start; n < captured.size(); ++n)
        if (std::abs(captured[n]) > 1000) last_loud = n;
    // The sound cannot have begun before the open, so it lasted at most this much past the cut.
    const int64_t heard_ms = static_cast<int64_t>(last_loud - start) / 8;
    std::cout << "[ figures  ] close took " << close_ms << " ms; heard " << heard_ms
              << " ms of the " << open_ms << " ms the output was open\n";
    EXPECT_LT(close_ms, 100);
    // What the device already held may still be heard; the rest of the queue may not.
    EXPECT_LT(heard_ms, open_ms + QtAudioOutput::kDefaultSinkBufferMs + 100);
}

class SoundServerQtAudioInputQueue : public ::testing::Test {
protected:
    void SetUp() override {
        if (!loop_.ready()) GTEST_SKIP() << loop_.skip_reason;
    }
    PulseLoopback loop_;
};

TEST_F(SoundServerQtAudioInputQueue, StopHoldsStillAndRestartBeginsAgainAtBufferZero) {
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

TEST_F(SoundServerQtAudioInputQueue, BuffersNotHandedBackAreNotFilledAndTheOverflowIsCounted) {
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

TEST(SoundServerQtAudioDefaultDevices, OpenTheSystemDefaultsAndRun) {
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
