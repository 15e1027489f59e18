// Tuning beyond the classic receiver's range: the transmitter goes to the station, the classic
// part stays at the top of its range, and within the range nothing differs from before.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "modem/modem.h"

namespace quavel {
namespace {

struct Retunes : ProfileListener {
    void retuned(const Tuning& t) override { heard.push_back(t); }
    std::vector<Tuning> heard;
};

void expect_same_classic_part(const Tuning& a, const Tuning& b) {
    EXPECT_EQ(a.centre_hz, b.centre_hz);
    EXPECT_EQ(a.band_low, b.band_low);
    EXPECT_EQ(a.band_high, b.band_high);
    EXPECT_EQ(a.half_band_low, b.half_band_low);
    EXPECT_EQ(a.half_band_high, b.half_band_high);
    EXPECT_EQ(a.marker_low, b.marker_low);
    EXPECT_EQ(a.marker_high, b.marker_high);
    EXPECT_EQ(a.marker_centre, b.marker_centre);
}

TEST(AirTuning, WithinTheCentreRangeItIsTheTuningValueForValue) {
    for (const Speed speed : kSpeeds) {
        Modem modem;
        Retunes listener;
        modem.initialise_profile(speed, listener);
        for (const long long hz : {100LL, 523LL, 1000LL, 1777LL, 1900LL}) {
            const Tuning air = modem.air_tuning_for(hz);
            const Tuning classic = modem.tuning_for(hz);
            expect_same_classic_part(air, classic);
            EXPECT_EQ(air.air_hz, classic.centre_hz);
            EXPECT_EQ(air.tune_phase_step, classic.tune_phase_step);
        }
    }
}

TEST(AirTuning, BeyondItTheTransmitterGoesAndTheClassicPartStaysAtTheTop) {
    Modem modem;
    Retunes listener;
    modem.initialise_profile(Speed::Four, listener);
    EXPECT_EQ(modem.set_air_centre_frequency(2400, listener), 2400u);
    expect_same_classic_part(modem.tuning, modem.tuning_for(kCentreMaxHz));
    EXPECT_EQ(listener.heard.back().air_hz, 2400u);
    EXPECT_EQ(modem.tuning.tune_phase_step, compute_tuning(4, 2048, 2400).tune_phase_step);
    // Every symbol, the idle row too, as synthesised at the station's frequency.
    std::array<int16_t, kMaxSymbolSamples> expected{};
    for (const uint32_t symbol : {kIdleSymbol, 6u, 23u, 45u}) {
        synthesise_symbol(expected, symbol, CentreHz{2400}, modem.profile);
        const std::span<const int16_t> row = modem.transmit_row(symbol);
        EXPECT_TRUE(std::equal(row.begin(), row.end(), expected.begin())) << symbol;
    }
    // A speed change keeps it there; an AFC move below the top comes back to the classic range.
    modem.initialise_profile(Speed::Two, listener);
    EXPECT_EQ(modem.tuning.air_hz, 2400u);
    EXPECT_EQ(modem.apply_retune(2410, listener), 2410u);
    EXPECT_EQ(modem.tuning.centre_hz, kCentreMaxHz);
    EXPECT_EQ(modem.apply_retune(1899, listener), 1899u);
    EXPECT_EQ(modem.tuning.air_hz, 1899u);
    EXPECT_EQ(modem.set_air_centre_frequency(5000, listener), kAirCentreMaxHz);
}

} // namespace
} // namespace quavel
