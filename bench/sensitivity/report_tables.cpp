#include "report_tables.h"

#include <map>
#include <optional>
#include <sstream>

#include "crossings.h"

namespace quavel::perf {

namespace {

// The document's columns: the first one left-aligned, text, an SNR ("+3.0 dB"), a number with a
// unit, a percentage and a difference in dB that may be missing ("-").
Column first(const char* header) {
    Column c = column(header);
    c.align = Align::Left;
    return c;
}
Column text(const char* header) {
    return column(header);
}
Column snr(const char* header) {
    Column c = column(header, 1, " dB");
    c.sign = true;
    return c;
}
Column with_unit(const char* header, int decimals, const char* unit) {
    return column(header, decimals, unit);
}
Column percent(const char* header, int decimals) {
    return column(header, decimals, "%");
}
Column gap_db(const char* header) {
    Column c = column(header, 1, " dB");
    c.missing = "-";
    return c;
}

std::string percent_text(double fraction, int decimals) {
    return fixed(100.0 * fraction, decimals) + "%";
}

Table diagnostics_table(const std::vector<Diagnostics>& runs, const std::vector<Curve>& curves) {
    Table t({first("Speed"), text("Receiver as built"), text("AFC off"),
             text("AFC off, sync known"), text("AFC off, sync known, input low-passed"),
             text("Ideal detector"), text("Limit detector")});
    for (const Diagnostics& d : runs) {
        const Curve* built = awgn_curve(curves, d.speed);
        const Curve none;
        const Crossings x(built ? *built : none);
        std::vector<Cell> row{d.speed, both_points(x.classic)};
        for (const ReceiverVariant& v : d.variants)
            row.emplace_back(both_points(cer_curve(v.points, &SnrPoint::receiver_cer)));
        row.emplace_back(both_points(x.ideal));
        row.emplace_back(x.limit_measured ? both_points(x.limit) : std::string("-"));
        t.add(std::move(row));
    }
    return t;
}

Table lead_table(const std::vector<LeadRun>& runs) {
    Table t({first("Speed"), snr("SNR"), percent("Classic CER over all lead-ins", 2),
             text("Classic worst"), text("Classic lead-ins above 1% CER"),
             percent("Ideal CER over all lead-ins", 2), percent("Weak CER over all lead-ins", 2),
             text("Weak lead-ins with any error")});
    for (const LeadRun& r : runs) {
        const double chars = double(r.chars);
        const std::string steps = std::to_string(r.steps);
        t.add({r.speed, r.snr_db, 100.0 * double(r.receiver_errors) / chars,
               percent_text(r.worst_cer, 1) + " at " + fixed(r.worst_lead, 3) + " N",
               r.bad_leads == 0
                   ? std::string("none")
                   : std::to_string(r.bad_leads) + " of " + steps + " (" +
                         fixed(r.first_bad_lead, 3) + " .. " + fixed(r.last_bad_lead, 3) + " N)",
               100.0 * double(r.ideal_errors) / chars, 100.0 * double(r.weak_errors) / chars,
               std::to_string(r.weak_bad_leads) + " of " + steps});
    }
    return t;
}

// "-4.0 .. +5.0 Hz"
std::string pull_in(double low_hz, double high_hz) {
    return fixed(low_hz, 1) + " .. +" + fixed(high_hz, 1) + " Hz";
}

Table afc_table(const std::vector<AfcRun>& runs) {
    Table t({first("Speed"), with_unit("Tone spacing", 0, " Hz"),
             text("Classic copies (< 5% CER) from .. to"),
             with_unit("Classic pull-in width", 1, " Hz"),
             text("Weak copies (< 5% CER) from .. to")});
    for (const AfcRun& r : runs)
        t.add({r.speed, r.spacing_hz, pull_in(r.low_hz, r.high_hz), r.high_hz - r.low_hz,
               pull_in(r.weak_low_hz, r.weak_high_hz)});
    return t;
}

// A row per receiver and SNR, a column per clock error.
Table clock_table(const std::vector<ClockRun>& runs) {
    std::vector<Column> columns{first("Speed"), text("Receiver"), snr("SNR")};
    for (const double ppm : kClockErrorsPpm)
        columns.push_back(column(ppm == 0.0 ? "0" : signed_fixed(ppm, 0) + " ppm"));
    Table t(std::move(columns));
    for (const ClockRun& r : runs) {
        std::vector<Cell> classic{r.speed, "classic", r.snr_db};
        std::vector<Cell> weak{r.speed, "weak", r.snr_db};
        for (const ClockPoint& p : r.points) {
            classic.emplace_back(percent_text(p.cer(), 1));
            weak.emplace_back(percent_text(p.weak_cer(), 2));
        }
        t.add(std::move(classic));
        t.add(std::move(weak));
    }
    return t;
}

Table squelch_table(const std::vector<WeakExtras>& runs, const std::vector<Curve>& curves) {
    Table t({first("Speed"), text("Noise alone: characters a minute"),
             with_unit("Without squelch", 0, ""), text("After transmissions: characters"),
             text("5% point, squelch on"), text("5% point, squelch off"), gap_db("Squelch cost")});
    for (const WeakExtras& w : runs) {
        std::string with = "-", without = "-";
        std::optional<double> cost;
        const Curve* built = awgn_curve(curves, w.speed);
        if (w.open_squelch && built) {
            const auto on_curve = cer_curve(built->points, &SnrPoint::weak_cer);
            const auto off_curve = cer_curve(*w.open_squelch, &SnrPoint::weak_cer);
            const Crossing on = snr_at_cer(on_curve, 0.05), off = snr_at_cer(off_curve, 0.05);
            with = describe(on, on_curve);
            without = describe(off, off_curve);
            cost = gap(on, off);
        }
        t.add({w.speed,
               fixed(w.noise.per_minute(), 2) + " (" + std::to_string(w.noise.characters) + " in " +
                   fixed(w.noise.minutes, 0) + " min)",
               double(w.noise.characters_without_squelch) / w.noise.minutes,
               std::to_string(w.ending.characters) + " in " + std::to_string(w.ending.runs), with,
               without, cost});
    }
    return t;
}

Table acquisition_table(const std::vector<WeakExtras>& runs) {
    Table t({first("Speed"), text("Signal"), text("SNR"), percent("CER", 2),
             text("Most characters lost at the start")});
    for (const WeakExtras& w : runs) {
        for (const Acquisition& a : w.acquisitions)
            t.add({w.speed, signed_fixed(a.offset_hz, 1) + " Hz", "+0 dB",
                   100.0 * double(a.errors) / double(a.chars),
                   std::to_string(a.worst_lost_chars) + " (" + fixed(a.worst_lost_symbols, 0) +
                       " symbols of text)"});
        for (const DriftRun& d : w.drifts)
            t.add({w.speed,
                   "drifting " + fixed(d.drift.rate_hz_per_s, 1) + " Hz/s (" +
                       fixed(d.drift.span_hz, 0) + " Hz in all)",
                   signed_fixed(d.snr_db, 1) + " dB", 100.0 * d.drift.cer(), "-"});
    }
    return t;
}

Table start_table(const std::vector<WeakExtras>& runs) {
    Table t({first("Speed"), snr("SNR"), with_unit("Noise before", 1, " s"),
             text("Copied from the first character"), text("Printed before the text"),
             text("Most characters before the copy is right to its end")});
    for (const WeakExtras& w : runs) {
        for (const Start& st : w.starts) {
            const std::string of = " of " + std::to_string(st.runs);
            t.add({w.speed, st.snr_db, st.noise_seconds, std::to_string(st.clean) + of,
                   std::to_string(st.printed_before) + of, std::to_string(st.worst_lost_chars)});
        }
    }
    return t;
}

// The weak-signal receiver's thresholds on the short over beside the long text's.
Table over_table(const std::vector<WeakExtras>& runs, const std::vector<Curve>& curves) {
    Table t({first("Speed"), text("Long text 1% / 5%"), text("Short over 1% / 5%"),
             gap_db("Short over cost at 1%"), gap_db("Short over cost at 5%")});
    for (const WeakExtras& w : runs) {
        const Curve* built = awgn_curve(curves, w.speed);
        if (!w.short_over || !built) continue;
        const auto long_curve = cer_curve(built->points, &SnrPoint::weak_cer);
        const auto short_curve = cer_curve(*w.short_over, &SnrPoint::weak_cer);
        t.add({w.speed, both_points(long_curve), both_points(short_curve),
               gap(snr_at_cer(short_curve, 0.01), snr_at_cer(long_curve, 0.01)),
               gap(snr_at_cer(short_curve, 0.05), snr_at_cer(long_curve, 0.05))});
    }
    return t;
}

Table realtime_table(const std::vector<RealTimeRun>& runs) {
    Table t({first("Speed"), text("Input"), with_unit("Audio", 1, " s"), with_unit("Wall", 3, " s"),
             with_unit("CPU", 3, " s"), with_unit("Real-time factor", 0, "")});
    for (const RealTimeRun& r : runs)
        t.add({r.speed, r.input, r.audio_s, r.wall_s, r.cpu_s, r.factor()});
    return t;
}

std::string run_description(const Measurements& m, const RunInfo& info) {
    std::size_t clipped = 0;
    for (const Curve& c : m.curves) {
        for (const SnrPoint& p : c.points)
            clipped += p.clipped;
    }
    std::string checks;
    std::stringstream in(info.tool_log);
    std::string line;
    while (std::getline(in, line))
        checks += "  - " + line + "\n";
    return "- Text: " + std::to_string(info.text_chars) + " characters, each point " +
           std::to_string(info.repeats) + " transmissions (" +
           std::to_string(static_cast<std::size_t>(info.repeats) * info.text_chars) +
           " characters); the AFC and clock points " + std::to_string(info.side_repeats) +
           " transmissions each. SNR steps of 1 dB on AWGN, 2 dB on the fading channels.\n"
           "- " +
           std::to_string(info.sweep_transmissions) + " SNR-sweep transmissions, " +
           std::to_string(clipped) +
           " received samples clipped.\n"
           "- Machine: " +
           info.machine + ", " + std::to_string(info.logical_cpus) +
           " logical CPUs (shared with other work while measuring); " + std::to_string(info.jobs) +
           " worker threads; the whole measurement took " + fixed(info.elapsed_s / 60.0, 1) +
           " minutes.\n- Tool checks:\n" + checks;
}

} // namespace

Table threshold_table(const std::vector<Curve>& curves) {
    Table t({first("Speed"), text("Channel"), text("Classic 1%"), text("Classic 5%"),
             text("Weak 1%"), text("Weak 5%"), text("Ideal 1%"), text("Ideal 5%"),
             gap_db("Classic gap at 5%"), gap_db("Weak gap at 1%"), gap_db("Weak gap at 5%"),
             text("Limit 1%"), text("Limit 5%"), gap_db("Ideal over limit at 1%"),
             gap_db("Ideal over limit at 5%")});
    for (const Curve& c : curves) {
        const Crossings x(c);
        t.add({c.speed, channel_name(c.kind), describe(x.classic1, x.classic),
               describe(x.classic5, x.classic), describe(x.weak1, x.weak),
               describe(x.weak5, x.weak), describe(x.ideal1, x.ideal), describe(x.ideal5, x.ideal),
               gap(x.classic5, x.ideal5), gap(x.weak1, x.ideal1), gap(x.weak5, x.ideal5),
               x.describe_limit(x.limit1), x.describe_limit(x.limit5),
               x.ideal_over_limit(x.ideal1, x.limit1), x.ideal_over_limit(x.ideal5, x.limit5)});
    }
    return t;
}

Table comparison_table(const std::vector<Curve>& curves) {
    // By speed; where a speed was asked for twice, its last curve.
    std::map<uint32_t, std::string> classic, weak, ideal, limit;
    for (const Curve& c : curves) {
        if (c.kind != ChannelKind::Awgn) continue;
        const Crossings x(c);
        classic[c.speed] = describe(x.classic5, x.classic);
        weak[c.speed] = describe(x.weak5, x.weak);
        ideal[c.speed] = describe(x.ideal5, x.ideal);
        if (x.limit_measured) limit[c.speed] = describe(x.limit5, x.limit);
    }
    Table t({first("Mode"), text("SNR in 2500 Hz at 5% CER (AWGN), dB")});
    for (const auto& [mode, db] : {std::pair{"RTTY 45 baud", "-9.1"},
                                   {"PSK31", "-13.2"},
                                   {"MFSK16", "-14.7"},
                                   {"DominoEX 8", "-15.3"}})
        t.add({mode, db});
    for (const auto& [receiver, values] : {std::pair{"classic receiver", &classic},
                                           {"weak-signal receiver", &weak},
                                           {"ideal detector", &ideal},
                                           {"limit detector", &limit}}) {
        for (const auto& [speed, value] : *values)
            t.add({"Quavel " + std::to_string(speed) + " Quavel/sec, " + receiver, value});
    }
    return t;
}

std::vector<NamedText> document_blocks(const Measurements& m, const RunInfo& info) {
    std::vector<NamedText> blocks{{"run", run_description(m, info)},
                                  {"thresholds", threshold_table(m.curves).markdown()},
                                  {"comparison", comparison_table(m.curves).markdown()}};
    if (m.afc) blocks.emplace_back("afc", afc_table(*m.afc).markdown());
    if (m.clock) blocks.emplace_back("clock", clock_table(*m.clock).markdown());
    if (m.diagnostics && !m.diagnostics->empty())
        blocks.emplace_back("diagnostics", diagnostics_table(*m.diagnostics, m.curves).markdown());
    if (m.lead) blocks.emplace_back("lead", lead_table(*m.lead).markdown());
    if (m.weak) {
        blocks.emplace_back("squelch", squelch_table(*m.weak, m.curves).markdown());
        blocks.emplace_back("acquisition", acquisition_table(*m.weak).markdown());
        blocks.emplace_back("start", start_table(*m.weak).markdown());
        blocks.emplace_back("overs", over_table(*m.weak, m.curves).markdown());
    }
    if (m.realtime) blocks.emplace_back("rtf", realtime_table(*m.realtime).markdown());
    return blocks;
}

} // namespace quavel::perf
