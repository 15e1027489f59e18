#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/qt/pcm_converter.h"

namespace quavel {
namespace {

template <typename T> std::vector<std::byte> bytes_of(const std::vector<T>& v) {
    std::vector<std::byte> b(v.size() * sizeof(T));
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

template <typename T> std::vector<T> values_of(const std::vector<std::byte>& b) {
    std::vector<T> v(b.size() / sizeof(T));
    std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
    return v;
}

TEST(PcmConverter, SameFormatPassesBytesThroughAndKeepsPartFramesForTheNextCall) {
    PcmConverter c;
    ASSERT_TRUE(c.configure(kModemPcm, kModemPcm));
    EXPECT_TRUE(c.passthrough());
    const std::vector<int16_t> samples{1, -2, 300, -32768, 32767};
    const std::vector<std::byte> in = bytes_of(samples);
    std::vector<std::byte> out;
    // Split in the middle of a sample.
    c.convert(std::span(in).first(3), out);
    EXPECT_EQ(out.size(), 2u);
    c.convert(std::span(in).subspan(3), out);
    EXPECT_EQ(values_of<int16_t>(out), samples);
}

TEST(PcmConverter, ChannelsAreMixedDownToTheirMean) {
    PcmConverter c;
    ASSERT_TRUE(c.configure({8000, 2, PcmEncoding::Float32}, kModemPcm));
    // Left 0.5, right 0.25 of full scale; then left -1, right 0.
    const std::vector<float> frames{0.5f, 0.25f, -1.0f, 0.0f};
    std::vector<std::byte> out;
    c.convert(bytes_of(frames), out);
    EXPECT_EQ(values_of<int16_t>(out), (std::vector<int16_t>{12288, -16384}));
}

TEST(PcmConverter, OneChannelIsCopiedToEveryOutputChannel) {
    PcmConverter c;
    ASSERT_TRUE(c.configure(kModemPcm, {8000, 3, PcmEncoding::Int16}));
    std::vector<std::byte> out;
    c.convert(bytes_of(std::vector<int16_t>{7, -9}), out);
    EXPECT_EQ(values_of<int16_t>(out), (std::vector<int16_t>{7, 7, 7, -9, -9, -9}));
}

struct EncodingCase {
    const char* name;
    PcmEncoding encoding;
    int tolerance; // in 16-bit units, after a round trip (8 bits lose the top step as well)
    friend void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }
};

class PcmEncodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(PcmEncodings, RoundTripThroughTheEncodingKeepsTheSamples) {
    const PcmFormat device{8000, 1, GetParam().encoding};
    PcmConverter out_conv;
    PcmConverter in_conv;
    ASSERT_TRUE(out_conv.configure(kModemPcm, device));
    ASSERT_TRUE(in_conv.configure(device, kModemPcm));
    const std::vector<int16_t> samples{0, 1, -1, 1000, -1000, 12345, 32767, -32768};
    std::vector<std::byte> encoded;
    out_conv.convert(bytes_of(samples), encoded);
    EXPECT_EQ(encoded.size(), samples.size() * device.bytes_per_sample());
    std::vector<std::byte> decoded;
    in_conv.convert(encoded, decoded);
    const std::vector<int16_t> back = values_of<int16_t>(decoded);
    ASSERT_EQ(back.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_NEAR(back[i], samples[i], GetParam().tolerance) << i;
}

INSTANTIATE_TEST_SUITE_P(Encodings, PcmEncodings,
                         ::testing::Values(EncodingCase{"UInt8", PcmEncoding::UInt8, 255},
                                           EncodingCase{"Int16", PcmEncoding::Int16, 0},
                                           EncodingCase{"Int32", PcmEncoding::Int32, 0},
                                           EncodingCase{"Float32", PcmEncoding::Float32, 0}),
                         [](const ::testing::TestParamInfo<EncodingCase>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(PcmConverter, OutOfRangeAndNonFiniteSamplesAreClampedOrSilenced) {
    PcmConverter c;
    ASSERT_TRUE(c.configure({8000, 1, PcmEncoding::Float32}, kModemPcm));
    const std::vector<float> in{1.5f, -1.5f, std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity()};
    std::vector<std::byte> out;
    c.convert(bytes_of(in), out);
    EXPECT_EQ(values_of<int16_t>(out), (std::vector<int16_t>{32767, -32768, 0, 0}));
}

TEST(PcmConverter, RateChangeGoesThroughTheResampler) {
    PcmConverter c;
    ASSERT_TRUE(c.configure({48000, 2, PcmEncoding::Int16}, kModemPcm));
    std::vector<int16_t> stereo(48000 * 2);
    for (size_t n = 0; n < 48000; ++n)
        stereo[2 * n] = stereo[2 * n + 1] =
            static_cast<int16_t>(std::lround(10000.0 * std::sin(2.0 * M_PI * 1000.0 * n / 48000)));
    std::vector<std::byte> out;
    c.convert(bytes_of(stereo), out);
    const std::vector<int16_t> mono = values_of<int16_t>(out);
    ASSERT_GT(mono.size(), 7900u);
    for (size_t k = 400; k < mono.size(); ++k)
        ASSERT_NEAR(mono[k], 10000.0 * std::sin(2.0 * M_PI * 1000.0 * k / 8000), 4.0) << k;
}

TEST(PcmConverter, RefusesFormatsItCannotHandle) {
    PcmConverter c;
    EXPECT_FALSE(c.configure({8000, 0, PcmEncoding::Int16}, kModemPcm));
    EXPECT_FALSE(c.configure(kModemPcm, {8000, 33, PcmEncoding::Int16}));
    EXPECT_FALSE(c.configure({0, 1, PcmEncoding::Int16}, kModemPcm));
    std::vector<std::byte> out;
    c.convert(bytes_of(std::vector<int16_t>{1, 2}), out);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace quavel
