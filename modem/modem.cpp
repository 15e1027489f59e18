#include "modem/modem.h"

namespace quavel {

void Modem::initialise_profile(Speed speed, ProfileListener& listener, int waterfall_width,
                               int waterfall_height) {
    listener.before_profile_change();
    build_speed_profile(profile, speed, waterfall_width, waterfall_height);
    listener.profile_rebuilt(profile);
    if (first_activation) {
        first_activation = false;
        set_centre_frequency(kDefaultCentreHz, listener);
    } else if (tuning.air_hz > kCentreMaxHz) {
        set_air_centre_frequency(tuning.air_hz, listener);
    } else {
        set_centre_frequency(tuning.centre_hz, listener);
    }
    build_test_bank(test_bank, profile);
    listener.after_profile_change();
}

CentreHz Modem::set_centre_frequency(long long hz, ProfileListener& listener) {
    tune(tuning_for(hz), listener);
    return tuning.centre_hz;
}

CentreHz Modem::set_air_centre_frequency(long long hz, ProfileListener& listener) {
    tune(air_tuning_for(hz), listener);
    return tuning.air_hz;
}

void Modem::tune(const Tuning& to, ProfileListener& listener) {
    tuning = to;
    synthesise_symbol(transmit_bank.row(0), kIdleSymbol, tuning.air_hz, profile);
    listener.retuned(tuning);
}

std::span<const int16_t> Modem::transmit_row(uint32_t symbol) {
    auto row = transmit_bank.row(symbol - 1);
    if (symbol != kIdleSymbol) {
        synthesise_symbol(row, symbol, tuning.air_hz, profile);
    }
    return std::span<const int16_t>(row.data(), profile.N);
}

} // namespace quavel
