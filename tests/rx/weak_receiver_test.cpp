// The weak-signal receiver on signals from our own transmitter: no slips at any start, the
// acquisition range, the squelch, and its building blocks against direct computation.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "modem/speed_profile.h"
#include "receive_support.h"
#include "rx/weak_fft.h"
#include "rx/weak_front_end.h"
#include "rx/weak_receiver.h"
#include "weak_support.h"

namespace quavel {
namespace {

using rxtest::Transmission;

constexpr std::string_view kText = "CQ DE G4ABC = K";

// The noise that puts a transmission at `snr_db` in 2500 Hz, from its clean power.
double sigma_for(Transmission t, double snr_db) {
    t.noise_sigma = 0.0;
    const std::vector<int16_t> clean = rxtest::make_transmission(t);
    double power = 0.0;
    for (const int16_t v : clean)
        power += double(v) * v;
    power /= static_cast<double>(clean.size());
    return std::sqrt(power / std::pow(10.0, snr_db / 10.0) * 4000.0 / 2500.0);
}

Transmission transmission(uint32_t speed, double snr_db, uint32_t offset, float centre_hz = 1000,
                          uint64_t seed = 7) {
    Transmission t;
    t.text = kText;
    t.speed_item = speed == 1 ? 0 : speed == 2 ? 1 : 2;
    t.centre_hz = centre_hz;
    t.offset_samples = offset;
    t.seed = seed;
    t.noise_sigma = sigma_for(t, snr_db);
    return t;
}

struct SpeedCase {
    uint32_t speed;
};

class WeakAtSpeed : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WeakAtSpeed, CopiesAtEveryStartWithinASymbolWithoutSlips) {
    const uint32_t speed = GetParam();
    const uint32_t N = kMaxSymbolSamples * 1 / speed;
    for (uint32_t k = 0; k < 16; ++k) {
        const uint32_t offset = k * N / 16 + 37;
        const auto audio =
            rxtest::make_transmission(transmission(speed, 10.0, offset, 1000, k + 1));
        const auto copy = rxtest::weak_copy(audio, {speed, 1000, true});
        EXPECT_EQ(copy.text, kText) << "start " << offset << " samples";
    }
}

// After a second and a half of noise alone, where the search may already have locked on nothing
// (at 2 Quavel/sec just as the signal comes up): the first character is copied and nothing is
// printed before it, at every start over a symbol.
TEST_P(WeakAtSpeed, CopiesFromTheFirstCharacterAfterNoise) {
    const uint32_t speed = GetParam();
    const uint32_t N = kMaxSymbolSamples / speed;
    for (const double snr_db : {10.0, 0.0}) {
        for (uint32_t k = 0; k < 16; ++k) {
            const uint32_t offset = 12000 + (k * 5 % 16) * N / 16 + 11;
            const auto audio =
                rxtest::make_transmission(transmission(speed, snr_db, offset, 1000, 100 + k));
            const auto copy = rxtest::weak_copy(audio, {speed, 1000, true});
            EXPECT_TRUE(copy.text.starts_with(kText)) << snr_db << " dB, start " << offset;
        }
    }
}

// The SNR it reads of the signal it copies, and none of noise alone.
TEST_P(WeakAtSpeed, ReadsTheSignalsSnrAndNoneOnNoise) {
    const uint32_t speed = GetParam();
    for (const double snr_db : {-5.0, 15.0}) {
        const auto audio = rxtest::make_transmission(transmission(speed, snr_db, 1000, 1000, 9));
        auto weak = std::make_unique<WeakReceiver>();
        weak->reset({speed, 1000, true});
        std::array<uint8_t, 8> out{};
        std::optional<double> read;
        for (std::size_t at = 0; at < audio.size(); at += 2048) {
            weak->push(std::span(audio).subspan(at, std::min<std::size_t>(2048, audio.size() - at)),
                       out);
            if (const auto snr = weak->snr_db()) read = snr;
        }
        ASSERT_TRUE(read.has_value()) << snr_db << " dB";
        EXPECT_NEAR(*read, snr_db, 1.5) << snr_db << " dB";
    }
    auto weak = std::make_unique<WeakReceiver>();
    weak->reset({speed, 1000, true});
    const auto noise = rxtest::noise_only(30.0, 300.0, 5);
    std::array<uint8_t, 8> out{};
    bool read = false;
    for (std::size_t at = 0; at + 2048 <= noise.size(); at += 2048) {
        weak->push(std::span(noise).subspan(at, 2048), out);
        read = read || weak->snr_db().has_value();
    }
    EXPECT_FALSE(read);
}

TEST_P(WeakAtSpeed, FindsASignalTwentyHertzEitherSideAndFollowsIt) {
    const uint32_t speed = GetParam();
    for (const float off : {-20.0f, -11.0f, 6.5f, 20.0f}) {
        const auto audio =
            rxtest::make_transmission(transmission(speed, 0.0, 1000, 1000.0f + off, 3));
        const auto copy = rxtest::weak_copy(audio, {speed, 1000, true});
        // The idle symbols before the text leave time to lock; the text must come through.
        EXPECT_EQ(copy.text, kText) << off << " Hz";
        EXPECT_NEAR(copy.frequency_hz, 1000.0 + off, 0.5) << off << " Hz";
    }
}

TEST_P(WeakAtSpeed, SquelchKeepsNoiseOutAndLetsATransmissionIn) {
    const uint32_t speed = GetParam();
    const auto noise = rxtest::noise_only(120.0, 3000.0, 11);
    const auto quiet = rxtest::weak_copy(noise, {speed, 1000, true});
    EXPECT_LE(quiet.text.size(), 2u) << quiet.text;
    EXPECT_FALSE(quiet.locked_at_end);
    const auto open = rxtest::weak_copy(noise, {speed, 1000, false});
    EXPECT_GT(open.text.size(), 10u) << "with the squelch off, noise prints";

    // Noise first, then the transmission (starting between two blocks) in the same noise.
    auto audio = rxtest::noise_only(20.0, 0.0, 1);
    Transmission t = transmission(speed, 0.0, 777, 1000, 5);
    const auto signal = rxtest::make_transmission(t);
    audio.insert(audio.end(), signal.begin(), signal.end());
    rxtest::NoiseSource extra(9);
    for (std::size_t i = 0; i < 20 * kSampleRateHz; ++i)
        audio[i] = static_cast<int16_t>(std::lround(t.noise_sigma * extra.gaussian()));
    // Copied from within the acquisition time (8 symbols: the 4 idle ones and the first few of
    // the text), and nothing before the transmission.
    const auto copy = rxtest::weak_copy(audio, {speed, 1000, true});
    EXPECT_TRUE(copy.text.ends_with(kText.substr(2))) << copy.text;
    EXPECT_LE(copy.text.size(), kText.size() + 4) << copy.text;
}

// A weak steady carrier near the tones, alone in the noise, reads as one symbol over and over
// until the canceller takes it out: that is never taken for a station, whose symbols change.
TEST_P(WeakAtSpeed, AWeakCarrierAloneIsNotCopied) {
    const uint32_t speed = GetParam();
    for (const double hz : {1040.0, 960.0}) {
        for (const double amplitude : {150.0, 300.0}) {
            auto audio = rxtest::noise_only(60.0, 1000.0, 3);
            for (std::size_t i = 0; i < audio.size(); ++i)
                audio[i] = static_cast<int16_t>(std::lround(
                    audio[i] + amplitude * std::cos(2.0 * std::numbers::pi * hz * i / 8000)));
            const auto copy = rxtest::weak_copy(audio, {speed, 1000, true});
            EXPECT_EQ(copy.text, "") << hz << " Hz, " << amplitude;
        }
    }
}

// A strong carrier beyond the tones (19 dB above the noise in 2500 Hz) leaks into the short
// part-symbol correlations: it is taken out before it can open the squelch.
TEST_P(WeakAtSpeed, AStrongCarrierBeyondTheTonesPrintsNothing) {
    const uint32_t speed = GetParam();
    for (const double hz : {1150.0, 880.0}) {
        auto audio = rxtest::noise_only(20.0, 1000.0, 4);
        for (std::size_t i = 0; i < audio.size(); ++i)
            audio[i] = static_cast<int16_t>(
                std::lround(audio[i] + 10000.0 * std::cos(2.0 * std::numbers::pi * hz * i / 8000)));
        EXPECT_EQ(rxtest::weak_copy(audio, {speed, 1000, true}).text, "") << hz << " Hz";
    }
}

TEST_P(WeakAtSpeed, FollowsASampleClockAThousandPpmOffEitherWay) {
    // Through the channel simulator: the clock error moves the symbol boundary by a thousandth
    // of a symbol per symbol and the tones by 1 Hz.
    // A long text, so that the boundary moves by a good part of a symbol.
    const uint32_t speed = GetParam();
    const std::string text = std::string(kText) + " " + std::string(kText) + " " +
                             std::string(kText) + " " + std::string(kText) + " " +
                             std::string(kText) + " " + std::string(kText);
    Transmission t = transmission(speed, 10.0, 1500);
    t.text = text;
    t.noise_sigma = 0.0;
    const auto clean = rxtest::make_transmission(t);
    for (const double ppm : {-1000.0, 1000.0}) {
        channel::ChannelParams params;
        params.clock_ppm = ppm;
        params.snr_db = 10.0;
        params.seed = 21;
        const auto out = channel::apply_channel(std::span<const int16_t>(clean), params);
        ASSERT_TRUE(out.ok()) << out.error;
        const auto copy = rxtest::weak_copy(out.samples, {speed, 1000, true});
        EXPECT_EQ(copy.text, text) << ppm << " ppm";
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, WeakAtSpeed, ::testing::Values(1u, 2u, 4u),
                         [](const auto& param_info) {
                             return "Speed" + std::to_string(param_info.param);
                         });

// A strong signal may send one tone often enough to pass for a steady carrier for a while;
// taken out, the lock went with it and characters were lost.
TEST(WeakReceiver, AStrongSignalsOwnToneIsNeverTakenForACarrier) {
    for (const double snr_db : {20.0, 30.0}) {
        Transmission t = transmission(2, snr_db, 0, 1300);
        t.text = "CQ CQ DE G4ABC G4ABC K";
        t.noise_sigma = sigma_for(t, snr_db);
        const auto copy = rxtest::weak_copy(rxtest::make_transmission(t), {.centre_hz = 1300});
        EXPECT_EQ(copy.text, t.text) << snr_db << " dB";
    }
}

TEST(WeakReceiver, AFewHertzOfRetuneOntoTheSignalKeepsTheLockAndAFarOneSearchesAgain) {
    const auto audio = rxtest::make_transmission(transmission(4, 10.0, 0, 1003.0f));
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({4, 1000, true});
    std::array<uint8_t, 8> out{};
    const std::size_t half = audio.size() / 2;
    rx->push(std::span(audio).first(half), out);
    ASSERT_TRUE(rx->locked());
    rx->retune(1003);
    EXPECT_TRUE(rx->locked());
    EXPECT_NEAR(rx->frequency_hz(), 1003.0, 0.3);
    rx->retune(1060);
    EXPECT_FALSE(rx->locked());
}

TEST(WeakReceiver, TakesTheToneByToneModelWhereASecondPathPartsThePairsAndOnlyThere) {
    // A fixed second path 2 ms late, 2 dB down: across the 128 Hz of the tone set at
    // 4 Quavel/sec the tones of a pair come out turned against each other and unequal (and the
    // middle tone 14 dB down). The locked model must stay where the channel keeps the pairs
    // whole, at both levels.
    const std::string text = std::string(kText) + " " + std::string(kText) + " " +
                             std::string(kText) + " " + std::string(kText);
    struct Case {
        double second_path;
        double snr_db;
        WeakModel model;
    };
    for (const Case c :
         {Case{0.0, 10.0, WeakModel::Locked}, Case{0.0, -10.0, WeakModel::Locked},
          Case{-0.8, 10.0, WeakModel::ToneByTone}, Case{-0.8, 0.0, WeakModel::ToneByTone}}) {
        Transmission t = transmission(4, c.snr_db, 300);
        t.text = text;
        const auto audio = rxtest::make_transmission(t);
        constexpr std::size_t kDelay = 16; // 2 ms
        std::vector<int16_t> received(audio.size());
        for (std::size_t i = 0; i < audio.size(); ++i) {
            const double late = i >= kDelay ? double(audio[i - kDelay]) : 0.0;
            received[i] = static_cast<int16_t>(std::lround(audio[i] + c.second_path * late));
        }
        auto rx = std::make_unique<WeakReceiver>();
        rx->reset({4, 1000, true});
        std::array<uint8_t, 8> out{};
        const std::span<const int16_t> all(received);
        for (std::size_t at = 0; at < all.size(); at += kCaptureBlockSamples) {
            rx->push(all.subspan(at, std::min<std::size_t>(kCaptureBlockSamples, all.size() - at)),
                     out);
        }
        EXPECT_EQ(rx->model(), c.model) << c.second_path << ", " << c.snr_db << " dB";
    }
}

TEST(WeakReceiver, NeverWritesBeyondItsOutputAndTakesAnyInput) {
    const auto audio = rxtest::make_transmission(transmission(4, 20.0, 0));
    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({3, 1000, false}); // no such speed: taken as 2
    std::array<uint8_t, 3> out{};
    EXPECT_LE(rx->push(audio, out), out.size());
    EXPECT_EQ(rx->push({}, out), 0u);
    EXPECT_EQ(rx->push(audio, std::span<uint8_t>()), 0u);
    const std::vector<int16_t> loud(20000, 32767);
    rx->push(loud, out);
    EXPECT_TRUE(std::isfinite(rx->frequency_hz()));
}

TEST(WeakFrontEnd, PassesTheToneBandAndStopsWhatWouldFoldOntoIt) {
    auto baseband_amplitude = [](double offset_hz) {
        WeakFrontEnd fe;
        fe.reset(1000.0);
        std::vector<int16_t> tone(16000);
        for (std::size_t n = 0; n < tone.size(); ++n)
            tone[n] = static_cast<int16_t>(
                std::lround(10000.0 * std::cos(2.0 * std::numbers::pi * (1000.0 + offset_hz) *
                                               static_cast<double>(n) / 8000.0)));
        std::vector<std::complex<float>> out(tone.size() / 16 + 1);
        const std::size_t made = fe.push(tone, out);
        double peak = 0.0;
        for (std::size_t i = made / 2; i < made; ++i)
            peak = std::max(peak, double(std::abs(out[i])));
        return peak;
    };
    // A real tone of amplitude A mixes to A / 2.
    for (const double hz : {0.0, -64.0, 95.0})
        EXPECT_NEAR(baseband_amplitude(hz), 5000.0, 50.0) << hz << " Hz";
    for (const double hz : {400.0, -420.0, 900.0})
        EXPECT_LT(baseband_amplitude(hz), 5000.0 * 3.2e-4) << hz << " Hz"; // 70 dB down
}

TEST(WeakFft, MatchesTheDirectSum) {
    std::vector<std::complex<float>> x(64);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = {static_cast<float>(std::sin(0.3 * n * n)), static_cast<float>(std::cos(1.7 * n))};
    std::vector<std::complex<float>> y = x;
    WeakFft fft;
    fft.forward(y);
    for (std::size_t k = 0; k < x.size(); ++k) {
        std::complex<double> sum;
        for (std::size_t n = 0; n < x.size(); ++n)
            sum += std::complex<double>(x[n]) *
                   std::polar(1.0, -2.0 * std::numbers::pi * double(k * n) / double(x.size()));
        EXPECT_LT(std::abs(sum - std::complex<double>(y[k])), 1e-4) << "bin " << k;
    }
}

} // namespace
} // namespace quavel
