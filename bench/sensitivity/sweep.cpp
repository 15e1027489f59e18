#include "sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "modem/code_table.h"
#include "modem/speed_profile.h"

namespace quavel::perf {

const char* channel_name(ChannelKind kind) {
    switch (kind) {
    case ChannelKind::Awgn:
        return "awgn";
    case ChannelKind::Quiet:
        return "quiet";
    case ChannelKind::Moderate:
        return "moderate";
    case ChannelKind::Disturbed:
        return "disturbed";
    case ChannelKind::Crashes2:
        return "crashes2";
    case ChannelKind::Crashes5:
        return "crashes5";
    case ChannelKind::Crashes10:
        return "crashes10";
    case ChannelKind::Carrier10:
        return "carrier10";
    case ChannelKind::Carrier20:
        return "carrier20";
    case ChannelKind::Agc15:
        return "agc15";
    case ChannelKind::Neighbour10:
        return "neighbour10";
    case ChannelKind::Neighbour20:
        return "neighbour20";
    case ChannelKind::ClockFast:
        return "clock+200";
    case ChannelKind::ClockSlow:
        return "clock-200";
    case ChannelKind::Clipped:
        return "clipped";
    }
    return "?";
}

namespace {

bool fades(ChannelKind kind) {
    return kind == ChannelKind::Quiet || kind == ChannelKind::Moderate ||
           kind == ChannelKind::Disturbed;
}

void add_impairment(channel::ChannelParams& c, ChannelKind kind, uint32_t speed,
                    uint32_t symbol_samples) {
    constexpr double kCentreHz = 1000.0;
    switch (kind) {
    case ChannelKind::Crashes2:
    case ChannelKind::Crashes5:
    case ChannelKind::Crashes10:
        c.crashes = channel::CrashParams{};
        c.crashes->rate_hz = kind == ChannelKind::Crashes2   ? 2.0
                             : kind == ChannelKind::Crashes5 ? 5.0
                                                             : 10.0;
        break;
    case ChannelKind::Carrier10:
    case ChannelKind::Carrier20:
        c.carrier = channel::CarrierParams{kind == ChannelKind::Carrier10 ? 10.0 : 20.0,
                                           kCentreHz + 0.5 * tone_spacing_hz(speed)};
        break;
    case ChannelKind::Agc15:
        c.agc = channel::AgcParams{15.0, 3.0};
        break;
    case ChannelKind::Neighbour10:
    case ChannelKind::Neighbour20:
        // The samples are the transmission's own, filled in by through_channel().
        c.neighbour = channel::NeighbourParams{};
        c.neighbour->level_db = kind == ChannelKind::Neighbour10 ? 10.0 : 20.0;
        c.neighbour->offset_hz = 150.0;
        c.neighbour->start_s = 0.5 * symbol_samples / static_cast<double>(kSampleRateHz);
        break;
    case ChannelKind::ClockFast:
        c.clock_ppm = 200.0;
        break;
    case ChannelKind::ClockSlow:
        c.clock_ppm = -200.0;
        break;
    case ChannelKind::Clipped:
        c.clip_db = 0.0;
        break;
    default:
        break;
    }
}

} // namespace

TrialSpec trial_spec(ChannelKind kind, double snr_db, uint32_t speed, int repeat,
                     uint32_t symbol_samples) {
    TrialSpec spec;
    if (fades(kind)) spec.channel.fading = channel::fading_preset(channel_name(kind));
    add_impairment(spec.channel, kind, speed, symbol_samples);
    spec.channel.snr_db = snr_db;
    spec.channel.seed =
        1000u * speed + 100u * static_cast<uint64_t>(kind) + static_cast<uint64_t>(repeat) + 1u;
    // Lead-ins spread over the symbol by the golden ratio, the first one not at 0.
    const double fraction = std::fmod(0.6180339887498949 * (repeat + 1), 1.0);
    spec.lead_samples = static_cast<std::size_t>(fraction * symbol_samples);
    return spec;
}

int sweep_start_db(uint32_t speed, ChannelKind kind) {
    const int awgn = speed == 1 ? -15 : (speed == 2 ? -13 : -10);
    return fades(kind) ? awgn + 6 : awgn;
}

std::vector<TrialResult> run_parallel(int count, int jobs,
                                      const std::function<TrialResult(int)>& trial) {
    std::vector<TrialResult> results(static_cast<std::size_t>(count));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < count; i = next++)
            results[static_cast<std::size_t>(i)] = trial(i);
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < std::min(jobs, count); ++j)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    return results;
}

