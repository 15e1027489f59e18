// Sound devices as the modem sees them: whole buffers of 16-bit mono samples at 8000/s.
// Adapters report failure by return value; only the window shows message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace quavel {

inline constexpr int kCaptureBufferCount = 8;
inline constexpr uint32_t kCaptureBufferSamples = 2048;

// Capture: fills the eight buffers it was given, whole and in the order they were queued, and
// reports each filled buffer by its number. `done` may be called on any thread; it must only
// record the number.
class AudioInput {
public:
    using Done = std::function<void(int buffer)>;
    virtual ~AudioInput() = default;
    // Opens the source and queues all eight buffers and starts; false when it cannot be opened.
    virtual bool open(std::span<int16_t> buffers /* 8 x 2048 */, Done done) = 0;
    // Hands a filled buffer back to be filled again, behind those still queued.
    virtual void requeue(int buffer) = 0;
    // Stops filling; the buffers it holds stay queued.
    virtual void stop() = 0;
    // Forgets every queued buffer, queues all eight again in order and starts.
    virtual void restart() = 0;
    virtual void close() = 0;
    // Sources that deliver on demand (a file read as fast as the reader asks) fill the queued
    // buffers here; paced sources do nothing. Returns false once the input is exhausted.
    virtual bool pump() { return true; }
    // The source stopped delivering on its own since it was opened (unplugged, the sound server
    // gone): nothing more will be captured until it is closed and opened again. Polled from the
    // window's thread.
    virtual bool lost() const { return false; }
};

// Playback: plays the buffers queued to it back to back, and reports each one played by its
// index. `done` may be called on any thread; it must only record the index.
class AudioOutput {
public:
    using Done = std::function<void(int buffer)>;
    virtual ~AudioOutput() = default;
    virtual bool open(Done done) = 0;
    // Queues `samples` (copied) as buffer `index`, to play after everything already queued.
    virtual void queue(int index, std::span<const int16_t> samples) = 0;
    // Stops at once, discarding whatever is queued, and closes.
    virtual void close() = 0;
    // Sources that consume on demand (a file written as fast as asked) play here.
    virtual void pump() {}
    // The device stopped playing on its own since it was opened (unplugged, the sound server
    // gone): nothing queued will be heard. Polled from the window's thread.
    virtual bool lost() const { return false; }
};

} // namespace quavel
