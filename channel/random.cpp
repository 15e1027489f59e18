#include "channel/random.h"

#include <cmath>

#include "channel/portable_math.h"

namespace quavel::channel {

namespace {

constexpr uint64_t rotl(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

} // namespace

uint64_t splitmix64(uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

Random::Random(uint64_t seed) {
    for (uint64_t& word : state_)
        word = splitmix64(seed);
}

uint64_t Random::next_u64() {
    const uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
}

double Random::uniform() {
    return static_cast<double>(next_u64() >> 11) * 0x1.0p-53;
}

double Random::gaussian() {
    if (has_spare_) {
        has_spare_ = false;
        return spare_;
    }
    // A point uniform in the unit disc (origin excluded) gives two independent normals.
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = 2.0 * uniform() - 1.0;
        v = 2.0 * uniform() - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double scale = std::sqrt(-2.0 * portable_log(s) / s);
    spare_ = v * scale;
    has_spare_ = true;
    return u * scale;
}

std::complex<double> Random::complex_gaussian() {
    constexpr double kHalfPowerScale = 0.70710678118654752440;
    const double re = gaussian();
    const double im = gaussian();
    return {re * kHalfPowerScale, im * kHalfPowerScale};
}

} // namespace quavel::channel
