// Capture: the eight 2048-sample buffers the audio input fills, the hand-over of completed
// buffer numbers from the input's thread to the window's thread, and the capture tick that moves
// one completed buffer into the capture ring and gives it back to the input.
//
// Threads: the input's completion callback (any thread) only appends a buffer number to the
// pending list under a short lock and sets the data-arrived flag. Everything else runs on the
// window's thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "interfaces/audio_device.h"
#include "rx/capture_ring.h"
#include "rx/noise_blanker.h"

namespace quavel {

// Shown by the window when the input cannot be opened.
inline constexpr const char* kCaptureOpenFailedText = "Cannot Open Audio Input Device";
inline constexpr const char* kCaptureMessageTitle = "Vexmar Quavel2000 Program";

// Completed buffer numbers in completion order, with room for all eight buffers so that no
// completion is ever without a place. Safe between one producer and one consumer thread.
class PendingBuffers {
public:
    // From the input's thread. False (and nothing recorded) for a number outside 0..7 or when
    // all eight places are taken, which a well-behaved input never causes.
    bool push(int buffer);
    // From the window's thread: the oldest completed buffer, if any.
    std::optional<int> pop();
    void clear();
    int count() const;

private:
    mutable std::mutex mutex_;
    std::array<int, kCaptureBufferCount> numbers_{};
    int head_ = 0;
    int count_ = 0;
};

class Capture {
public:
    Capture() = default;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() { close(); }

    // Opens `input` (not owned; it must outlive the capture or be closed first) on the eight
    // buffers and starts it. False when the input cannot be opened; the window then shows
    // kCaptureOpenFailedText.
    bool open(AudioInput& input);
    // Stops, forgets every pending buffer and closes the input. Nothing completes afterwards.
    void close();
    bool is_open() const { return input_ != nullptr; }

    // Around a speed change: stop the input, and later give it all eight buffers again.
    void stop();
    void restart();

    // Empties the pending list (speed change, return from transmitting).
    void clear_pending() { pending_.clear(); }
    // Empties the ring for a new symbol step and clears the data-arrived flag.
    void reset_ring(uint32_t symbol_step);

    // The capture tick: moves the oldest completed buffer into the ring and queues it again. At
    // most one per call; false when none was waiting.
    bool tick();

    // Lets an on-demand input (a file read as fast as asked) fill its queued buffers. False once
    // it is exhausted (or when capture is closed).
    bool pump();

    // Set by the first completion after reset_ring; receive steps wait for it.
    bool data_arrived() const { return data_arrived_.load(std::memory_order_acquire); }

    // The noise blanker between the capture and the ring: off unless switched on. On, it serves
    // the classic receiver and the displays as well as the weak-signal receiver.
    void set_blanker(bool on) { blanker_.set_enabled(on); }
    bool blanker() const { return blanker_.enabled(); }

    CaptureRing& ring() { return ring_; }
    const CaptureRing& ring() const { return ring_; }
    int pending_count() const { return pending_.count(); }

private:
    void completed(int buffer);

    AudioInput* input_ = nullptr;
    std::array<int16_t, kCaptureBufferCount * kCaptureBufferSamples> buffers_{};
    PendingBuffers pending_;
    std::atomic<bool> data_arrived_{false};
    CaptureRing ring_;
    NoiseBlanker blanker_{NoiseBlanker::Config{}, false};
    std::array<int16_t, kCaptureBufferSamples> blanked_{};
};

} // namespace quavel
