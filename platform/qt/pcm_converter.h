// Conversion between the modem's 8000 Hz 16-bit mono PCM and whatever a sound device insists on:
// other sample encodings, several channels, other rates. Channels are mixed down to one (their
// mean) on the way in and the one channel is copied to all of them on the way out; the rate is
// changed by a Resampler. Samples are in the machine's byte order, as sound devices hand them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/qt/resampler.h"

namespace quavel {

enum class PcmEncoding { UInt8, Int16, Int32, Float32 };

struct PcmFormat {
    uint32_t rate_hz = 8000;
    uint32_t channels = 1; // 1..32
    PcmEncoding encoding = PcmEncoding::Int16;

    uint32_t bytes_per_sample() const;
    uint32_t bytes_per_frame() const { return bytes_per_sample() * channels; }
    bool operator==(const PcmFormat&) const = default;
};

// The modem's own format: 8000 Hz, mono, 16-bit signed.
inline constexpr PcmFormat kModemPcm{};

class PcmConverter {
public:
    // Prepares to turn `from` into `to` and forgets any history. False for a format it cannot
    // handle (no channels or more than 32, a rate the Resampler refuses); convert then does
    // nothing.
    bool configure(const PcmFormat& from, const PcmFormat& to);
    // Forgets the resampler's history and any part frame, as after configure.
    void reset();
    // Converts the whole frames of `in` and appends the result to `out`; a trailing part frame
    // is kept and completed by the next call.
    void convert(std::span<const std::byte> in, std::vector<std::byte>& out);

    // True when the formats are equal and bytes pass through unchanged.
    bool passthrough() const { return valid_ && from_ == to_; }
    const PcmFormat& from() const { return from_; }
    const PcmFormat& to() const { return to_; }

private:
    PcmFormat from_;
    PcmFormat to_;
    bool valid_ = true;
    Resampler resampler_;
    std::vector<std::byte> partial_; // bytes of an incomplete input frame (< one frame)
    std::vector<float> mono_;        // scratch: input mixed down, in 16-bit sample units
    std::vector<float> resampled_;   // scratch: after rate conversion
};

} // namespace quavel
