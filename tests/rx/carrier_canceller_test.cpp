// The carrier canceller on baseband it can be checked against: a carrier it must find and take
// out, and the mode's own tones (a symbol repeated as the idle repeats it) it must leave alone.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "receive_support.h"
#include "rx/carrier_canceller.h"

namespace quavel {
namespace {

constexpr double kRate = 500.0;

std::complex<float> noise(rxtest::NoiseSource& source, double sigma) {
    return {static_cast<float>(sigma * source.gaussian()),
            static_cast<float>(sigma * source.gaussian())};
}

std::complex<double> tone(double hz, std::size_t n) {
    return std::polar(1.0, 2.0 * std::numbers::pi * hz * static_cast<double>(n) / kRate);
}

TEST(CarrierCanceller, FindsACarrierAndTakesItOut) {
    for (const double hz : {3.7, -41.2, 0.0}) {
        CarrierCanceller canceller(kRate);
        rxtest::NoiseSource source(2);
        double left = 0.0;
        const std::size_t total = 12 * 500;
        for (std::size_t n = 0; n < total; ++n) {
            const std::complex<float> x =
                noise(source, 0.1) + std::complex<float>(10.0 * tone(hz, n));
            const std::complex<float> y = canceller.take(x);
            if (n >= total - 1000) left += std::norm(y);
        }
        ASSERT_EQ(canceller.notches(), 1) << hz << " Hz";
        EXPECT_NEAR(canceller.notch_hz(0), hz, 0.05);
        // What is left is the noise (0.02 a sample), not the carrier (100).
        EXPECT_LT(left / 1000.0, 0.05) << hz << " Hz";
    }
}

// The idle repeats one symbol: a tone under a bell one symbol long, at 1, 2 or 4 symbols a second.
TEST(CarrierCanceller, LeavesARepeatedSymbolOfTheModeAlone) {
    for (const double symbol_hz : {1.0, 2.0, 4.0}) {
        CarrierCanceller canceller(kRate);
        rxtest::NoiseSource source(3);
        const auto symbol = static_cast<std::size_t>(kRate / symbol_hz);
        for (std::size_t n = 0; n < 20 * 500; ++n) {
            const double bell =
                std::pow(std::sin(std::numbers::pi * double(n % symbol) / double(symbol)), 2.0);
            canceller.take(noise(source, 0.1) + std::complex<float>(10.0 * bell * tone(8.0, n)));
        }
        EXPECT_EQ(canceller.notches(), 0) << symbol_hz << " symbols a second";
    }
}

} // namespace
} // namespace quavel
