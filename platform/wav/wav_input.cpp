#include "platform/wav/wav_input.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/wav/wav_file.h"

namespace quavel {

namespace {

// One capture buffer's worth of audio at 8000 samples per second.
constexpr std::chrono::milliseconds kBufferPeriod{256};

} // namespace

size_t MemorySampleSource::read(std::span<int16_t> out) {
    const size_t n = std::min(out.size(), samples_.size() - position_);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(position_), n, out.begin());
    position_ += n;
    return n;
}

size_t RawStreamSampleSource::read(std::span<int16_t> out) {
    if (ended_ || out.empty()) return 0;
    bytes_.resize(out.size() * 2);
    size_t got = 0;
    while (got < bytes_.size()) {
        const size_t n = std::fread(bytes_.data() + got, 1, bytes_.size() - got, stream_);
        if (n == 0) break;
        got += n;
    }
    if (got < bytes_.size()) {
        ended_ = true;
        if (std::ferror(stream_)) error_ = std::string("read error: ") + std::strerror(errno);
        if (got % 2 != 0) {
            odd_byte_ = true;
            --got;
        }
    }
    const size_t samples = got / 2;
    for (size_t i = 0; i < samples; ++i) {
        const auto lo = static_cast<uint16_t>(bytes_[2 * i]);
        const auto hi = static_cast<uint16_t>(bytes_[2 * i + 1]);
        out[i] = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
    }
    return samples;
}

SampleInput::SampleInput(std::unique_ptr<SampleSource> source, Pacing pacing)
    : source_(std::move(source)), pacing_(pacing) {}

SampleInput::~SampleInput() {
    close();
}

std::unique_ptr<SampleInput> SampleInput::from_wav(const std::string& path, Pacing pacing,
                                                   std::string& error) {
    WavData wav = read_wav(path);
    if (!wav.ok()) {
        error = wav.error;
        return nullptr;
    }
    return std::make_unique<SampleInput>(
        std::make_unique<MemorySampleSource>(std::move(wav.samples)), pacing);
}

void SampleInput::queue_all() {
    queue_head_ = 0;
    queue_count_ = kCaptureBufferCount;
    for (int i = 0; i < kCaptureBufferCount; ++i)
        queued_[i] = i;
}

bool SampleInput::open(std::span<int16_t> buffers, Done done) {
    close();
    if (buffers.size() < kCaptureBufferCount * kCaptureBufferSamples || !done) return false;
    std::lock_guard lock(mutex_);
    buffers_ = buffers;
    done_ = std::move(done);
    queue_all();
    is_open_ = true;
    running_ = true;
    quit_ = false;
    if (pacing_ == Pacing::RealTime) thread_ = std::thread([this] { worker(); });
    return true;
}

void SampleInput::requeue(int buffer) {
    std::lock_guard lock(mutex_);
    if (!is_open_ || buffer < 0 || buffer >= kCaptureBufferCount) return;
    if (queue_count_ == kCaptureBufferCount) return;
    queued_[(queue_head_ + queue_count_) % kCaptureBufferCount] = buffer;
    ++queue_count_;
}

void SampleInput::stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
}

void SampleInput::restart() {
    {
        std::lock_guard lock(mutex_);
        if (!is_open_) return;
        queue_all();
        running_ = true;
    }
    wake_.notify_all();
}

void SampleInput::close() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    is_open_ = false;
    queue_count_ = 0;
    done_ = nullptr;
}

bool SampleInput::deliver_one() {
    if (queue_count_ == 0) return false;
    const int buffer = queued_[queue_head_];
    const auto out = buffers_.subspan(static_cast<size_t>(buffer) * kCaptureBufferSamples,
                                      kCaptureBufferSamples);
    size_t got = 0;
    if (!finished_) {
        got = source_->read(out);
        if (got < out.size()) finished_ = true;
    }
    // A fast input hands over only what the recording holds; a paced one keeps time.
    if (got == 0 && pacing_ == Pacing::Fast) return false;
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), int16_t{0});
    queue_head_ = (queue_head_ + 1) % kCaptureBufferCount;
    --queue_count_;
    delivered_ += got;
    done_(buffer);
    return true;
}

bool SampleInput::pump() {
    std::lock_guard lock(mutex_);
    if (pacing_ == Pacing::Fast && running_) {
        while (!finished_ && deliver_one()) {
        }
    }
    return !finished_;
}

bool SampleInput::finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

uint64_t SampleInput::samples_delivered() const {
    std::lock_guard lock(mutex_);
    return delivered_;
}

void SampleInput::worker() {
    std::unique_lock lock(mutex_);
    auto next = std::chrono::steady_clock::now() + kBufferPeriod;
    while (!quit_) {
        if (!running_) {
            wake_.wait(lock, [this] { return quit_ || running_; });
            next = std::chrono::steady_clock::now() + kBufferPeriod;
            continue;
        }
        if (wake_.wait_until(lock, next, [this] { return quit_ || !running_; })) continue;
        // Due: the oldest queued buffer is filled now. With none queued the recording waits
        // for the next period rather than lose audio.
        deliver_one();
        next += kBufferPeriod;
    }
}

} // namespace quavel
