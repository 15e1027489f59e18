#include "platform/qt/qt_audio_output.h"

#include "platform/qt/pulse_stream_restore.h"

#include <algorithm>

#include <QAudioSink>
#include <QIODevice>
#include <QTimer>

namespace quavel {
namespace {

// Short against the device's buffer, so it never runs dry between two top-ups.
constexpr int kTopUpIntervalMs = 5;

} // namespace

QtAudioOutput::QtAudioOutput() : QtAudioOutput(QtAudioChoice{}) {}

QtAudioOutput::QtAudioOutput(QtAudioChoice choice, int sink_buffer_ms)
    : choice_(std::move(choice)), sink_buffer_ms_(std::clamp(sink_buffer_ms, 20, 2000)),
      timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(kTopUpIntervalMs);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { top_up(); });
}

QtAudioOutput::~QtAudioOutput() {
    close();
}

bool QtAudioOutput::open(Done done) {
    close();
    error_.clear();
    lost_ = false;
    QAudioDevice device = find_output_device(choice_.device_id);
    if (choice_.device_id.isEmpty() && !moved_streams_id_.empty()) {
        const std::string moved =
            remembered_stream_device(AudioDirection::Output, moved_streams_id_);
        if (!moved.empty()) {
            const QAudioDevice there = find_output_device(QByteArray::fromStdString(moved));
            if (!there.isNull()) device = there;
        }
    }
    if (device.isNull()) {
        error_ =
            choice_.device_id.isEmpty()
                ? "no audio output device"
                : "the audio output device '" + choice_.device_id.toStdString() + "' is not there";
        return false;
    }
    const QAudioFormat format = choose_device_format(device, choice_.device_format);
    const std::optional<PcmFormat> pcm = to_pcm_format(format);
    if (!pcm || !converter_.configure(kModemPcm, *pcm)) {
        error_ = "the output device's sample format cannot be converted";
        return false;
    }
    frame_bytes_ = pcm->bytes_per_frame();
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->setBufferSize(format.bytesForDuration(static_cast<qint64>(sink_buffer_ms_) * 1000));
    QIODevice* io = sink_->start();
    if (io == nullptr || sink_->error() != QAudio::NoError) {
        error_ = "the audio output device cannot be started (error " +
                 std::to_string(static_cast<int>(sink_->error())) + ")";
        sink_->stop();
        sink_.release()->deleteLater();
        return false;
    }
    io_ = io;
    done_ = std::move(done);
    QObject::connect(
        sink_.get(), &QAudioSink::stateChanged, timer_.get(), [this](QAudio::State state) {
            // Qt reports running dry as Idle, with an underrun error or (in
            // push mode, where it drains the stream instead) with none.
            if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError) {
                lost_ = true;
                error_ = "the audio output device stopped (error " +
                         std::to_string(static_cast<int>(sink_->error())) + ")";
            } else if (state == QAudio::ActiveState) {
                active_ = true;
            } else if (state == QAudio::IdleState && active_) {
                active_ = false;
                ++underruns_;
            }
        });
    timer_->start();
    return true;
}

void QtAudioOutput::queue(int index, std::span<const int16_t> samples) {
    if (io_ == nullptr) return;
    if (slot_count_ == slots_.size()) {
        ++buffers_dropped_;
        if (report_count_ < to_report_.size()) to_report_[report_count_++] = index;
        return;
    }
    Slot& slot = slots_[(slot_head_ + slot_count_) % slots_.size()];
    slot.index = index;
    slot.bytes.clear();
    slot.written = 0;
    converter_.convert(std::as_bytes(samples), slot.bytes);
    ++slot_count_;
}

void QtAudioOutput::report(int index) {
    if (report_count_ < to_report_.size()) to_report_[report_count_++] = index;
}

void QtAudioOutput::top_up() {
    if (io_ == nullptr) {
        // The sink deleted its device on its own: the sound server went away.
        if (sink_) lost_ = true;
        return;
    }
    qint64 room = sink_->bytesFree();
    room -= room % frame_bytes_;
    const bool starving = room > 0 && slot_count_ == 0;
    if (starving && !starving_) ++starved_;
    starving_ = starving;
    while (slot_count_ > 0) {
        Slot& slot = slots_[slot_head_];
        const size_t rest = slot.bytes.size() - slot.written;
        if (rest > 0) {
            if (room <= 0) break;
            const qint64 n =
                io_->write(reinterpret_cast<const char*>(slot.bytes.data() + slot.written),
                           std::min<qint64>(static_cast<qint64>(rest), room));
            if (n <= 0) break;
            slot.written += static_cast<size_t>(n);
            room -= n;
            if (slot.written < slot.bytes.size()) continue;
        }
        report(slot.index);
        ++buffers_played_;
        slot_head_ = (slot_head_ + 1) % slots_.size();
        --slot_count_;
    }

    const uint64_t session = session_;
    const size_t count = report_count_;
    const std::array<int, kMaxQueuedBuffers* 2> reports = to_report_;
    report_count_ = 0;
    for (size_t i = 0; i < count; ++i) {
        // A copy, so that `done` may close or reopen the output while it runs; once it has,
        // the remaining reports belong to the old run.
        if (const Done done = done_) done(reports[i]);
        if (session != session_) return;
    }
}

void QtAudioOutput::close() {
    ++session_;
    timer_->stop();
    if (sink_) {
        QObject::disconnect(sink_.get(), nullptr, timer_.get(), nullptr);
        io_ = nullptr;
        // Drop what the device holds before stopping, so that it stops at once instead of
        // playing out its buffer.
        sink_->reset();
        sink_->stop();
        // Deleted from the event loop: Qt's PulseAudio backend runs the event loop while it
        // destroys a sink, which must not happen inside a caller's handler.
        sink_.release()->deleteLater();
    }
    done_ = nullptr;
    slot_count_ = 0;
    report_count_ = 0;
    active_ = false;
    starving_ = false;
}

} // namespace quavel
