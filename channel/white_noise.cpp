#include "channel/white_noise.h"

#include <cmath>

#include "channel/portable_math.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

double noise_variance_for_snr(double signal_power, double snr_db) {
    const double nyquist_hz = static_cast<double>(kSampleRateHz) / 2.0;
    const double in_band_power = signal_power / portable_exp(snr_db / 10.0 * kLn10);
    return in_band_power * nyquist_hz / kNoiseBandwidthHz;
}

void add_white_noise(std::span<double> signal, double variance, Random& random) {
    const double sigma = std::sqrt(variance);
    for (double& s : signal)
        s += sigma * random.gaussian();
}

} // namespace quavel::channel
