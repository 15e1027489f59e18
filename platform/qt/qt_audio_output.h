// Playback to a sound device through Qt: plays the buffers queued to it back to back as 8000 Hz
// mono 16-bit audio, converting to the device's own format where it will not run at that one.
//
// The device is written in push mode. A short timer keeps the device's buffer (`sink_buffer_ms`,
// 200 ms by default) topped up from the queue, and a buffer is reported done as soon as its last
// sample has been handed to the device: from then on the device still holds up to
// `sink_buffer_ms` of it, and the next queued buffer (a whole symbol, 256 ms or more) is behind
// that, so the caller has that long to queue the buffer again before the sound would break.
// `done` is called from the event loop on the window's thread, never from inside queue(). Create,
// use and destroy on the thread that runs the event loop.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <QIODevice>
#include <QPointer>

#include "interfaces/audio_device.h"
#include "platform/qt/pcm_converter.h"
#include "platform/qt/qt_audio_format.h"

class QAudioSink;
class QTimer;

namespace quavel {

class QtAudioOutput : public AudioOutput {
public:
    static constexpr int kDefaultSinkBufferMs = 200;
    // Buffers that may wait in the queue at once; the transmitter keeps two.
    static constexpr size_t kMaxQueuedBuffers = 8;

    QtAudioOutput();
    explicit QtAudioOutput(QtAudioChoice choice, int sink_buffer_ms = kDefaultSinkBufferMs);
    ~QtAudioOutput() override; // closes
    QtAudioOutput(const QtAudioOutput&) = delete;
    QtAudioOutput& operator=(const QtAudioOutput&) = delete;

    // False, with error() saying why, when there is no such device or it cannot be started.
    bool open(Done done) override;
    // Ignored while closed (also after a failed open: nothing plays, nothing is reported done).
    // A buffer that finds kMaxQueuedBuffers already waiting is not played, only reported done.
    void queue(int index, std::span<const int16_t> samples) override;
    void close() override;

    // The device the next open uses (empty: the system's default); one open now keeps its own.
    void set_device(const QByteArray& device_id) { choice_.device_id = device_id; }
    const QByteArray& device() const { return choice_.device_id; }
    // Opens on the default device only after asking the sound server where the operator last
    // moved this application's streams (pulse_stream_restore.h); empty: never asks.
    void follow_moved_streams(std::string application_id) {
        moved_streams_id_ = std::move(application_id);
    }

    bool is_open() const { return io_ != nullptr; }
    // The device stopped with an error, or the sound system dropped it, since it was opened.
    bool lost() const override { return lost_; }
    // The format the device runs at while open.
    const PcmFormat& device_format() const { return converter_.to(); }
    const std::string& error() const { return error_; }
    // Times the device ran dry while open: the queue was empty (see starved()), or the sound
    // server or its library fell behind although the queue held audio (a machine too busy).
    uint64_t underruns() const { return underruns_; }
    // Times the device had room while nothing was queued: the caller fell behind, or stopped.
    uint64_t starved() const { return starved_; }
    uint64_t buffers_played() const { return buffers_played_; }
    uint64_t buffers_dropped() const { return buffers_dropped_; }

private:
    struct Slot {
        int index = 0;
        std::vector<std::byte> bytes; // in the device's format; capacity kept between uses
        size_t written = 0;
    };

    void top_up();
    void report(int index);

    QtAudioChoice choice_;
    std::string moved_streams_id_;
    int sink_buffer_ms_;
    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<QAudioSink> sink_;
    // Owned by sink_, which deletes it when it stops, also on its own when the sound server goes
    // away: hence a guarded pointer. Null while closed.
    QPointer<QIODevice> io_;
    PcmConverter converter_;
    Done done_;
    std::string error_;
    uint32_t frame_bytes_ = 2;

    std::array<Slot, kMaxQueuedBuffers> slots_; // a ring, oldest first
    size_t slot_head_ = 0;
    size_t slot_count_ = 0;
    std::array<int, kMaxQueuedBuffers * 2> to_report_{}; // done but not yet reported
    size_t report_count_ = 0;

    bool lost_ = false;
    bool active_ = false;   // the device has been playing since it last ran dry
    bool starving_ = false; // the device has room and nothing is queued
    uint64_t underruns_ = 0;
    uint64_t starved_ = 0;
    uint64_t buffers_played_ = 0;
    uint64_t buffers_dropped_ = 0;
    uint64_t session_ = 0; // counts closes, so a top-up can tell it was cut short
};

} // namespace quavel
