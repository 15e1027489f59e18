#include "channel/interference.h"

#include <algorithm>
#include <cmath>

#include "channel/portable_math.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

namespace {

constexpr double kRate = static_cast<double>(kSampleRateHz);

double uniform_between(Random& random, double low, double high) {
    return low + (high - low) * random.uniform();
}

} // namespace

std::size_t add_crashes(std::span<double> signal, const CrashParams& params, double noise_variance,
                        Random& random) {
    if (params.rate_hz <= 0.0 || noise_variance <= 0.0) return 0;
    std::size_t count = 0;
    double t = 0.0;
    for (;;) {
        // Exponential gaps: 1 - uniform() lies in (0, 1], so the logarithm is finite.
        t += -portable_log(1.0 - random.uniform()) / params.rate_hz;
        const auto start = static_cast<std::size_t>(t * kRate);
        if (start >= signal.size()) break;
        const double ms = uniform_between(random, params.min_ms, params.max_ms);
        const double db = uniform_between(random, params.min_db, params.max_db);
        const double sigma = std::sqrt(noise_variance * portable_exp(db / 10.0 * kLn10));
        const auto length = std::max<std::size_t>(1, static_cast<std::size_t>(ms * kRate / 1000));
        const std::size_t end = std::min(signal.size(), start + length);
        for (std::size_t n = start; n < end; ++n)
            signal[n] += sigma * random.gaussian();
        ++count;
    }
    return count;
}

void add_carrier(std::span<double> signal, double amplitude, double frequency_hz) {
    const double turns_per_sample = frequency_hz / kRate;
    for (std::size_t n = 0; n < signal.size(); ++n)
        signal[n] +=
            amplitude * portable_sin_cos_turns(turns_per_sample * static_cast<double>(n)).cos;
}

void apply_agc_steps(std::span<double> signal, const AgcParams& params) {
    const double down = portable_exp(-params.step_db / 20.0 * kLn10);
    const double period = params.period_s * kRate;
    for (std::size_t n = 0; n < signal.size(); ++n) {
        const auto phase = static_cast<uint64_t>(static_cast<double>(n) / period);
        if (phase % 2 == 1) signal[n] *= down;
    }
}

std::size_t hard_clip(std::span<double> signal, double level) {
    std::size_t changed = 0;
    for (double& x : signal) {
        if (std::abs(x) > level) {
            x = std::copysign(level, x);
            ++changed;
        }
    }
    return changed;
}

} // namespace quavel::channel
