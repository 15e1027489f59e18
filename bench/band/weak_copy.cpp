#include "weak_copy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <span>

#include "channel/channel.h"
#include "channel/ideal_detector.h"
#include "error_rate.h"
#include "modem/tuning.h"
#include "rx/weak_receiver.h"

namespace quavel::perf {

namespace {

// The recording moved by `offset_hz`, rounded back to 16 bits.
std::vector<int16_t> shifted(const std::vector<int16_t>& recording, double offset_hz) {
    const std::vector<float> input(recording.begin(), recording.end());
    channel::ChannelParams params;
    params.offset_hz = offset_hz;
    const auto out = channel::apply_channel(std::span<const float>(input), params);
    std::vector<int16_t> samples(out.samples.size());
    constexpr double kLow = std::numeric_limits<int16_t>::min();
    constexpr double kHigh = std::numeric_limits<int16_t>::max();
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(
            std::clamp(std::round(static_cast<double>(out.samples[i])), kLow, kHigh));
    return samples;
}

} // namespace

WeakCopy copy_weak(const std::vector<int16_t>& recording, const SceneStation& station,
                   std::optional<double> until_s) {
    double tone5_hz = station.over.tone5_hz;
    std::vector<int16_t> part;
    const std::vector<int16_t>* audio = &recording;
    if (until_s) {
        const auto end = std::min(recording.size(), static_cast<std::size_t>(*until_s * 8000.0));
        part.assign(recording.begin(), recording.begin() + static_cast<std::ptrdiff_t>(end));
        audio = &part;
    }
    if (tone5_hz > kCentreMaxHz - 24.0 || tone5_hz < kCentreMinHz + 24.0) {
        const double offset_hz = 1000.0 - std::round(tone5_hz);
        part = shifted(*audio, offset_hz);
        audio = &part;
        tone5_hz += offset_hz;
    }
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({station.over.speed, clamp_centre_hz(std::llround(tone5_hz)), true});
    WeakCopy copy;
    std::vector<uint32_t> symbols;
    std::array<uint8_t, 8> out{};
    constexpr std::size_t kStep = 256;
    const std::span<const int16_t> all(*audio);
    for (std::size_t at = 0; at < all.size(); at += kStep) {
        const auto piece = all.subspan(at, std::min(kStep, all.size() - at));
        const std::size_t n = rx->push(piece, out);
        symbols.insert(symbols.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
        if (rx->locked() && !copy.lock_s)
            copy.lock_s = static_cast<double>(at + piece.size()) / 8000.0;
    }
    copy.text = channel::symbols_to_text(symbols);
    copy.errors = edit_distance(station.over.text, copy.text);
    return copy;
}

} // namespace quavel::perf
