// Tuning: the centre frequency (tone 5) and what follows from it for the receiver and the
// displays. Band edges are 1-based float indices into an interleaved complex spectrum of N
// points at 4000 samples per second: the real part of point k sits at 2k+1 and the imaginary
// part at 2k+2, so a lower edge is always odd and an upper edge always even, and [L, U] covers
// whole points.
#pragma once

#include <cstdint>

#include "modem/code_table.h"

namespace quavel {

// The centre frequency (tone 5) in whole hertz: the one type the tuning, the receiver, the
// transmitter and the displays hold it in. Arithmetic that needs it as float or double (the
// synthesis, the weak-signal receiver's mixer) converts at the point of use.
using CentreHz = uint32_t;

// The one range of centre frequencies every caller (command line, waterfall click, AFC) is held
// to. It holds the waterfall's whole span (802..1112 Hz) and keeps the receive passband
// (centre +/- 36 Hz, +/- 72 Hz at speed 4) well inside 0..2000 Hz, where the band edges and the
// decimation to 4000 samples per second are meaningful.
inline constexpr CentreHz kCentreMinHz = 100;
inline constexpr CentreHz kCentreMaxHz = 1900;
inline constexpr CentreHz kDefaultCentreHz = 1000;
// Beyond kCentreMaxHz only the transmitter and the weak-signal receiver follow a station (up to
// here, the top of the band-activity stretch); the classic receiver and its displays stay at
// kCentreMaxHz (see Tuning::air_hz).
inline constexpr CentreHz kAirCentreMaxHz = 2800;

constexpr bool centre_in_range(long long hz) {
    return hz >= kCentreMinHz && hz <= kCentreMaxHz;
}
constexpr CentreHz clamp_centre_hz(long long hz) {
    return hz < kCentreMinHz ? kCentreMinHz
                             : (hz > kCentreMaxHz ? kCentreMaxHz : static_cast<CentreHz>(hz));
}
constexpr CentreHz clamp_air_centre_hz(long long hz) {
    return hz < kCentreMinHz ? kCentreMinHz
                             : (hz > kAirCentreMaxHz ? kAirCentreMaxHz : static_cast<CentreHz>(hz));
}

struct Tuning {
    CentreHz centre_hz = kDefaultCentreHz;
    uint32_t band_low = 0;       // L (odd)
    uint32_t band_high = 0;      // U (even)
    uint32_t half_band_low = 0;  // Lh (odd), the same edge for N/2 points
    uint32_t half_band_high = 0; // Uh (even)
    // Waterfall columns counted from 1 of the lower edge, upper edge and centre; computed in
    // unsigned arithmetic, so a frequency below 800 Hz gives a column far beyond the image.
    uint32_t marker_low = 0;
    uint32_t marker_high = 0;
    uint32_t marker_centre = 0;
    float tune_phase_step = 0.0f; // radians per sample of the tune carrier
    // Where the transmitter sends (symbols, identification, tune carrier) and the weak-signal
    // receiver copies: the centre, unless tuned beyond kCentreMaxHz (air_tuning below), where
    // the classic receiver's band and the displays stay at kCentreMaxHz.
    CentreHz air_hz = kDefaultCentreHz;
};

// Band half-width in Hz of a speed value: half a spacing beyond the outer tones, four spacings
// from the centre (72 at speed 4, else 36).
constexpr uint32_t band_half_width_hz(uint32_t speed) {
    return tone_spacing_hz(speed) * 9u / 2u;
}
static_assert(band_half_width_hz(1) == 36 && band_half_width_hz(2) == 36 &&
              band_half_width_hz(4) == 72);

// The tuning values for a centre frequency at speed value `speed` with analysis length N.
// The centre is taken as given (callers clamp it to the range above first).
Tuning compute_tuning(uint32_t speed, uint32_t N, CentreHz centre_hz);
// The same for a station up to kAirCentreMaxHz: the classic part held at kCentreMaxHz, the
// transmitter's (air_hz, the tune carrier's step) at `air_hz`. Within the centre range it is
// compute_tuning's, value for value.
Tuning compute_air_tuning(uint32_t speed, uint32_t N, CentreHz air_hz);

// Waterfall column (counted from 1) of a frequency, in unsigned 32-bit arithmetic.
constexpr uint32_t waterfall_marker(uint32_t f_hz) {
    return ((f_hz - 800u) * 320u) / 311u;
}

} // namespace quavel
