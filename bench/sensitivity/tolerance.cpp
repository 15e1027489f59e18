#include "tolerance.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "modem/code_table.h"

namespace quavel::perf {

namespace {

LeadRun lead_run(const Transmission& tx, double snr_db, int steps, int jobs) {
    LeadRun run;
    run.speed = tx.speed;
    run.snr_db = snr_db;
    run.steps = steps;
    run.points = sweep_lead(tx, snr_db, steps, jobs);
    for (const LeadPoint& p : run.points) {
        const double cer = double(p.receiver_errors) / double(p.chars);
        run.chars += p.chars;
        run.receiver_errors += p.receiver_errors;
        run.ideal_errors += p.ideal_errors;
        run.weak_errors += p.weak_errors;
        if (p.weak_errors > 0) ++run.weak_bad_leads;
        if (cer > run.worst_cer) {
            run.worst_cer = cer;
            run.worst_lead = p.lead_fraction;
        }
        if (cer > 0.01) {
            ++run.bad_leads;
            run.first_bad_lead = std::min(run.first_bad_lead, p.lead_fraction);
            run.last_bad_lead = std::max(run.last_bad_lead, p.lead_fraction);
        }
    }
    std::fprintf(stderr, "speed %u lead-ins at %+.0f dB: CER %.4f, worst %.4f at %.3f N\n",
                 tx.speed, snr_db, double(run.receiver_errors) / double(run.chars), run.worst_cer,
                 run.worst_lead);
    return run;
}

} // namespace

std::vector<LeadRun> measure_lead(const Transmission& tx, int jobs) {
    constexpr int kLeadSteps = 32;
    std::vector<LeadRun> runs;
    for (const double snr :
         {kHighSnrDb, static_cast<double>(sweep_start_db(tx.speed, ChannelKind::Awgn) + 4)})
        runs.push_back(lead_run(tx, snr, kLeadSteps, jobs));
    return runs;
}

AfcRun measure_afc(const Transmission& tx, int repeats, int jobs) {
    AfcRun run;
    run.speed = tx.speed;
    run.snr_db = kHighSnrDb;
    run.spacing_hz = tone_spacing_hz(tx.speed);
    std::vector<double> offsets;
    for (double f = 0.0; f <= 3.0 * run.spacing_hz + 0.01; f += run.spacing_hz / 8.0)
        offsets.push_back(f);
    run.points = sweep_offset(tx, kHighSnrDb, offsets, repeats, jobs);
    bool low_lost = false, high_lost = false, weak_low_lost = false, weak_high_lost = false;
    for (auto it = run.points.rbegin(); it != run.points.rend(); ++it) { // toward negative
        if (it->offset_hz > 0.0) continue;
        if (!low_lost && it->cer() < 0.05)
            run.low_hz = it->offset_hz;
        else
            low_lost = true;
        if (!weak_low_lost && it->weak_cer() < 0.05)
            run.weak_low_hz = it->offset_hz;
        else
            weak_low_lost = true;
    }
    for (const OffsetPoint& p : run.points) {
        if (p.offset_hz < 0.0) continue;
        if (!high_lost && p.cer() < 0.05)
            run.high_hz = p.offset_hz;
        else
            high_lost = true;
        if (!weak_high_lost && p.weak_cer() < 0.05)
            run.weak_high_hz = p.offset_hz;
        else
            weak_high_lost = true;
    }
    for (const OffsetPoint& p : run.points)
        std::fprintf(stderr,
                     "speed %u offset %+6.2f Hz: CER %.4f, AFC ends %+.2f Hz off; weak "
                     "%.4f, ends %+.2f Hz off\n",
                     tx.speed, p.offset_hz, p.cer(), p.mean_final_error_hz, p.weak_cer(),
                     p.weak_mean_final_error_hz);
    return run;
}

std::vector<ClockRun> measure_clock(const Transmission& tx, int repeats, int jobs) {
    const std::vector<double> ppms(std::begin(kClockErrorsPpm), std::end(kClockErrorsPpm));
    std::vector<ClockRun> runs;
    for (const double snr :
         {kHighSnrDb, static_cast<double>(sweep_start_db(tx.speed, ChannelKind::Awgn) + 3)}) {
        ClockRun run{tx.speed, snr, sweep_clock(tx, snr, ppms, repeats, jobs)};
        for (const ClockPoint& p : run.points)
            std::fprintf(stderr, "speed %u %+5.0f ppm at %+.0f dB: CER %.4f, weak %.4f\n", tx.speed,
                         p.ppm, snr, p.cer(), p.weak_cer());
        runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace quavel::perf
