#include "weak_extras.h"

#include <cstdio>

namespace quavel::perf {

namespace {

// The squelch is run on this much noise alone per speed, and on this much after a
// transmission; a drifting signal moves at this rate.
constexpr double kNoiseMinutes = 10.0;
constexpr double kTailSeconds = 10.0;
constexpr double kDriftHzPerSecond = 0.1;
// Each start case: this many transmissions, some after this much noise alone.
constexpr int kStartRuns = 16;
constexpr double kStartNoiseSeconds = 1.5;

} // namespace

WeakExtras measure_weak_extras(const Transmission& tx, const Transmission* short_tx,
                               bool awgn_sweeps, const SweepSettings& settings, int side_repeats) {
    const uint32_t speed = tx.speed;
    const int jobs = settings.jobs;
    const int awgn_start_db = sweep_start_db(speed, ChannelKind::Awgn);
    WeakExtras w;
    w.speed = speed;
    w.tail_seconds = kTailSeconds;
    w.noise = copy_noise(speed, kNoiseMinutes, 8, jobs);
    std::fprintf(stderr,
                 "speed %u noise alone: %zu characters in %.0f minutes (%zu without the squelch)\n",
                 speed, w.noise.characters, w.noise.minutes, w.noise.characters_without_squelch);
    // What is printed in the noise after a transmission, until the squelch closes.
    w.ending = copy_after(tx, 0.0, kTailSeconds, side_repeats, jobs);
    std::fprintf(stderr, "speed %u after the transmission: %zu characters in %d runs\n", speed,
                 w.ending.characters, w.ending.runs);
    if (awgn_sweeps) {
        SweepSettings s = settings;
        s.trial = {.ideal = false, .limit = false, .classic = false, .weak_squelch = false};
        w.open_squelch = sweep_snr(tx, ChannelKind::Awgn, awgn_start_db - 4, s, {});
    }
    if (awgn_sweeps && short_tx) {
        // As many characters a point as the long text's sweep, so both are measured as finely.
        SweepSettings s = settings;
        s.trial = {.ideal = false, .limit = false, .classic = false};
        s.repeats =
            static_cast<int>((settings.repeats * tx.text.size() + short_tx->text.size() - 1) /
                             short_tx->text.size());
        w.short_over = sweep_snr(*short_tx, ChannelKind::Awgn, awgn_start_db - 4, s, {});
        w.short_chars = short_tx->text.size();
    }
    for (const double offset : {-20.0, -10.0, 0.0, 10.0, 20.0}) {
        const Acquisition a = acquire(tx, offset, 0.0, side_repeats, jobs);
        std::fprintf(stderr,
                     "speed %u acquisition at %+.0f Hz: %zu errors, worst %zu characters lost at "
                     "the start\n",
                     speed, offset, a.errors, a.worst_lost_chars);
        w.acquisitions.push_back(a);
    }
    for (const double snr : {0.0, static_cast<double>(awgn_start_db)}) {
        const Drift d = follow_drift(tx, kDriftHzPerSecond, snr, side_repeats, jobs);
        std::fprintf(stderr, "speed %u drift %.2f Hz/s at %+.0f dB: CER %.4f\n", speed,
                     d.rate_hz_per_s, snr, d.cer());
        w.drifts.push_back({snr, d});
    }
    for (const double snr : {10.0, 0.0}) {
        for (const double noise : {0.0, kStartNoiseSeconds}) {
            // The start is what counts: the short over tells it as well, sooner.
            const Start st = measure_start(short_tx ? *short_tx : tx, snr, noise, kStartRuns, jobs);
            std::fprintf(stderr,
                         "speed %u start at %+.0f dB after %.1f s of noise: %d of %d clean, %d "
                         "printed before, at worst %zu characters lost\n",
                         speed, snr, st.noise_seconds, st.clean, st.runs, st.printed_before,
                         st.worst_lost_chars);
            w.starts.push_back(st);
        }
    }
    return w;
}

} // namespace quavel::perf
