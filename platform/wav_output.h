// An audio output that "plays" into a WAV file (8000 Hz, 16-bit mono): the headless
// transmitter's output and the console's --audio-out. Buffers are written in the order queued,
// each one whole, and reported done once written.
//
// Two pacings:
// - Fast: nothing happens on its own; each pump() plays the oldest queued buffer at once and
//   reports it done on the caller's thread. A driver alternates pump() with the scheduler's
//   tick and gets the same sequence of buffers a sound card would, as fast as it can go.
// - RealTime: a worker thread plays the queued buffers back to back at 8000 samples per second
//   of wall clock and reports each done from that thread, as a sound card does. When nothing is
//   queued the clock stops; it restarts with the next buffer (nothing is written for the gap).
//
// The file is written under a temporary name and renamed into place by close(); an output whose
// file could not be written throws it away instead, so no half-written file is left.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "platform/audio_device.h"
#include "platform/wav_file.h"

namespace quavel {

class WavOutput : public AudioOutput {
public:
    enum class Pacing { Fast, RealTime };
    // Buffers that can wait at once (a double-buffered player needs 2), each up to
    // kMaxBufferSamples (one symbol at the slowest speed).
    static constexpr int kSlots = 4;
    static constexpr uint32_t kMaxBufferSamples = 8192;

    explicit WavOutput(std::string path, Pacing pacing = Pacing::Fast);
    ~WavOutput() override; // closes (and so keeps what was played)
    WavOutput(const WavOutput&) = delete;
    WavOutput& operator=(const WavOutput&) = delete;

    // Starts the file afresh; false, with error() set, when it cannot be created.
    bool open(Done done) override;
    // Copies `samples` (at most kMaxBufferSamples) to play after what is queued. A buffer that
    // finds every slot taken, or is too long, is refused and error() says so.
    void queue(int index, std::span<const int16_t> samples) override;
    // Drops whatever is still queued and finishes the file: renamed into place when every
    // write succeeded, removed otherwise. Nothing is reported done after close() returns.
    void close() override;
    // Closes without keeping anything: the file is removed, as after a failed write.
    void abandon();
    // Fast pacing: plays the oldest queued buffer, if any, and reports it done. RealTime: no-op.
    void pump() override;

    bool is_open() const;
    int queued() const;
    uint64_t samples_written() const;
    // Empty while everything went well; otherwise what went wrong first.
    std::string error() const;
    // The file is in place: the last close() renamed it successfully.
    bool committed() const;

private:
    struct Slot {
        int index = 0;
        uint32_t length = 0;
    };
    std::span<int16_t> slot_samples(int slot);
    // Writes and drops the oldest queued buffer; returns its index. Needs the lock held.
    int play_oldest_locked();
    void run_paced();

    const std::string path_;
    const Pacing pacing_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<int16_t[]> samples_; // kSlots x kMaxBufferSamples, allocated once
    Slot slots_[kSlots];
    int head_ = 0;
    int count_ = 0;
    bool open_ = false;
    bool stopping_ = false;
    bool committed_ = false;
    uint64_t written_ = 0;
    std::string error_;
    Done done_;
    WavWriter writer_;
    std::thread worker_;
};

} // namespace quavel
