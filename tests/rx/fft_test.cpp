// The two FFTs on the 1-based interleaved layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "rx/fft.h"

namespace quavel {
namespace {

constexpr double kPi = 3.141592653589793;

std::vector<float> points(uint32_t n) {
    return std::vector<float>(2 * n + 1, 0.0f);
}
float& re(std::vector<float>& d, uint32_t k) {
    return d[2 * k + 1];
}
float& im(std::vector<float>& d, uint32_t k) {
    return d[2 * k + 2];
}

class FftSize : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FftSize, ImpulseGivesAFlatSpectrum) {
    const uint32_t n = GetParam();
    auto d = points(n);
    re(d, 0) = 1.0f;
    fft_forward(d, n);
    for (uint32_t k = 0; k < n; ++k) {
        ASSERT_FLOAT_EQ(re(d, k), 1.0f) << k;
        ASSERT_FLOAT_EQ(im(d, k), 0.0f) << k;
    }
}

// e^(sign 2 pi i k0 t / n) lands at k0 for the negative sign and at n - k0 for the positive
// one; the forward transform carries the positive exponent.
TEST_P(FftSize, ComplexExponentialLandsOnOnePoint) {
    const uint32_t n = GetParam();
    const uint32_t k0 = n / 8 + 3;
    for (int sign : {-1, +1}) {
        auto d = points(n);
        for (uint32_t t = 0; t < n; ++t) {
            const double phase = sign * 2.0 * kPi * k0 * static_cast<double>(t) / n;
            re(d, t) = static_cast<float>(std::cos(phase));
            im(d, t) = static_cast<float>(std::sin(phase));
        }
        fft_forward(d, n);
        const uint32_t expected = sign < 0 ? k0 : n - k0;
        for (uint32_t k = 0; k < n; ++k) {
            const double mag = std::hypot(re(d, k), im(d, k));
            if (k == expected) {
                EXPECT_NEAR(re(d, k), n, n * 1e-4) << "sign " << sign;
                EXPECT_NEAR(im(d, k), 0.0, n * 1e-4) << "sign " << sign;
            } else {
                ASSERT_LT(mag, n * 1e-4) << "sign " << sign << " point " << k;
            }
        }
    }
}

TEST_P(FftSize, ForwardThenInverseReturnsNTimesTheInput) {
    const uint32_t n = GetParam();
    auto d = points(n);
    uint32_t x = 12345;
    for (uint32_t i = 1; i <= 2 * n; ++i) {
        x = x * 1664525u + 1013904223u;
        d[i] = static_cast<float>(static_cast<int32_t>(x >> 8) % 2001 - 1000) / 1000.0f;
    }
    const auto original = d;
    fft_forward(d, n);
    fft_inverse(d, n);
    for (uint32_t i = 1; i <= 2 * n; ++i) {
        ASSERT_NEAR(d[i], n * original[i], n * 2e-5) << i;
    }
    EXPECT_EQ(d[0], 0.0f); // not part of the data
}

INSTANTIATE_TEST_SUITE_P(ReceiverSizes, FftSize, ::testing::Values(2048u, 4096u, 8192u),
                         [](const auto& param_info) {
                             return "N" + std::to_string(param_info.param);
                         });

TEST(Fft, BandLimitedCosineComesBackAtHalfTheLength) {
    const uint32_t n = 8192;
    const uint32_t k0 = 2050;
    auto d = points(n);
    for (uint32_t t = 0; t < n; ++t) {
        re(d, t) = static_cast<float>(std::cos(2.0 * kPi * k0 * t / n));
    }
    auto cosine = d;
    fft_forward(d, n);
    for (uint32_t k = 0; k < n; ++k) {
        if (k + 3 < k0 || k > k0 + 3) re(d, k) = im(d, k) = 0.0f;
    }
    fft_inverse(d, n);
    for (uint32_t t = 0; t < n; ++t) {
        ASSERT_NEAR(re(d, t), 4096.0 * re(cosine, t), 0.05) << t;
    }
}

TEST(Fft, TwoPointsAndUnsupportedSizes) {
    auto d = points(2);
    re(d, 0) = 1.0f;
    re(d, 1) = 2.0f;
    fft_forward(d, 2);
    EXPECT_FLOAT_EQ(re(d, 0), 3.0f);
    EXPECT_FLOAT_EQ(re(d, 1), -1.0f);

    // Not a power of two, or more points than the array holds: left alone.
    auto e = points(6);
    re(e, 1) = 1.0f;
    const auto before = e;
    fft_forward(e, 6);
    fft_inverse(e, 8);
    EXPECT_EQ(e, before);
}

} // namespace
} // namespace quavel