namespace {

// Lead-ins in the middle of `count` equal slices of a symbol: few runs, evenly spread over it.
std::size_t centred_lead(int r, int count, uint32_t symbol_samples) {
    return static_cast<std::size_t>((2 * r + 1) * static_cast<uint64_t>(symbol_samples) /
                                    (2 * static_cast<uint64_t>(count)));
}

void check(const TrialResult& r) {
    if (r.error.empty()) return;
    std::fprintf(stderr, "quavel_sensitivity: trial failed: %s\n", r.error.c_str());
    std::exit(1);
}

} // namespace

SnrPoint evaluate_point(const Transmission& tx, ChannelKind kind, double snr_db, int repeats,
                        int jobs, const TrialOptions& options) {
    const auto results = run_parallel(repeats, jobs, [&](int r) {
        return run_trial(tx, trial_spec(kind, snr_db, tx.speed, r, tx.symbol_samples), options);
    });
    SnrPoint point;
    point.snr_db = snr_db;
    point.limit_measured = options.limit;
    for (const TrialResult& r : results) {
        check(r);
        ++point.runs;
        point.chars += tx.text.size();
        point.receiver_errors += r.receiver_errors;
        point.ideal_errors += r.ideal_errors;
        point.limit_errors += r.limit_errors;
        point.weak_errors += r.weak_errors;
        point.clipped += r.clipped;
    }
    return point;
}

std::vector<SnrPoint> sweep_snr(const Transmission& tx, ChannelKind kind, int start_db,
                                const SweepSettings& settings,
                                const std::function<void(const SnrPoint&)>& progress) {
    std::map<int, SnrPoint> points;
    auto at = [&](int snr) -> const SnrPoint& {
        auto it = points.find(snr);
        if (it == points.end()) {
            it = points
                     .emplace(snr, evaluate_point(tx, kind, snr, settings.repeats, settings.jobs,
                                                  settings.trial))
                     .first;
            if (progress) progress(it->second);
        }
        return it->second;
    };

    const int step = std::max(1, settings.step_db);
    // Points back to the one at least floor_window_db below.
    const int window = (settings.floor_window_db + step - 1) / step;
    // Climb until the receiver has copied without error twice in a row or shows a floor (more
    // dB taking off less than a third of its errors), and the ideal and limit detectors are below
    // 1% or show a floor too.
    int clean = 0;
    int weak_clean = 0;
    bool receiver_done = !settings.trial.classic;
    bool weak_done = !settings.trial.weak;
    bool ideal_done = !settings.trial.ideal;
    bool limit_done = !settings.trial.limit;
    for (int snr = start_db; snr <= settings.highest_db; snr += step) {
        const SnrPoint& p = at(snr);
        clean = p.receiver_errors == 0 ? clean + 1 : 0;
        weak_clean = p.weak_errors == 0 ? weak_clean + 1 : 0;
        const int below = snr - window * step;
        const SnrPoint* base = below >= start_db ? &at(below) : nullptr;
        if (clean >= settings.clean_points_to_stop ||
            (base && p.receiver_errors > 0 && 3 * p.receiver_errors >= 2 * base->receiver_errors))
            receiver_done = true;
        if (weak_clean >= settings.clean_points_to_stop ||
            (base && p.weak_errors > 0 && 3 * p.weak_errors >= 2 * base->weak_errors))
            weak_done = true;
        if (p.ideal_cer() < 0.01 ||
            (base && p.ideal_errors > 0 && 3 * p.ideal_errors >= 2 * base->ideal_errors))
            ideal_done = true;
        if (p.limit_cer() < 0.01 ||
            (base && p.limit_errors > 0 && 3 * p.limit_errors >= 2 * base->limit_errors))
            limit_done = true;
        if (receiver_done && weak_done && ideal_done && limit_done) break;
    }
    for (int snr = start_db - step; snr >= settings.lowest_db; snr -= step) {
        const SnrPoint& p = at(snr);
        if ((!settings.trial.classic || p.receiver_cer() >= settings.bad_cer_to_stop) &&
            (!settings.trial.weak || p.weak_cer() >= settings.bad_ideal_cer_to_stop) &&
            (!settings.trial.ideal || p.ideal_cer() >= settings.bad_ideal_cer_to_stop) &&
            (!settings.trial.limit || p.limit_cer() >= settings.bad_ideal_cer_to_stop))
            break;
    }
    std::vector<SnrPoint> curve;
    for (const auto& [snr, p] : points)
        curve.push_back(p);
    return curve;
}

