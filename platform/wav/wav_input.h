// An audio input that plays recorded samples into the capture buffers instead of a sound card:
// a WAV file (8000 Hz, 16-bit, mono), samples already in memory, or raw 16-bit little-endian
// samples from a stream such as standard input.
//
// Two pacings:
// - Fast: nothing happens on its own; pump() fills every queued buffer at once, on the caller's
//   thread, and reports each through `done` before it returns. For headless tools and tests.
// - RealTime: a worker thread delivers one 2048-sample buffer every 256 ms of wall-clock time,
//   calling `done` from that thread, as a sound card would. When the recording has ended it
//   goes on delivering silence, as a receiver with nothing on the band would (finished() then
//   reports true). If no buffer is queued when one is due, it waits and loses nothing.
//
// In both pacings the recording's last part buffer is padded with silence.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/audio_device.h"

namespace quavel {

// Samples read in order from some recording.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    // Fills `out` from its start and returns how many samples were written; fewer than
    // out.size() only at the end of the recording (0 once it has ended).
    virtual size_t read(std::span<int16_t> out) = 0;
    // After the end: a message if the recording could not be read to its end, else empty.
    virtual std::string error() const { return {}; }
};

class MemorySampleSource : public SampleSource {
public:
    explicit MemorySampleSource(std::vector<int16_t> samples) : samples_(std::move(samples)) {}
    size_t read(std::span<int16_t> out) override;

private:
    std::vector<int16_t> samples_;
    size_t position_ = 0;
};

// Raw signed 16-bit little-endian samples from a stream (not owned, not closed). A final odd
// byte is ignored.
class RawStreamSampleSource : public SampleSource {
public:
    explicit RawStreamSampleSource(std::FILE* stream) : stream_(stream) {}
    size_t read(std::span<int16_t> out) override;
    std::string error() const override { return error_; }
    bool odd_byte_dropped() const { return odd_byte_; }

private:
    std::FILE* stream_;
    bool ended_ = false;
    bool odd_byte_ = false;
    std::string error_;
    std::vector<unsigned char> bytes_;
};

enum class Pacing { Fast, RealTime };

class SampleInput : public AudioInput {
public:
    SampleInput(std::unique_ptr<SampleSource> source, Pacing pacing);
    ~SampleInput() override;
    SampleInput(const SampleInput&) = delete;
    SampleInput& operator=(const SampleInput&) = delete;

    // A WAV file read whole (read_wav's rules); null with `error` set when it cannot be used.
    static std::unique_ptr<SampleInput> from_wav(const std::string& path, Pacing pacing,
                                                 std::string& error);

    bool open(std::span<int16_t> buffers, Done done) override;
    void requeue(int buffer) override;
    // No buffer is reported after stop() returns.
    void stop() override;
    void restart() override;
    void close() override;
    // Fast pacing: fills and reports every queued buffer. False once the recording has ended
    // (its last samples may have gone out in this very call). RealTime: reports whether the
    // recording is still playing.
    bool pump() override;

    // The recording has been delivered to its last sample.
    bool finished() const;
    uint64_t samples_delivered() const;
    std::string error() const { return source_->error(); }

private:
    // Fills the oldest queued buffer and reports it; the lock is held. False when none queued.
    bool deliver_one();
    void queue_all();
    void worker();

    std::unique_ptr<SampleSource> source_;
    const Pacing pacing_;
    std::span<int16_t> buffers_;
    Done done_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Buffers waiting to be filled, oldest first: a fixed ring, nothing allocated per buffer.
    std::array<int, kCaptureBufferCount> queued_{};
    int queue_head_ = 0;
    int queue_count_ = 0;
    bool is_open_ = false;
    bool running_ = false;
    bool quit_ = false;
    bool finished_ = false;
    uint64_t delivered_ = 0;
    std::thread thread_;
};

} // namespace quavel
