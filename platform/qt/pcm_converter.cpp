#include "platform/qt/pcm_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quavel {
namespace {

constexpr uint32_t kMaxChannels = 32;

// One sample as a float in 16-bit units (full scale +/-32768).
float decode_sample(const std::byte* p, PcmEncoding e) {
    switch (e) {
    case PcmEncoding::UInt8: {
        uint8_t v;
        std::memcpy(&v, p, 1);
        return (static_cast<float>(v) - 128.0f) * 256.0f;
    }
    case PcmEncoding::Int16: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return static_cast<float>(v);
    }
    case PcmEncoding::Int32: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return static_cast<float>(static_cast<double>(v) / 65536.0);
    }
    case PcmEncoding::Float32: {
        float v;
        std::memcpy(&v, p, 4);
        return std::isfinite(v) ? v * 32768.0f : 0.0f;
    }
    }
    return 0.0f;
}

template <typename T> T rounded_clamped(double v, double lo, double hi) {
    return static_cast<T>(std::lround(std::clamp(v, lo, hi)));
}

void encode_sample(float v, PcmEncoding e, std::byte* p) {
    switch (e) {
    case PcmEncoding::UInt8: {
        const uint8_t s = rounded_clamped<uint8_t>(v / 256.0 + 128.0, 0.0, 255.0);
        std::memcpy(p, &s, 1);
        return;
    }
    case PcmEncoding::Int16: {
        const int16_t s = rounded_clamped<int16_t>(v, -32768.0, 32767.0);
        std::memcpy(p, &s, 2);
        return;
    }
    case PcmEncoding::Int32: {
        const int32_t s = rounded_clamped<int32_t>(v * 65536.0, -2147483648.0, 2147483647.0);
        std::memcpy(p, &s, 4);
        return;
    }
    case PcmEncoding::Float32: {
        const float s = std::clamp(v / 32768.0f, -1.0f, 1.0f);
        std::memcpy(p, &s, 4);
        return;
    }
    }
}

} // namespace

uint32_t PcmFormat::bytes_per_sample() const {
    switch (encoding) {
    case PcmEncoding::UInt8:
        return 1;
    case PcmEncoding::Int16:
        return 2;
    case PcmEncoding::Int32:
    case PcmEncoding::Float32:
        return 4;
    }
    return 2;
}

bool PcmConverter::configure(const PcmFormat& from, const PcmFormat& to) {
    from_ = from;
    to_ = to;
    partial_.clear();
    valid_ = from.channels >= 1 && from.channels <= kMaxChannels && to.channels >= 1 &&
             to.channels <= kMaxChannels;
    if (valid_ && !passthrough()) valid_ = resampler_.configure(from.rate_hz, to.rate_hz);
    return valid_;
}

void PcmConverter::reset() {
    partial_.clear();
    resampler_.reset();
}

void PcmConverter::convert(std::span<const std::byte> in, std::vector<std::byte>& out) {
    if (!valid_ || in.empty()) return;
    const size_t frame = from_.bytes_per_frame();

    // Complete a frame left over from the last call first.
    if (!partial_.empty()) {
        const size_t take = std::min(frame - partial_.size(), in.size());
        partial_.insert(partial_.end(), in.begin(), in.begin() + static_cast<std::ptrdiff_t>(take));
        in = in.subspan(take);
        if (partial_.size() < frame) return;
        std::vector<std::byte> whole;
        whole.swap(partial_);
        convert(whole, out);
        if (in.empty()) return;
    }
    const size_t whole_bytes = in.size() / frame * frame;
    partial_.assign(in.begin() + static_cast<std::ptrdiff_t>(whole_bytes), in.end());
    in = in.first(whole_bytes);

    if (passthrough()) {
        out.insert(out.end(), in.begin(), in.end());
        return;
    }

    const size_t frames = in.size() / frame;
    const size_t sample_bytes = from_.bytes_per_sample();
    mono_.resize(frames);
    for (size_t f = 0; f < frames; ++f) {
        const std::byte* p = in.data() + f * frame;
        float sum = 0.0f;
        for (uint32_t c = 0; c < from_.channels; ++c)
            sum += decode_sample(p + c * sample_bytes, from_.encoding);
        mono_[f] = sum / static_cast<float>(from_.channels);
    }
    resampled_.clear();
    resampler_.process(mono_, resampled_);

    const size_t out_frame = to_.bytes_per_frame();
    const size_t out_sample = to_.bytes_per_sample();
    const size_t start = out.size();
    out.resize(start + resampled_.size() * out_frame);
    std::byte* q = out.data() + start;
    for (const float v : resampled_) {
        for (uint32_t c = 0; c < to_.channels; ++c)
            encode_sample(v, to_.encoding, q + c * out_sample);
        q += out_frame;
    }
}

} // namespace quavel
