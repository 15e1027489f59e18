#include "platform/qt/qt_audio_input.h"

#include "platform/qt/pulse_stream_restore.h"

#include <algorithm>
#include <cstring>

#include <QAudioSource>
#include <QIODevice>
#include <QObject>

namespace quavel {
namespace {

constexpr size_t kReadChunkBytes = 16384;

} // namespace

QtAudioInput::QtAudioInput() : QtAudioInput(QtAudioChoice{}) {}

QtAudioInput::QtAudioInput(QtAudioChoice choice)
    : choice_(std::move(choice)), context_(std::make_unique<QObject>()), chunk_(kReadChunkBytes) {}

QtAudioInput::~QtAudioInput() {
    close();
}

bool QtAudioInput::open(std::span<int16_t> buffers, Done done) {
    close();
    error_.clear();
    if (buffers.size() < size_t{kCaptureBufferCount} * kCaptureBufferSamples) {
        error_ = "capture buffers too small";
        return false;
    }
    QAudioDevice device = find_input_device(choice_.device_id);
    if (choice_.device_id.isEmpty() && !moved_streams_id_.empty()) {
        const std::string moved =
            remembered_stream_device(AudioDirection::Input, moved_streams_id_);
        if (!moved.empty()) {
            const QAudioDevice there = find_input_device(QByteArray::fromStdString(moved));
            if (!there.isNull()) device = there;
        }
    }
    if (device.isNull()) {
        error_ =
            choice_.device_id.isEmpty()
                ? "no audio input device"
                : "the audio input device '" + choice_.device_id.toStdString() + "' is not there";
        return false;
    }
    const QAudioFormat format = choose_device_format(device, choice_.device_format);
    const std::optional<PcmFormat> pcm = to_pcm_format(format);
    if (!pcm || !converter_.configure(*pcm, kModemPcm)) {
        error_ = "the input device's sample format cannot be converted";
        return false;
    }
    source_ = std::make_unique<QAudioSource>(device, format);
    buffers_ = buffers;
    done_ = std::move(done);
    queue_all();
    if (!start_source()) {
        const std::string why = error_;
        close();
        error_ = why;
        return false;
    }
    return true;
}

bool QtAudioInput::start_source() {
    converter_.reset();
    QIODevice* io = source_->start();
    if (io == nullptr || source_->error() != QAudio::NoError) {
        error_ = "the audio input device cannot be started (error " +
                 std::to_string(static_cast<int>(source_->error())) + ")";
        source_->stop();
        return false;
    }
    io_ = io;
    running_ = true;
    last_data_ = std::chrono::steady_clock::now();
    QObject::connect(source_.get(), &QAudioSource::stateChanged, context_.get(),
                     [this](QAudio::State state) {
                         if (state == QAudio::StoppedState && running_ && source_ &&
                             source_->error() != QAudio::NoError)
                             lost_ = true;
                     });
    // Queued, so that `done` never runs inside the device's own signal: a caller that stops or
    // closes capture from there would delete the device under it.
    QObject::connect(
        io_, &QIODevice::readyRead, context_.get(), [this] { read_available(); },
        Qt::QueuedConnection);
    return true;
}

void QtAudioInput::stop_source() {
    if (!running_) return;
    running_ = false;
    ++session_;
    if (io_ != nullptr) QObject::disconnect(io_, nullptr, context_.get(), nullptr);
    QObject::disconnect(source_.get(), nullptr, context_.get(), nullptr);
    io_ = nullptr;
    source_->stop();
}

bool QtAudioInput::lost() const {
    if (lost_ || !running_ || !source_) return lost_;
    // The device's own object is gone: Qt deletes it when the stream is dropped.
    if (io_ == nullptr) return lost_ = true;
    if (std::chrono::steady_clock::now() - last_data_ < kSilentLimit) return false;
    // A window's thread that was busy has simply not read yet.
    if (io_->bytesAvailable() > 0 || source_->bytesAvailable() > 0) return false;
    return lost_ = true;
}

void QtAudioInput::queue_all() {
    for (int i = 0; i < kCaptureBufferCount; ++i) {
        queue_[static_cast<size_t>(i)] = i;
        queued_[static_cast<size_t>(i)] = true;
    }
    queue_head_ = 0;
    queue_count_ = kCaptureBufferCount;
    fill_samples_ = 0;
}

void QtAudioInput::requeue(int buffer) {
    if (!source_ || buffer < 0 || buffer >= kCaptureBufferCount) return;
    if (queued_[static_cast<size_t>(buffer)]) return;
    queue_[static_cast<size_t>((queue_head_ + queue_count_) % kCaptureBufferCount)] = buffer;
    queued_[static_cast<size_t>(buffer)] = true;
    ++queue_count_;
}

void QtAudioInput::stop() {
    if (source_) stop_source();
}

void QtAudioInput::restart() {
    if (!source_) return;
    stop_source();
    queue_all();
    start_source();
}

void QtAudioInput::close() {
    if (source_) {
        stop_source();
        // Deleted from the event loop: Qt's PulseAudio backend may run the event loop while it
        // shuts a stream down, which must not happen inside a caller's handler.
        source_.release()->deleteLater();
    }
    lost_ = false;
    buffers_ = {};
    done_ = nullptr;
    queue_count_ = 0;
    queued_.fill(false);
    fill_samples_ = 0;
}

void QtAudioInput::read_available() {
    const uint64_t session = session_;
    while (io_ != nullptr && session == session_) {
        const qint64 n = io_->read(chunk_.data(), static_cast<qint64>(chunk_.size()));
        if (n <= 0) break;
        last_data_ = std::chrono::steady_clock::now();
        converted_.clear();
        converter_.convert(std::as_bytes(std::span(chunk_.data(), static_cast<size_t>(n))),
                           converted_);
        deliver(converted_);
    }
}

void QtAudioInput::deliver(std::span<const std::byte> bytes) {
    const uint64_t session = session_;
    size_t samples = bytes.size() / sizeof(int16_t);
    samples_received_ += samples;
    const std::byte* from = bytes.data();
    while (samples > 0) {
        if (queue_count_ == 0) {
            dropped_samples_ += samples;
            return;
        }
        const int buffer = queue_[static_cast<size_t>(queue_head_)];
        const size_t take = std::min<size_t>(samples, kCaptureBufferSamples - fill_samples_);
        int16_t* to =
            buffers_.data() + static_cast<size_t>(buffer) * kCaptureBufferSamples + fill_samples_;
        std::memcpy(to, from, take * sizeof(int16_t));
        from += take * sizeof(int16_t);
        samples -= take;
        fill_samples_ += static_cast<uint32_t>(take);
        if (fill_samples_ < kCaptureBufferSamples) continue;

        queue_head_ = (queue_head_ + 1) % kCaptureBufferCount;
        --queue_count_;
        queued_[static_cast<size_t>(buffer)] = false;
        fill_samples_ = 0;
        ++buffers_filled_;
        // A copy, so that `done` may close or reopen capture while it runs.
        if (const Done done = done_) done(buffer);
        // `done` may have stopped, restarted or closed capture; the rest of this read belongs
        // to the old run and goes nowhere.
        if (session != session_) return;
    }
}

} // namespace quavel
