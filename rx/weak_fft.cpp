#include "rx/weak_fft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace quavel {

WeakFft::WeakFft() {
    for (uint32_t k = 0; k < kMaxSize / 2; ++k) {
        const double w = -2.0 * std::numbers::pi * k / kMaxSize;
        twiddle_[k] = {static_cast<float>(std::cos(w)), static_cast<float>(std::sin(w))};
    }
}

void WeakFft::forward(std::span<std::complex<float>> data) const {
    const auto n = static_cast<uint32_t>(data.size());
    if (n < 2 || n > kMaxSize || (n & (n - 1)) != 0) return;
    for (uint32_t i = 1, j = 0; i < n; ++i) {
        uint32_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (uint32_t len = 2; len <= n; len <<= 1) {
        const uint32_t stride = kMaxSize / len;
        const uint32_t half = len / 2;
        for (uint32_t start = 0; start < n; start += len) {
            for (uint32_t k = 0; k < half; ++k) {
                const std::complex<float> t = twiddle_[k * stride] * data[start + k + half];
                data[start + k + half] = data[start + k] - t;
                data[start + k] += t;
            }
        }
    }
}

} // namespace quavel
