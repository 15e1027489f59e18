// Capture from a sound device through Qt: fills the eight 2048-sample buffers it is given, whole
// and in the order they are queued, with 8000 Hz mono 16-bit audio, converting from the device's
// own format where it will not run at that one.
//
// The device is read in push mode (Qt's pull mode aborts inside the PulseAudio library on Qt
// 6.4). Reading happens on the window's thread from the event loop, so `done` is called there;
// audio that arrives while no buffer is queued is dropped and counted. Create, use and destroy
// on the thread that runs the event loop.
#pragma once

#include <array>
#include <chrono>
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

class QAudioSource;

namespace quavel {

class QtAudioInput : public AudioInput {
public:
    QtAudioInput();
    explicit QtAudioInput(QtAudioChoice choice);
    ~QtAudioInput() override; // closes
    QtAudioInput(const QtAudioInput&) = delete;
    QtAudioInput& operator=(const QtAudioInput&) = delete;

    // `buffers` (at least 8 x 2048 samples, owned by the caller) must stay valid until close.
    // False, with error() saying why, when there is no such device or it cannot be started.
    bool open(std::span<int16_t> buffers, Done done) override;
    // Ignored for a number outside 0..7 or one already queued, and while closed.
    void requeue(int buffer) override;
    void stop() override;
    void restart() override;
    void close() override;

    // The device the next open uses (empty: the system's default); one open now keeps its own.
    void set_device(const QByteArray& device_id) { choice_.device_id = device_id; }
    const QByteArray& device() const { return choice_.device_id; }
    // Opens on the default device only after asking the sound server where the operator last
    // moved this application's streams (pulse_stream_restore.h); empty: never asks.
    void follow_moved_streams(std::string application_id) {
        moved_streams_id_ = std::move(application_id);
    }

    bool is_open() const { return source_ != nullptr; }
    bool is_running() const { return running_ && io_ != nullptr; }
    // True from the moment the device stops on its own until close(): Qt stopped it with an
    // error, dropped its stream (the sound server went away), or nothing has arrived for
    // kSilentLimit while it should run and nothing waits to be read. Stays false while stopped
    // by stop(). A later open() tries afresh.
    bool lost() const override;
    // Far longer than a buffer's 256 ms and than a sound server takes to start a stream.
    static constexpr std::chrono::milliseconds kSilentLimit{3000};
    // The format the device runs at while open.
    const PcmFormat& device_format() const { return converter_.from(); }
    const std::string& error() const { return error_; }
    // Samples that arrived while no buffer was queued (the window's thread fell behind).
    uint64_t dropped_samples() const { return dropped_samples_; }
    uint64_t buffers_filled() const { return buffers_filled_; }
    // Every sample delivered since construction, stored or dropped: a clock in samples.
    uint64_t samples_received() const { return samples_received_; }

private:
    bool start_source();
    void stop_source();
    void queue_all();
    void read_available();
    void deliver(std::span<const std::byte> bytes);

    QtAudioChoice choice_;
    std::string moved_streams_id_;
    std::unique_ptr<QObject> context_; // receives the device's readyRead, outlives every device
    std::unique_ptr<QAudioSource> source_;
    // Owned by source_, which deletes it when it stops, also on its own when the sound server
    // goes away: hence a guarded pointer. Null while stopped.
    QPointer<QIODevice> io_;
    bool running_ = false;
    mutable bool lost_ = false;
    std::chrono::steady_clock::time_point last_data_{}; // start, or the latest read with data
    PcmConverter converter_;
    std::span<int16_t> buffers_;
    Done done_;
    std::string error_;

    // Queued buffer numbers, oldest first, in a ring; the oldest is being filled.
    std::array<int, kCaptureBufferCount> queue_{};
    int queue_head_ = 0;
    int queue_count_ = 0;
    std::array<bool, kCaptureBufferCount> queued_{};
    uint32_t fill_samples_ = 0; // samples already in the oldest queued buffer
    uint64_t session_ = 0;      // counts stops, so a read can tell it was cut short

    std::vector<char> chunk_;          // one read from the device
    std::vector<std::byte> converted_; // that read in the modem's format
    uint64_t dropped_samples_ = 0;
    uint64_t buffers_filled_ = 0;
    uint64_t samples_received_ = 0;
};

} // namespace quavel
