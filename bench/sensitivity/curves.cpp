#include "curves.h"

#include <cstdio>

namespace quavel::perf {

Curve measure_curve(const Transmission& tx, ChannelKind kind, const SweepSettings& settings) {
    Curve c;
    c.speed = tx.speed;
    c.kind = kind;
    SweepSettings curve_settings = settings;
    curve_settings.step_db = kind == ChannelKind::Awgn ? 1 : 2;
    c.points =
        sweep_snr(tx, kind, sweep_start_db(tx.speed, kind), curve_settings, [&](const SnrPoint& p) {
            std::fprintf(stderr,
                         "speed %u %-9s %+3.0f dB: receiver %.4f  weak "
                         "%.4f  ideal %.4f  limit %.4f\n",
                         tx.speed, channel_name(kind), p.snr_db, p.receiver_cer(), p.weak_cer(),
                         p.ideal_cer(), p.limit_cer());
        });
    return c;
}

Diagnostics measure_diagnostics(const Transmission& tx, const SweepSettings& settings) {
    struct Variant {
        const char* name;
        TrialOptions options;
    };
    const Variant variants[] = {
        {"afc_off", {.afc = false, .ideal = false, .limit = false}},
        {"afc_off_known_sync", {.afc = false, .ideal = false, .limit = false, .known_sync = true}},
        {"afc_off_known_sync_low_pass",
         {.afc = false, .ideal = false, .limit = false, .known_sync = true, .low_pass = true}},
    };
    Diagnostics d;
    d.speed = tx.speed;
    for (const Variant& v : variants) {
        SweepSettings s = settings;
        s.trial = v.options;
        d.variants.push_back(
            {v.name, sweep_snr(tx, ChannelKind::Awgn, sweep_start_db(tx.speed, ChannelKind::Awgn),
                               s, [&](const SnrPoint& p) {
                                   std::fprintf(stderr, "speed %u %s %+3.0f dB: %.4f\n", tx.speed,
                                                v.name, p.snr_db, p.receiver_cer());
                               })});
    }
    return d;
}

} // namespace quavel::perf
