#include "weak_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "receive_support.h"

namespace quavel::rxtest {

WeakCopy weak_copy(std::span<const int16_t> samples, const WeakReceiver::Config& config) {
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset(config);
    WeakCopy copy;
    std::array<uint8_t, 8> out{};
    for (std::size_t at = 0; at < samples.size(); at += kCaptureBlockSamples) {
        const auto block =
            samples.subspan(at, std::min<std::size_t>(kCaptureBlockSamples, samples.size() - at));
        const std::size_t n = rx->push(block, out);
        copy.symbols.insert(copy.symbols.end(), out.begin(), out.begin() + static_cast<long>(n));
    }
    copy.text = primary_text(copy.symbols);
    copy.locked_at_end = rx->locked();
    copy.frequency_hz = rx->frequency_hz();
    return copy;
}

std::string primary_text(std::span<const uint32_t> symbols) {
    std::string text;
    bool escape = false;
    for (const uint32_t s : symbols) {
        if (s < 1 || s > kSymbolCount) continue;
        const TonePair pair = kTonePairs[s - 1];
        const Decoded d = decode_pair(pair.a, pair.b, escape);
        if ((d.kind == DecodeKind::Escaped || d.kind == DecodeKind::Pair) && d.primary != 0)
            text += d.primary;
    }
    return text;
}

std::vector<int16_t> noise_only(double seconds, double sigma, uint64_t seed) {
    NoiseSource noise(seed);
    std::vector<int16_t> out(static_cast<std::size_t>(seconds * kSampleRateHz));
    for (int16_t& v : out)
        v = static_cast<int16_t>(
            std::clamp(std::lround(sigma * noise.gaussian()), -32768L, 32767L));
    return out;
}

} // namespace quavel::rxtest
