// The band-activity receiver on stations from our own transmitter mixed into one stretch of
// audio: each found at its own frequency and speed and copied whole, lines cut where they
// should be, and noise or a carrier alone never taken for a station.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "receive_support.h"
#include "rx/band_receiver.h"
#include "rx/band_spectrum.h"

namespace quavel {
namespace {

using rxtest::Transmission;

constexpr double kNoiseSigma = 300.0;

struct Station {
    uint32_t speed;
    float centre_hz;
    double start_s;
    double snr_db; // in 2500 Hz, against kNoiseSigma
    const char* text;
};

// The stations' clean audio added at their starts, `tail_s` of quiet after the last, and white
// noise of kNoiseSigma over it all.
std::vector<int16_t> band_audio(const std::vector<Station>& stations, double tail_s,
                                uint64_t seed = 3) {
    std::vector<double> mix;
    for (const Station& s : stations) {
        Transmission t;
        t.text = s.text;
        t.speed_item = s.speed == 1 ? 0 : s.speed == 2 ? 1 : 2;
        t.centre_hz = s.centre_hz;
        const std::vector<int16_t> clean = rxtest::make_transmission(t);
        double power = 0.0;
        for (const int16_t v : clean)
            power += double(v) * v;
        power /= static_cast<double>(clean.size());
        // The noise in 2500 Hz is kNoiseSigma^2 * 2500 / 4000.
        const double gain =
            std::sqrt(std::pow(10.0, s.snr_db / 10.0) * kNoiseSigma * kNoiseSigma * 0.625 / power);
        const auto at = static_cast<std::size_t>(s.start_s * 8000.0);
        if (mix.size() < at + clean.size()) mix.resize(at + clean.size(), 0.0);
        for (std::size_t i = 0; i < clean.size(); ++i)
            mix[at + i] += gain * clean[i];
    }
    mix.resize(mix.size() + static_cast<std::size_t>(tail_s * 8000.0), 0.0);
    rxtest::NoiseSource noise(seed);
    std::vector<int16_t> out(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i)
        out[i] = static_cast<int16_t>(
            std::clamp(std::lround(mix[i] + kNoiseSigma * noise.gaussian()), -32767L, 32767L));
    return out;
}

struct Copied : BandListener {
    struct Line {
        double time_s;
        double freq_hz;
        uint32_t speed;
        std::string text;
    };
    void text(const BandStation& station, std::string_view text) override {
        printed[station.id] += text;
    }
    void line(const BandLine& line) override {
        lines.push_back(
            {line.time_s, line.station.freq_hz, line.station.speed, std::string(line.text)});
        by_station[line.station.id] += std::string(line.text);
    }
    std::vector<Line> lines;
    std::map<uint32_t, std::string> by_station; // the lines joined
    std::map<uint32_t, std::string> printed;    // every character as it came
};

Copied receive(std::span<const int16_t> audio) {
    auto band = std::make_unique<BandReceiver>();
    band->reset({});
    Copied copied;
    // In the console's capture blocks.
    for (std::size_t i = 0; i < audio.size(); i += 2048)
        band->push(audio.subspan(i, std::min<std::size_t>(2048, audio.size() - i)), copied);
    band->finish(copied);
    return copied;
}

TEST(BandReceiver, CopiesEveryStationWholeAtItsOwnFrequencyAndSpeed) {
    const std::vector<Station> stations = {
        {1, 600.0f, 2.0, 3.0, "CQ DE W1AW K"},
        {2, 1210.0f, 0.5, 0.0, "CQ CQ DE G4ABC G4ABC PSE K"},
        {4, 2450.0f, 6.0, 3.0, "QRZ DE DL1XYZ DL1XYZ K"},
    };
    const Copied copied = receive(band_audio(stations, 4.0));
    ASSERT_EQ(copied.by_station.size(), stations.size());
    for (const Station& s : stations) {
        const auto line = std::find_if(copied.lines.begin(), copied.lines.end(), [&](auto& l) {
            return std::abs(l.freq_hz - s.centre_hz) < 2.0;
        });
        ASSERT_NE(line, copied.lines.end()) << s.centre_hz;
        EXPECT_EQ(line->speed, s.speed) << s.centre_hz;
        EXPECT_EQ(line->text, s.text) << s.centre_hz;
    }
    for (const auto& [id, text] : copied.by_station)
        EXPECT_EQ(copied.printed.at(id), text);
}

TEST(BandReceiver, CutsALineAtSixtyCharactersAndWhereTheSenderPauses) {
    const std::string first =
        "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 PACK MY BOX WITH";
    const Copied copied = receive(
        band_audio({{4, 1500.0f, 1.0, 5.0, first.c_str()}, {4, 1500.0f, 34.0, 5.0, "K"}}, 2.0));
    ASSERT_EQ(copied.lines.size(), 3u);
    EXPECT_EQ(copied.lines[0].text, first.substr(0, 60));
    EXPECT_EQ(copied.lines[1].text, first.substr(60));
    EXPECT_EQ(copied.lines[2].text, "K");
    // The second line ended with its last character, before the pause that ended it.
    EXPECT_LT(copied.lines[1].time_s, 31.0);
    EXPECT_GT(copied.lines[2].time_s, 34.0);
}

TEST(BandReceiver, NoiseOrACarrierAloneIsNoStation) {
    std::vector<int16_t> audio = band_audio({}, 60.0, 11);
    EXPECT_TRUE(receive(audio).lines.empty());
    // A carrier 20 dB above the noise in 2500 Hz, between the tones of a place a station might
    // use and on one of them.
    for (const double hz : {1003.0, 1996.0}) {
        std::vector<int16_t> with = audio;
        const double amplitude = std::sqrt(2.0 * 100.0 * kNoiseSigma * kNoiseSigma * 0.625);
        for (std::size_t i = 0; i < with.size(); ++i)
            with[i] = static_cast<int16_t>(std::clamp(
                std::lround(with[i] +
                            amplitude * std::sin(2.0 * std::numbers::pi * hz * i / 8000.0)),
                -32767L, 32767L));
        EXPECT_TRUE(receive(with).lines.empty()) << hz;
    }
}

TEST(BandSpectrum, FloorReadsTheNoiseAndAStationStandsOutAtItsCentre) {
    BandSpectrum spectrum;
    spectrum.reset(200.0, 2800.0);
    const std::vector<int16_t> noise = band_audio({}, 40.0, 5);
    spectrum.push(noise);
    const double variance = kNoiseSigma * kNoiseSigma / (32768.0 * 32768.0);
    for (const double hz : {300.0, 1500.0, 2700.0})
        EXPECT_NEAR(spectrum.floor()[static_cast<std::size_t>(hz / BandSpectrum::kBinHz)] /
                        variance,
                    1.0, 0.1)
            << hz;
    EXPECT_EQ(spectrum.strongest(0.2, {}).excess, 0.0);

    for (const uint32_t speed : {1u, 2u, 4u}) {
        spectrum.reset(200.0, 2800.0);
        spectrum.push(band_audio({{speed, 1337.0f, 0.0, -5.0, "CQ CQ DE G4ABC G4ABC K"}}, 0.0));
        const BandSpectrum::Peak peak = spectrum.strongest(0.2, {});
        EXPECT_NEAR(peak.centre_hz, 1337.0, 2.0) << speed;
        EXPECT_GT(peak.excess, 1.0) << speed;
    }
}

} // namespace
} // namespace quavel
