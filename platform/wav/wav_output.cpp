#include "platform/wav/wav_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

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
        write_failed_ = false;
        kept_.clear();
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
    // After a failed write nothing more goes in: the file must not go on past a gap.
    if (!write_failed_) {
        if (writer_.write(slot_samples(head_).first(slot.length))) {
            written_ += slot.length;
        } else {
            write_failed_ = true;
            if (error_.empty()) error_ = writer_.error();
        }
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

void WavOutput::finish_file(Keep keep) {
    std::lock_guard lock(mutex_);
    if (!writer_.is_open()) return;
    // A refused buffer left a hole in what was asked for; a failed write only a shorter file.
    if (keep == Keep::Nothing || (!error_.empty() && !write_failed_)) {
        writer_.abandon();
        return;
    }
    if (writer_.commit(WavWriter::OnFailure::Keep)) {
        committed_ = true;
        kept_ = path_;
    } else {
        if (error_.empty()) error_ = writer_.error();
        kept_ = writer_.temp_path();
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
    stop_playing();
    finish_file(Keep::Nothing);
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

bool WavOutput::lost() const {
    std::lock_guard lock(mutex_);
    return write_failed_;
}

bool WavOutput::committed() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

std::string WavOutput::kept() const {
    std::lock_guard lock(mutex_);
    return kept_;
}

std::string describe_unfinished(const WavOutput& output) {
    const std::string error = output.error();
    if (error.empty()) return {};
    const std::string kept = output.kept();
    if (kept.empty()) return error + "; nothing was kept";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s",
                  static_cast<double>(output.samples_written()) / 8000.0);
    return output.committed() ? error + "; the " + seconds + " written before it are kept in " +
                                    kept + ", a complete WAV file"
                              : error + "; the " + seconds + " written are left in " + kept +
                                    ", a temporary file that could not be finished";
}

} // namespace quavel
