#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/qt/resampler.h"

namespace quavel {
namespace {

std::vector<float> sine(double hz, double amplitude, uint32_t rate_hz, size_t length) {
    std::vector<float> x(length);
    for (size_t n = 0; n < length; ++n)
        x[n] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * n / rate_hz));
    return x;
}

std::vector<float> resample(uint32_t in_hz, uint32_t out_hz, const std::vector<float>& in) {
    Resampler r;
    EXPECT_TRUE(r.configure(in_hz, out_hz));
    std::vector<float> out;
    r.process(in, out);
    return out;
}

struct Rates {
    uint32_t in_hz;
    uint32_t out_hz;
    friend void PrintTo(const Rates& r, std::ostream* os) { *os << r.in_hz << "->" << r.out_hz; }
};

class ResamplerRates : public ::testing::TestWithParam<Rates> {};

// Output sample k lies at input time k * in / out: a sine in is the same sine out, sample for
// sample, once the filter is past the silence before the start.
TEST_P(ResamplerRates, SineInBandComesOutAtTheSameInstants) {
    const auto [in_hz, out_hz] = GetParam();
    for (const double hz : {300.0, 1000.0, 2500.0, 3400.0}) {
        const std::vector<float> out = resample(in_hz, out_hz, sine(hz, 10000.0, in_hz, in_hz));
        ASSERT_GT(out.size(), out_hz * 9 / 10) << hz;
        const std::vector<float> ideal = sine(hz, 10000.0, out_hz, out.size());
        double worst = 0.0;
        for (size_t k = out_hz / 20; k < out.size(); ++k)
            worst = std::max(worst, std::abs(static_cast<double>(out[k]) - ideal[k]));
        EXPECT_LT(worst, 3.0) << hz << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, ResamplerRates,
                         ::testing::Values(Rates{48000, 8000}, Rates{44100, 8000},
                                           Rates{8000, 48000}, Rates{8000, 44100},
                                           Rates{16000, 8000}, Rates{8000, 8000},
                                           Rates{22050, 8000}, Rates{96000, 8000}),
                         [](const ::testing::TestParamInfo<Rates>& param_info) {
                             return std::to_string(param_info.param.in_hz) + "To" +
                                    std::to_string(param_info.param.out_hz);
                         });

// Anything that would fold back into the modem's band when a fast device is brought down to
// 8000 Hz is removed first.
TEST(Resampler, FrequenciesAboveTheNewNyquistDoNotFoldBack) {
    for (const uint32_t in_hz : {44100u, 48000u}) {
        for (const double hz : {4500.0, 6000.0, 9000.0, 15000.0}) {
            const std::vector<float> out = resample(in_hz, 8000, sine(hz, 10000.0, in_hz, in_hz));
            double peak = 0.0;
            for (size_t k = 400; k < out.size(); ++k)
                peak = std::max(peak, std::abs(static_cast<double>(out[k])));
            EXPECT_LT(peak, 10000.0 * 1e-3) << hz << " Hz from " << in_hz;
        }
    }
}

TEST(Resampler, BlocksOfAnySizeGiveTheSameOutputAsOneBlock) {
    const std::vector<float> in = sine(1234.0, 8000.0, 44100, 44100);
    const std::vector<float> whole = resample(44100, 8000, in);
    for (const size_t block : {1u, 7u, 441u, 4096u}) {
        Resampler r;
        ASSERT_TRUE(r.configure(44100, 8000));
        std::vector<float> pieces;
        for (size_t at = 0; at < in.size(); at += block) {
            const size_t n = std::min(block, in.size() - at);
            r.process(std::span<const float>(in.data() + at, n), pieces);
        }
        EXPECT_EQ(pieces, whole) << "blocks of " << block;
    }
}

TEST(Resampler, ResetForgetsWhatCameBefore) {
    Resampler r;
    ASSERT_TRUE(r.configure(48000, 8000));
    const std::vector<float> in = sine(700.0, 5000.0, 48000, 4800);
    std::vector<float> first;
    r.process(in, first);
    r.reset();
    std::vector<float> again;
    r.process(in, again);
    EXPECT_EQ(first, again);
}

TEST(Resampler, RefusesRatesOutsideItsRange) {
    Resampler r;
    EXPECT_FALSE(r.configure(0, 8000));
    EXPECT_FALSE(r.configure(8000, 0));
    EXPECT_FALSE(r.configure(8000, 10'000'000));
    std::vector<float> out;
    r.process(std::vector<float>(100, 1.0f), out);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace quavel
