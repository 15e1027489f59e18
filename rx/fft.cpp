#include "rx/fft.h"

#include <cmath>
#include <utility>

#include "modem/angles.h"

namespace quavel {

namespace {

void transform(float* data, uint32_t n, double c) {
    const uint32_t m2 = 2 * n;

    // Bit-reversal permutation on the 1-based interleaved layout.
    uint32_t j = 1;
    for (uint32_t i = 1; i < m2; i += 2) {
        if (i < j) {
            std::swap(data[i], data[j]);
            std::swap(data[i + 1], data[j + 1]);
        }
        uint32_t m = n;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }

    // Danielson-Lanczos butterflies; the twiddle factor advances by a single-precision
    // recurrence from two sines per stage.
    uint32_t mmax = 2;
    while (m2 > mmax) {
        const uint32_t istep = 2 * mmax;
        const float theta = static_cast<float>(c / mmax);
        const float wtemp0 = static_cast<float>(std::sin(static_cast<double>(theta) / 2.0));
        const float wpr = static_cast<float>(-2.0 * wtemp0 * wtemp0);
        const float wpi = static_cast<float>(std::sin(static_cast<double>(theta)));
        float wr = 1.0f;
        float wi = 0.0f;
        for (uint32_t m = 1; m < mmax; m += 2) {
            const double dwr = wr;
            const double dwi = wi;
            for (uint32_t i = m; i <= m2; i += istep) {
                const uint32_t k = i + mmax;
                const float tempr = static_cast<float>(dwr * data[k] - dwi * data[k + 1]);
                const float tempi = static_cast<float>(dwr * data[k + 1] + dwi * data[k]);
                data[k] = data[i] - tempr;
                data[k + 1] = data[i + 1] - tempi;
                data[i] += tempr;
                data[i + 1] += tempi;
            }
            const float wtemp = wr;
            wr = static_cast<float>(dwr * wpr - dwi * wpi + dwr);
            wi = static_cast<float>(dwi * wpr + static_cast<double>(wtemp) * wpi + dwi);
        }
        mmax = istep;
    }
}

// Other sizes are a caller's fault; they leave the data alone rather than run off its end.
bool fits(std::span<float> data, uint32_t n) {
    return n >= 2 && (n & (n - 1)) == 0 && data.size() >= 2 * static_cast<size_t>(n) + 1;
}

} // namespace

void fft_forward(std::span<float> data, uint32_t n) {
    if (fits(data, n)) transform(data.data(), n, kAirTwoPi);
}

void fft_inverse(std::span<float> data, uint32_t n) {
    if (fits(data, n)) transform(data.data(), n, -kAirTwoPi);
}

} // namespace quavel
