#include "channel/clock_error.h"

#include <algorithm>
#include <cmath>

#include "channel/sinc_interpolator.h"

namespace quavel::channel {

std::size_t clock_error_length(std::size_t input_samples, double ppm) {
    const double ratio = 1.0 + ppm * 1e-6;
    return static_cast<std::size_t>(std::llround(static_cast<double>(input_samples) * ratio));
}

std::vector<double> apply_clock_error(std::span<const double> signal, double ppm) {
    if (ppm == 0.0) return {signal.begin(), signal.end()};
    const double ratio = 1.0 + ppm * 1e-6;
    const SincInterpolator interpolator(std::min(1.0, ratio));
    std::vector<double> out(clock_error_length(signal.size(), ppm));
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = interpolator.at(signal, static_cast<double>(k) / ratio);
    return out;
}

} // namespace quavel::channel
