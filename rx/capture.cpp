#include "rx/capture.h"

namespace quavel {

bool PendingBuffers::push(int buffer) {
    if (buffer < 0 || buffer >= kCaptureBufferCount) return false;
    std::lock_guard lock(mutex_);
    if (count_ == kCaptureBufferCount) return false;
    numbers_[(head_ + count_) % kCaptureBufferCount] = buffer;
    ++count_;
    return true;
}

std::optional<int> PendingBuffers::pop() {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return std::nullopt;
    const int buffer = numbers_[head_];
    head_ = (head_ + 1) % kCaptureBufferCount;
    --count_;
    return buffer;
}

void PendingBuffers::clear() {
    std::lock_guard lock(mutex_);
    head_ = 0;
    count_ = 0;
}

int PendingBuffers::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

bool Capture::open(AudioInput& input) {
    close();
    pending_.clear();
    if (!input.open(buffers_, [this](int buffer) { completed(buffer); })) return false;
    input_ = &input;
    return true;
}

void Capture::close() {
    if (input_ == nullptr) return;
    input_->stop();
    input_->close();
    input_ = nullptr;
    pending_.clear();
}

void Capture::stop() {
    if (input_ != nullptr) input_->stop();
}

void Capture::restart() {
    if (input_ == nullptr) return;
    // The input forgets what it still held and takes all eight again, so anything left pending
    // from before the stop must not be moved (and queued a second time) as well.
    pending_.clear();
    input_->restart();
}

void Capture::reset_ring(uint32_t symbol_step) {
    ring_.reset(symbol_step);
    data_arrived_.store(false, std::memory_order_release);
}

bool Capture::tick() {
    const std::optional<int> buffer = pending_.pop();
    if (!buffer) return false;
    const auto block = std::span<const int16_t, kCaptureBufferSamples>(
        buffers_.data() + *buffer * kCaptureBufferSamples, kCaptureBufferSamples);
    if (blanker_.enabled()) {
        for (std::size_t i = 0; i < block.size(); ++i)
            blanked_[i] = static_cast<int16_t>(blanker_.take(block[i]));
        ring_.write_block(blanked_);
    } else {
        ring_.write_block(block);
    }
    if (input_ != nullptr) input_->requeue(*buffer);
    return true;
}

bool Capture::pump() {
    return input_ != nullptr && input_->pump();
}

void Capture::completed(int buffer) {
    if (pending_.push(buffer)) data_arrived_.store(true, std::memory_order_release);
}

} // namespace quavel
