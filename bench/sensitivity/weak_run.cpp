#include "weak_run.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>

#include "channel/ideal_detector.h"
#include "modem/speed_profile.h"
#include "rx/weak_receiver.h"

namespace quavel::perf {

WeakResult receive_weak(const std::vector<int16_t>& samples, const WeakOptions& options) {
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({options.speed, options.centre_hz, options.squelch});
    WeakResult result;
    std::array<uint8_t, 8> out{};
    const std::span<const int16_t> all(samples);
    for (std::size_t at = 0; at < all.size(); at += kCaptureBlockSamples) {
        const auto block =
            all.subspan(at, std::min<std::size_t>(kCaptureBlockSamples, all.size() - at));
        const std::size_t n = rx->push(block, out);
        for (std::size_t i = 0; i < n; ++i)
            result.symbols.push_back(out[i]);
        if (rx->locked() && result.first_open_sample == SIZE_MAX)
            result.first_open_sample = at + block.size();
    }
    result.text = channel::symbols_to_text(result.symbols);
    result.final_frequency_hz = rx->frequency_hz();
    result.dropped = rx->dropped();
    return result;
}

} // namespace quavel::perf
