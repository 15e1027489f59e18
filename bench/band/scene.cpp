#include "scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "channel/interference.h"
#include "channel/random.h"
#include "channel/signal_power.h"
#include "channel/white_noise.h"

namespace quavel::perf {

std::size_t length_after_overs(const Scene& scene, double tail_s) {
    std::size_t end = 0;
    for (const SceneStation& s : scene.stations)
        end = std::max(end, s.start_sample + s.over.samples.size());
    return end + static_cast<std::size_t>(tail_s * 8000.0);
}

Rendered render(const Scene& scene) {
    const double noise_variance = kNoiseRms * kNoiseRms;
    std::vector<double> mix(std::max(scene.length_samples, length_after_overs(scene, 0.0)), 0.0);
    for (const SceneStation& s : scene.stations) {
        const std::vector<double> clean(s.over.samples.begin(), s.over.samples.end());
        // noise_variance_for_snr is proportional to the signal's power: solved for that power.
        const double wanted = noise_variance / channel::noise_variance_for_snr(1.0, s.snr_db);
        const double gain = std::sqrt(wanted / channel::measure_signal_power(clean).mean_square);
        for (std::size_t i = 0; i < clean.size(); ++i)
            mix[s.start_sample + i] += gain * clean[i];
    }
    for (const SceneCarrier& c : scene.carriers) {
        const double power = noise_variance * (channel::kNoiseBandwidthHz / 4000.0) *
                             std::pow(10.0, c.level_db / 10.0);
        channel::add_carrier(mix, std::sqrt(2.0 * power), c.freq_hz);
    }
    if (scene.noise) {
        channel::Random random(scene.seed);
        channel::add_white_noise(mix, noise_variance, random);
    }
    Rendered out;
    out.samples.resize(mix.size());
    constexpr double kLow = std::numeric_limits<int16_t>::min();
    constexpr double kHigh = std::numeric_limits<int16_t>::max();
    for (std::size_t i = 0; i < mix.size(); ++i) {
        const double rounded = std::round(mix[i]);
        if (rounded < kLow || rounded > kHigh) ++out.clipped;
        out.samples[i] = static_cast<int16_t>(std::clamp(rounded, kLow, kHigh));
    }
    return out;
}

} // namespace quavel::perf
