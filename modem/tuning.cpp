#include "modem/tuning.h"

#include "modem/angles.h"

namespace quavel {

namespace {

struct Edge {
    uint32_t full;
    uint32_t half;
};

Edge lower_edge(uint32_t f, uint32_t N) {
    Edge e{(f * N) / 2000u, ((f * N) / 2u) / 2000u};
    if (e.full % 2 == 0) --e.full;
    if (e.half % 2 == 0) --e.half;
    return e;
}

Edge upper_edge(uint32_t f, uint32_t N) {
    Edge e{(f * N) / 2000u, ((f * N) / 2u) / 2000u};
    if (e.full % 2 == 1) ++e.full;
    if (e.half % 2 == 1) ++e.half;
    return e;
}

} // namespace

Tuning compute_tuning(uint32_t speed, uint32_t N, CentreHz centre_hz) {
    Tuning t;
    t.centre_hz = centre_hz;
    const uint32_t w = band_half_width_hz(speed);
    const uint32_t fl = centre_hz - w;
    const uint32_t fu = centre_hz + w;
    const Edge lo = lower_edge(fl, N);
    const Edge hi = upper_edge(fu, N);
    t.band_low = lo.full;
    t.half_band_low = lo.half;
    t.band_high = hi.full;
    t.half_band_high = hi.half;
    t.marker_low = waterfall_marker(fl);
    t.marker_high = waterfall_marker(fu);
    t.marker_centre = waterfall_marker(centre_hz);
    t.tune_phase_step = static_cast<float>(centre_hz * kAirTwoPi * 0.000125);
    t.air_hz = centre_hz;
    return t;
}

Tuning compute_air_tuning(uint32_t speed, uint32_t N, CentreHz air_hz) {
    Tuning t = compute_tuning(speed, N, clamp_centre_hz(air_hz));
    t.air_hz = air_hz;
    t.tune_phase_step = static_cast<float>(air_hz * kAirTwoPi * 0.000125);
    return t;
}

} // namespace quavel