std::vector<OffsetPoint> sweep_offset(const Transmission& tx, double snr_db,
                                      const std::vector<double>& offsets_hz, int repeats, int jobs,
                                      double lost_cer) {
    auto evaluate = [&](double offset) {
        const auto results = run_parallel(repeats, jobs, [&](int r) {
            TrialSpec spec = trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
            spec.lead_samples = centred_lead(r, repeats, tx.symbol_samples);
            spec.channel.offset_hz = offset;
            return run_trial(tx, spec, {.afc = true, .ideal = false, .limit = false});
        });
        OffsetPoint p;
        p.offset_hz = offset;
        for (const TrialResult& r : results) {
            check(r);
            ++p.runs;
            p.chars += tx.text.size();
            p.errors += r.receiver_errors;
            p.mean_final_error_hz += static_cast<double>(r.final_centre_hz) -
                                     (static_cast<double>(tx.centre_hz) + offset);
            p.weak_errors += r.weak_errors;
            p.weak_mean_final_error_hz +=
                r.weak_frequency_hz - (static_cast<double>(tx.centre_hz) + offset);
        }
        if (p.runs > 0) p.mean_final_error_hz /= p.runs;
        if (p.runs > 0) p.weak_mean_final_error_hz /= p.runs;
        return p;
    };
    std::vector<OffsetPoint> points;
    for (const double sign : {-1.0, 1.0}) {
        int lost = 0;
        for (const double magnitude : offsets_hz) {
            if (magnitude == 0.0 && sign < 0) continue;
            const OffsetPoint p = evaluate(sign * magnitude);
            points.push_back(p);
            lost = p.cer() > lost_cer && p.weak_cer() > lost_cer ? lost + 1 : 0;
            if (lost >= 2) break;
        }
    }
    std::sort(points.begin(), points.end(),
              [](const OffsetPoint& a, const OffsetPoint& b) { return a.offset_hz < b.offset_hz; });
    return points;
}

std::vector<LeadPoint> sweep_lead(const Transmission& tx, double snr_db, int count, int jobs) {
    const auto results = run_parallel(count, jobs, [&](int k) {
        TrialSpec spec = trial_spec(ChannelKind::Awgn, snr_db, tx.speed, k, tx.symbol_samples);
        spec.lead_samples = static_cast<std::size_t>(k) * tx.symbol_samples / count;
        return run_trial(tx, spec, {});
    });
    std::vector<LeadPoint> points;
    for (int k = 0; k < count; ++k) {
        const TrialResult& r = results[static_cast<std::size_t>(k)];
        check(r);
        points.push_back({static_cast<double>(k) / count, tx.text.size(), r.receiver_errors,
                          r.ideal_errors, r.weak_errors, r.limit_errors});
    }
    return points;
}

std::vector<ClockPoint> sweep_clock(const Transmission& tx, double snr_db,
                                    const std::vector<double>& ppms, int repeats, int jobs) {
    std::vector<ClockPoint> points;
    for (const double ppm : ppms) {
        const auto results = run_parallel(repeats, jobs, [&](int r) {
            TrialSpec spec = trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
            spec.lead_samples = centred_lead(r, repeats, tx.symbol_samples);
            spec.channel.clock_ppm = ppm;
            return run_trial(tx, spec, {.afc = true, .ideal = false, .limit = false});
        });
        ClockPoint p;
        p.ppm = ppm;
        p.snr_db = snr_db;
        for (const TrialResult& r : results) {
            check(r);
            ++p.runs;
            p.chars += tx.text.size();
            p.errors += r.receiver_errors;
            p.weak_errors += r.weak_errors;
        }
        points.push_back(p);
    }
    return points;
}

} // namespace quavel::perf
