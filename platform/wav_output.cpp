#include "platform/wav_output.h"

#include <algorithm>
#include <chrono>

namespace quavel {

WavOutput::WavOutput(std::string path, Pacing pacing, FileSpan span)
    : path_(std::move(path)), pacing_(pacing), span_(span),
      samples_(new int16_t[static_cast<size_t>(kSlots) * kMaxBufferSamples]()) {}

WavOutput::~WavOutput() {
    finish();
}

std::span<int16_t> WavOutput::slot_samples(int slot) {
    return {samples_.get() + static_cast<size_t>(slot) * kMaxBufferSamples, kMaxBufferSamples};
}

bool WavOutput::open(Done done) {
    stop_playing();
    if (span_ == FileSpan::PerOpen) finish_file();
    std::lock_guard lock(mutex_);
    head_ = 0;
    count_ = 0;
    stopping_ = false;
    if (writer_.is_open()) {
        // Run: this transmission goes on where the last one ended, unless the file is already
        // lost to a failed write.
        if (!error_.empty()) return false;
    } else {
        written_ = 0;
        error_.clear();
        committed_ = false;
        if (!writer_.open(path_)) {
            error_ = writer_.error();
            return false;
        }
    }
    done_ = std::move(done);
    open_ = true;
    if (pacing_ == Pacing::RealTime) worker_ = std::thread([this] { run_paced(); });
    return true;
}

void WavOutput::queue(int index, std::span<const int16_t> samples) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return;
        if (count_ == kSlots || samples.size() > kMaxBufferSamples) {
            if (error_.empty()) {
                error_ = path_ + ": playback buffer " + std::to_string(index) +
                         (count_ == kSlots ? " queued while every slot was taken"
                                           : " is longer than one symbol");
            }
            return;
        }
        const int slot = (head_ + count_) % kSlots;
        std::copy(samples.begin(), samples.end(), slot_samples(slot).begin());
        slots_[slot] = {index, static_cast<uint32_t>(samples.size())};
        ++count_;
    }
    wake_.notify_all();
}

int WavOutput::play_oldest_locked() {
    const Slot slot = slots_[head_];
    if (!writer_.write(slot_samples(head_).first(slot.length))) {
        if (error_.empty()) error_ = writer_.error();
    } else {
        written_ += slot.length;
    }
    head_ = (head_ + 1) % kSlots;
    --count_;
    return slot.index;
}

void WavOutput::pump() {
    if (pacing_ != Pacing::Fast) return;
    int index = 0;
    {
        std::lock_guard lock(mutex_);
        if (!open_ || count_ == 0) return;
        index = play_oldest_locked();
    }
    done_(index);
}

void WavOutput::run_paced() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    bool clock_running = false;
    Clock::time_point buffer_start{};
    while (!stopping_) {
        if (count_ == 0) {
            clock_running = false;
            wake_.wait(lock, [this] { return stopping_ || count_ > 0; });
            continue;
        }
        if (!clock_running) {
            buffer_start = Clock::now();
            clock_running = true;
        }
        const auto length = slots_[head_].length;
        const auto buffer_end =
            buffer_start + std::chrono::microseconds(static_cast<int64_t>(length) * 125);
        if (wake_.wait_until(lock, buffer_end, [this] { return stopping_; })) break;
        buffer_start = buffer_end;
        const int index = play_oldest_locked();
        lock.unlock();
        done_(index);
        lock.lock();
    }
}

bool WavOutput::stop_playing() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return false;
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    std::lock_guard lock(mutex_);
    open_ = false;
    count_ = 0;
    done_ = nullptr;
    return true;
}

void WavOutput::finish_file() {
    std::lock_guard lock(mutex_);
    if (!writer_.is_open()) return;
    if (error_.empty() && writer_.commit()) {
        committed_ = true;
    } else {
        if (error_.empty()) error_ = writer_.error();
        writer_.abandon();
    }
}

void WavOutput::close() {
    if (stop_playing() && span_ == FileSpan::PerOpen) finish_file();
}

void WavOutput::finish() {
    stop_playing();
    finish_file();
}

void WavOutput::abandon() {
    {
        std::lock_guard lock(mutex_);
        if (!open_ && !writer_.is_open()) return;
        if (error_.empty()) error_ = path_ + ": abandoned";
    }
    finish();
}

bool WavOutput::is_open() const {
    std::lock_guard lock(mutex_);
    return open_;
}

int WavOutput::queued() const {
    std::lock_guard lock(mutex_);
    return count_;
}

uint64_t WavOutput::samples_written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::string WavOutput::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool WavOutput::committed() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

} // namespace quavel
