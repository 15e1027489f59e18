// The modem's shared state: the speed profile, the tuning, the transmit bank and the test bank,
// with the two operations that change them: the speed-profile initialisation and set centre
// frequency. What the receiver, the transmitter and the window must do when they run is reached
// through ProfileListener, so this layer knows nothing of them.
#pragma once

#include <cstdint>

#include "modem/speed_profile.h"
#include "modem/synthesis.h"
#include "modem/tuning.h"

namespace quavel {

class ProfileListener {
public:
    virtual ~ProfileListener() = default;
    // Before anything is rebuilt: stop capture (only when capture is open).
    virtual void before_profile_change() {}
    // The profile tables are rebuilt: reset the capture ring and pending list, switch AFC,
    // auto-sync and printing on, clear the transmitting flag, paint the scope and spectrum
    // black and re-read the waterfall sensitivity.
    virtual void profile_rebuilt(const SpeedProfile&) {}
    // The centre frequency was set (also from the initialisation): rebuild the Morse
    // identification audio at the new frequency.
    virtual void retuned(const Tuning&) {}
    // Everything is rebuilt: clear the tune flag and playback flags, the data-arrived flag,
    // enable "Tx ON" and restart capture (only when capture is open).
    virtual void after_profile_change() {}
};

struct Modem {
    SpeedProfile profile;
    Tuning tuning;
    SymbolBank transmit_bank;     // row 0 (idle) always current; other rows built just before use
    SymbolBank test_bank;         // all rows at 900 Hz for the current profile
    bool first_activation = true; // the next initialisation tunes to 1000 Hz

    Modem() { tuning = tuning_for(kDefaultCentreHz); }

    // Speed-profile initialisation for `speed`.
    void initialise_profile(Speed speed, ProfileListener& listener, int waterfall_width = 320,
                            int waterfall_height = 20);

    // The tuning `hz` would give at the current profile: clamped to the centre-frequency range,
    // with its edges and markers. Changes nothing.
    Tuning tuning_for(long long hz) const {
        return compute_tuning(profile.speed, profile.N, clamp_centre_hz(hz));
    }

    // The same up to kAirCentreMaxHz (compute_air_tuning): beyond kCentreMaxHz the classic
    // part stays there and the transmitter goes to the station.
    Tuning air_tuning_for(long long hz) const {
        return compute_air_tuning(profile.speed, profile.N, clamp_air_centre_hz(hz));
    }

    // Tunes to tuning_for(hz), rebuilds the idle row and tells the listener. Returns the
    // frequency set.
    CentreHz set_centre_frequency(long long hz, ProfileListener& listener);
    // Tunes to air_tuning_for(hz) likewise. Returns where the transmitter now sends.
    CentreHz set_air_centre_frequency(long long hz, ProfileListener& listener);
    // A receiver's AFC move (ReceiveStep::retune): beyond kCentreMaxHz only a receiver tuned
    // there returns one, and the classic part stays held.
    CentreHz apply_retune(CentreHz hz, ProfileListener& listener) {
        return hz > kCentreMaxHz ? set_air_centre_frequency(hz, listener)
                                 : set_centre_frequency(hz, listener);
    }

    // Builds transmit-bank row s - 1 at the current centre frequency and returns its first N
    // samples; the idle symbol's row is returned as it stands.
    std::span<const int16_t> transmit_row(uint32_t symbol);

private:
    void tune(const Tuning& to, ProfileListener& listener);
};

} // namespace quavel
