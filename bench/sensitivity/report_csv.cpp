#include "report_csv.h"

#include <string>

#include "crossings.h"
#include "table.h"

namespace quavel::perf {

namespace {

// A count or a name as it stands, a rate with six decimals, other numbers with their own.
Column count(const char* header) {
    return column(header);
}
Column text(const char* header) {
    return column(header);
}
Column rate(const char* header) {
    return column(header, 6);
}
Column fixed_column(const char* header, int decimals) {
    return column(header, decimals);
}

std::string cer_csv(const std::vector<Curve>& curves) {
    Table t({count("speed"), text("channel"), fixed_column("snr_db", 0), count("runs"),
             count("chars"), count("receiver_errors"), rate("receiver_cer"), count("ideal_errors"),
             rate("ideal_cer"), count("clipped_samples"), count("weak_errors"), rate("weak_cer"),
             count("limit_errors"), rate("limit_cer")});
    for (const Curve& c : curves) {
        for (const SnrPoint& p : c.points) {
            std::vector<Cell> row{
                c.speed,           channel_name(c.kind), p.snr_db,       p.runs,        p.chars,
                p.receiver_errors, p.receiver_cer(),     p.ideal_errors, p.ideal_cer(), p.clipped,
                p.weak_errors,     p.weak_cer()};
            if (p.limit_measured) {
                row.emplace_back(p.limit_errors);
                row.emplace_back(p.limit_cer());
            }
            t.add(std::move(row));
        }
    }
    return t.csv();
}

std::string threshold_csv(const std::vector<Curve>& curves) {
    Table t({count("speed"), text("channel"), fixed_column("receiver_1pct_db", 2),
             fixed_column("receiver_5pct_db", 2), fixed_column("ideal_1pct_db", 2),
             fixed_column("ideal_5pct_db", 2), fixed_column("gap_1pct_db", 2),
             fixed_column("gap_5pct_db", 2), fixed_column("weak_1pct_db", 2),
             fixed_column("weak_5pct_db", 2), fixed_column("weak_gap_1pct_db", 2),
             fixed_column("weak_gap_5pct_db", 2), fixed_column("limit_1pct_db", 2),
             fixed_column("limit_5pct_db", 2), fixed_column("ideal_over_limit_1pct_db", 2),
             fixed_column("ideal_over_limit_5pct_db", 2)});
    for (const Curve& c : curves) {
        const Crossings x(c);
        t.add({c.speed, channel_name(c.kind), at(x.classic1), at(x.classic5), at(x.ideal1),
               at(x.ideal5), gap(x.classic1, x.ideal1), gap(x.classic5, x.ideal5), at(x.weak1),
               at(x.weak5), gap(x.weak1, x.ideal1), gap(x.weak5, x.ideal5), x.limit_at(x.limit1),
               x.limit_at(x.limit5), x.ideal_over_limit(x.ideal1, x.limit1),
               x.ideal_over_limit(x.ideal5, x.limit5)});
    }
    return t.csv();
}

std::string diagnostics_csv(const std::vector<Diagnostics>& runs) {
    Table t({count("speed"), text("variant"), fixed_column("snr_db", 0), count("runs"),
             count("chars"), count("errors"), rate("cer")});
    for (const Diagnostics& d : runs) {
        for (const ReceiverVariant& v : d.variants) {
            for (const SnrPoint& p : v.points)
                t.add({d.speed, v.name, p.snr_db, p.runs, p.chars, p.receiver_errors,
                       p.receiver_cer()});
        }
    }
    return t.csv();
}

std::string lead_csv(const std::vector<LeadRun>& runs) {
    Table t({count("speed"), fixed_column("snr_db", 0), fixed_column("lead_fraction", 5),
             count("chars"), count("receiver_errors"), rate("receiver_cer"), count("ideal_errors"),
             rate("ideal_cer"), count("weak_errors"), rate("weak_cer"), count("limit_errors"),
             rate("limit_cer")});
    for (const LeadRun& run : runs) {
        for (const LeadPoint& p : run.points) {
            const double chars = double(p.chars);
            t.add({run.speed, run.snr_db, p.lead_fraction, p.chars, p.receiver_errors,
                   double(p.receiver_errors) / chars, p.ideal_errors,
                   double(p.ideal_errors) / chars, p.weak_errors, double(p.weak_errors) / chars,
                   p.limit_errors, double(p.limit_errors) / chars});
        }
    }
    return t.csv();
}

std::string afc_csv(const std::vector<AfcRun>& runs) {
    Table t({count("speed"), fixed_column("offset_hz", 2), fixed_column("snr_db", 0), count("runs"),
             count("chars"), count("errors"), rate("cer"), fixed_column("mean_final_error_hz", 2),
             count("weak_errors"), rate("weak_cer"), fixed_column("weak_mean_final_error_hz", 2)});
    for (const AfcRun& run : runs) {
        for (const OffsetPoint& p : run.points)
            t.add({run.speed, p.offset_hz, run.snr_db, p.runs, p.chars, p.errors, p.cer(),
                   p.mean_final_error_hz, p.weak_errors, p.weak_cer(), p.weak_mean_final_error_hz});
    }
    return t.csv();
}

std::string clock_csv(const std::vector<ClockRun>& runs) {
    Table t({count("speed"), fixed_column("ppm", 0), fixed_column("snr_db", 0), count("runs"),
             count("chars"), count("errors"), rate("cer"), count("weak_errors"), rate("weak_cer")});
    for (const ClockRun& run : runs) {
        for (const ClockPoint& p : run.points)
            t.add({run.speed, p.ppm, run.snr_db, p.runs, p.chars, p.errors, p.cer(), p.weak_errors,
                   p.weak_cer()});
    }
    return t.csv();
}

// The weak-signal receiver's extras, one row per case; `value` is what the measurement names.
std::string weak_csv(const std::vector<WeakExtras>& runs) {
    Table t({count("speed"), text("measurement"), text("value"), fixed_column("snr_db", 0),
             count("runs"), count("chars"), count("errors"), rate("cer"), text("detail")});
    for (const WeakExtras& w : runs) {
        t.add({w.speed,
               "noise_chars_per_minute",
               fixed(w.noise.per_minute(), 3),
               {},
               {},
               {},
               {},
               {},
               std::to_string(w.noise.characters_without_squelch) + " without the squelch"});
        t.add({w.speed,
               "chars_after_transmission",
               w.ending.characters,
               0.0,
               w.ending.runs,
               {},
               {},
               {},
               fixed(w.tail_seconds, 0) + " s of noise after each"});
        if (w.open_squelch) {
            for (const SnrPoint& p : *w.open_squelch)
                t.add({w.speed,
                       "no_squelch_cer",
                       {},
                       p.snr_db,
                       p.runs,
                       p.chars,
                       p.weak_errors,
                       p.weak_cer()});
        }
        for (const Acquisition& a : w.acquisitions)
            t.add({w.speed, "acquisition_offset_hz", fixed(a.offset_hz, 1), 0.0, a.runs, a.chars,
                   a.errors, double(a.errors) / double(a.chars),
                   std::to_string(a.worst_lost_chars) + " characters lost at the start"});
        for (const DriftRun& d : w.drifts)
            t.add({w.speed, "drift_hz_per_s", fixed(d.drift.rate_hz_per_s, 2), d.snr_db,
                   d.drift.runs, d.drift.chars, d.drift.errors, d.drift.cer(),
                   fixed(d.drift.span_hz, 1) + " Hz over the transmission"});
        for (const Start& st : w.starts)
            t.add({w.speed,
                   "clean_starts_after_noise_s",
                   fixed(st.noise_seconds, 1),
                   st.snr_db,
                   st.runs,
                   {},
                   st.runs - st.clean,
                   {},
                   std::to_string(st.clean) + " clean, " + std::to_string(st.printed_before) +
                       " printed before, " + std::to_string(st.worst_lost_chars) +
                       " characters lost at worst"});
        if (w.short_over) {
            for (const SnrPoint& p : *w.short_over)
                t.add({w.speed, "short_over_chars", std::to_string(w.short_chars), p.snr_db, p.runs,
                       p.chars, p.weak_errors, p.weak_cer()});
        }
    }
    return t.csv();
}

std::string realtime_csv(const std::vector<RealTimeRun>& runs) {
    Table t({count("speed"), text("input"), fixed_column("audio_s", 3), fixed_column("wall_s", 3),
             fixed_column("cpu_s", 3), fixed_column("realtime_factor", 1)});
    for (const RealTimeRun& r : runs)
        t.add({r.speed, r.input, r.audio_s, r.wall_s, r.cpu_s, r.factor()});
    return t.csv();
}

} // namespace

std::vector<NamedText> csv_files(const Measurements& m) {
    std::vector<NamedText> files{{"perf_cer.csv", cer_csv(m.curves)},
                                 {"perf_thresholds.csv", threshold_csv(m.curves)}};
    if (m.afc) files.emplace_back("perf_afc.csv", afc_csv(*m.afc));
    if (m.clock) files.emplace_back("perf_clock.csv", clock_csv(*m.clock));
    if (m.realtime) files.emplace_back("perf_rtf.csv", realtime_csv(*m.realtime));
    if (m.diagnostics && !m.diagnostics->empty())
        files.emplace_back("perf_diagnostics.csv", diagnostics_csv(*m.diagnostics));
    if (m.lead) files.emplace_back("perf_lead.csv", lead_csv(*m.lead));
    if (m.weak) files.emplace_back("perf_weak.csv", weak_csv(*m.weak));
    return files;
}

} // namespace quavel::perf
