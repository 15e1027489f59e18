#include "tx/morse_id.h"

#include <algorithm>
#include <cmath>

#include "modem/angles.h"

namespace quavel {

static_assert(kMaxIdentificationBlocks == 90);
// The builder writes at most kMaxIdentificationSamples (the text is cut to 14 characters of
// callsign), so it never writes past the store.
static_assert(kMaxIdentificationSamples <= kIdentificationStoreSamples);

IdentificationAudio::IdentificationAudio() : store_(new int16_t[kIdentificationStoreSamples]()) {}

void IdentificationAudio::build(CentreHz centre_hz, std::string_view callsign,
                                std::span<const float, kRampLength> ramp) {
    // Everything from the old length on is still zero.
    std::fill(store_.get(), store_.get() + length_samples_, int16_t{0});

    callsign = callsign.substr(0, kMaxCallsignChars);
    std::copy(kIdentificationPrefix.begin(), kIdentificationPrefix.end(), text_.begin());
    std::copy(callsign.begin(), callsign.end(), text_.begin() + kIdentificationPrefix.size());
    text_length_ = static_cast<uint32_t>(kIdentificationPrefix.size() + callsign.size());

    const auto f = static_cast<double>(centre_hz);
    uint32_t p = 0;
    for (const char c : text()) {
        if (c == ' ') {
            p += kMorseSpaceSamples;
            continue;
        }
        const auto m = morse_code(c);
        if (!m) continue;
        for (uint32_t e = m->count; e-- > 0;) {
            const uint32_t n = ((m->bits >> e) & 1u) != 0 ? kMorseDashSamples : kMorseDotSamples;
            // The tone starts afresh in every element, rising along the keying ramp over its
            // first 100 samples and falling along it over its last 100.
            for (uint32_t j = 1; j <= n; ++j) {
                float v = static_cast<float>(std::sin(kMorseTwoPi * f * j / 8000.0));
                if (j <= static_cast<uint32_t>(kRampLength)) v *= ramp[j - 1];
                if (n - j < static_cast<uint32_t>(kRampLength)) v *= ramp[n - j];
                store_[p++] = static_cast<int16_t>(kMorseAmplitude * static_cast<double>(v));
            }
            p += kMorseElementGapSamples;
        }
        p += kMorseCharacterGapSamples;
    }
    length_samples_ = p;
}

void IdentificationPlayback::start(const IdentificationAudio& audio) {
    active = true;
    blocks_to_play = audio.block_count();
    buffers_sent = 0;
}

bool IdentificationPlayback::fill(std::span<int16_t> out, const IdentificationAudio& audio,
                                  uint32_t speed) {
    const auto store = audio.store();
    const uint64_t start = static_cast<uint64_t>(buffers_sent) * out.size();
    const size_t available =
        start < store.size() ? std::min(out.size(), static_cast<size_t>(store.size() - start)) : 0;
    std::copy_n(store.begin() + static_cast<ptrdiff_t>(start < store.size() ? start : 0), available,
                out.begin());
    std::fill(out.begin() + static_cast<ptrdiff_t>(available), out.end(), int16_t{0});
    ++buffers_sent;
    if (buffers_sent >= buffers_to_send(speed)) {
        active = false;
        return true;
    }
    return false;
}

} // namespace quavel
