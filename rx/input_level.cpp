#include "rx/input_level.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quavel {

namespace {

float to_dbfs(double amplitude) {
    if (amplitude <= 0.0) return InputLevel::kFloorDbfs;
    return std::max(InputLevel::kFloorDbfs, static_cast<float>(20.0 * std::log10(amplitude)));
}

} // namespace

void InputLevel::measure(std::span<const int16_t> block) {
    int peak = 0;
    double energy = 0.0;
    for (const int16_t sample : block) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
        energy += static_cast<double>(sample) * sample;
    }
    constexpr double kFullScale = 32768.0;
    peak_dbfs = to_dbfs(peak / kFullScale);
    rms_dbfs = block.empty()
                   ? kFloorDbfs
                   : to_dbfs(std::sqrt(energy / static_cast<double>(block.size())) / kFullScale);
}

} // namespace quavel
