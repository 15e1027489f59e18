#include "band_tables.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quavel::perf {

namespace {

Column first(const char* header) {
    Column c = column(header);
    c.align = Align::Left;
    return c;
}
Column db(const char* header) {
    Column c = column(header, 1, " dB");
    c.missing = "-";
    return c;
}
Column number(const char* header, int decimals, const char* unit = "") {
    Column c = column(header, decimals, unit);
    c.missing = "-";
    return c;
}

std::string crossing_text(const Crossing& c, const std::vector<PairPoint>& points) {
    switch (c.kind) {
    case Crossing::Kind::At:
        return signed_fixed(c.snr_db, 1);
    case Crossing::Kind::Floor:
        return "not reached (" + signed_fixed(points.empty() ? 0.0 : points.back().snr_db, 1) +
               " max)";
    case Crossing::Kind::BelowRange:
        return "< " + signed_fixed(points.empty() ? 0.0 : points.front().snr_db, 1);
    }
    return "?";
}

std::optional<double> difference(const Crossing& a, const Crossing& b) {
    const auto x = crossing_db(a);
    const auto y = crossing_db(b);
    return x && y ? std::optional<double>(*x - *y) : std::nullopt;
}

// "yes", "no (by 0.3 dB)", "-" when either side is missing.
std::string verdict(std::optional<double> value, double target) {
    if (!value) return "-";
    if (*value <= target + 1e-9) return "yes";
    return "no (by " + fixed(*value - target, 1) + ")";
}

const PairCurve* curve_of(const std::optional<std::vector<PairCurve>>& curves, uint32_t speed) {
    if (!curves) return nullptr;
    for (const PairCurve& c : *curves) {
        if (c.speed == speed) return &c;
    }
    return nullptr;
}

std::string percent(std::size_t errors, std::size_t chars) {
    return chars ? fixed(100.0 * double(errors) / double(chars), 2) + "%" : "-";
}

Table curve_points_table(const BandResults& r) {
    Table t({first("case"), column("speed"), column("snr_db", 1), column("overs"), column("chars"),
             column("band_errors"), column("weak_errors"), column("band_cer", 5),
             column("weak_cer", 5), column("unlisted"), column("wrong_speed_lines"),
             column("others"), column("others_listed"), column("others_cer", 5),
             column("false_lines")});
    const std::pair<const char*, const std::optional<std::vector<PairCurve>>*> kinds[] = {
        {"alone", &r.alone}, {"crowd", &r.crowd}, {"neighbour", &r.neighbour}};
    for (const auto& [name, curves] : kinds) {
        if (!*curves) continue;
        for (const PairCurve& c : **curves) {
            for (const PairPoint& p : c.points)
                t.add({name, c.speed, p.snr_db, p.overs, p.chars, p.band_errors, p.weak_errors,
                       p.band_cer(), p.weak_cer(), p.unlisted, p.wrong_speed, p.others,
                       p.others_listed, p.others_cer(), p.false_lines});
        }
    }
    return t;
}

Table calls_csv(const SpeedTrials& s) {
    Table t({column("speed"), column("snr_db", 1), column("freq_hz", 1), column("chars"),
             column("listed"), column("errors"), column("wrong_speed_lines"), column("ids"),
             column("found_s", 3), column("found_speed"), column("weak_lock_s", 3),
             column("found_after_weak_symbols", 2), column("latency_max_s", 3),
             column("line_latency_max_s", 3)});
    for (const CallResult& c : s.calls) {
        const auto max_of = [](const std::vector<double>& v) {
            return v.empty() ? std::optional<double>()
                             : std::optional<double>(*std::max_element(v.begin(), v.end()));
        };
        t.add({c.speed, c.snr_db, c.freq_hz, c.chars, c.listed ? 1 : 0, c.errors,
               c.wrong_speed_lines, c.ids, c.found_s, c.found_speed, c.weak_lock_s,
               c.found_after_weak_symbols(), max_of(c.latency_s), max_of(c.line_latency_s)});
    }
    return t;
}

Table cost_csv(const CostResults& c) {
    Table t({first("table"), column("stations"), column("stations_in_range"), column("from_hz", 0),
             column("to_hz", 0), column("audio_s", 1), column("cpu_s", 3), column("wall_s", 3),
             column("cpu_factor", 1), column("wall_factor", 1)});
    for (const auto& [name, runs] :
         {std::pair{"stations", &c.by_stations}, {"width", &c.by_width}}) {
        for (const CostRun& run : *runs)
            t.add({name, run.stations, run.stations_in_range, run.range.from_hz, run.range.to_hz,
                   run.audio_s, run.cpu_s, run.wall_s, run.cpu_factor(), run.wall_factor()});
    }
    return t;
}

Table false_csv(const BandResults& r) {
    Table t({first("case"), column("carrier_hz", 1), column("carrier_db", 1), column("speed"),
             column("audio_s", 1), column("false_lines"), column("station_listed"),
             column("station_errors"), column("station_chars")});
    if (r.noise)
        t.add({"noise alone", std::optional<double>(), std::optional<double>(), 0, r.noise->audio_s,
               r.noise->lines.size()});
    if (r.carriers) {
        for (const CarrierCase& c : *r.carriers)
            t.add({c.name, c.carrier_hz, c.carrier_db, c.speed, c.audio_s, c.false_lines,
                   c.speed ? (c.station_listed ? 1 : 0) : 0, c.station_errors, c.station_chars});
    }
    return t;
}

Table sensitivity_table(const std::vector<PairCurve>& curves) {
    Table t({first("Speed"), column("Weak receiver 5%"), column("Band receiver 5%"),
             db("Band minus weak"), column("Within 0.5 dB"), column("Overs not listed"),
             column("Lines at a wrong speed")});
    for (const PairCurve& c : curves) {
        int unlisted = 0;
        std::size_t wrong = 0;
        for (const PairPoint& p : c.points) {
            unlisted += p.unlisted;
            wrong += p.wrong_speed;
        }
        const auto gap = difference(c.band5(), c.weak5());
        t.add({c.speed, crossing_text(c.weak5(), c.points), crossing_text(c.band5(), c.points), gap,
               verdict(gap, kAloneTargetDb),
               std::to_string(unlisted) + " of " +
                   std::to_string(c.points.empty() ? 0 : c.points.size() * c.points[0].overs),
               wrong});
    }
    return t;
}

// With company: the band receiver against its own point alone, and the weak receiver beside it.
Table company_table(const std::vector<PairCurve>& curves,
                    const std::optional<std::vector<PairCurve>>& alone, double target,
                    const char* others_name) {
    Table t({first("Speed"), column("Band alone 5%"), column("Band here 5%"), db("Cost"),
             column(target < 0.75 ? "Within 0.5 dB" : "Within 1 dB"), column("Weak alone 5%"),
             column("Weak here 5%"), db("Weak cost"), column(others_name), column("Their CER"),
             column("False lines")});
    for (const PairCurve& c : curves) {
        const PairCurve* a = curve_of(alone, c.speed);
        int others = 0, listed = 0;
        std::size_t chars = 0, errors = 0, false_lines = 0;
        for (const PairPoint& p : c.points) {
            others += p.others;
            listed += p.others_listed;
            chars += p.others_chars;
            errors += p.others_errors;
            false_lines += p.false_lines;
        }
        const auto cost = a ? difference(c.band5(), a->band5()) : std::nullopt;
        const auto weak_cost = a ? difference(c.weak5(), a->weak5()) : std::nullopt;
        t.add({c.speed, a ? crossing_text(a->band5(), a->points) : std::string("-"),
               crossing_text(c.band5(), c.points), cost, verdict(cost, target),
               a ? crossing_text(a->weak5(), a->points) : std::string("-"),
               crossing_text(c.weak5(), c.points), weak_cost,
               std::to_string(listed) + " of " + std::to_string(others) + " listed",
               percent(errors, chars), false_lines});
    }
    return t;
}

Table speed_table(const SpeedTrials& s) {
    Table t({first("Speed"), column("Calls"), column("Listed"), column("Speed wrong"),
             column("Speed found (library)"), number("Found after weak lock, median", 1, " sym"),
             number("95%", 1, " sym"), number("Most", 1, " sym"),
             column("Within weak lock + 4 symbols"), column("CER")});
    for (const uint32_t speed : {1u, 2u, 4u}) {
        int calls = 0, listed = 0, wrong = 0, found = 0, within = 0, timed = 0;
        std::size_t chars = 0, errors = 0;
        std::vector<double> after;
        for (const CallResult& c : s.calls) {
            if (c.speed != speed) continue;
            ++calls;
            listed += c.listed ? 1 : 0;
            // Wrong when any line or the library's station gave another speed.
            wrong += (c.wrong_speed_lines > 0 || (c.found_s && c.found_speed != c.speed)) ? 1 : 0;
            found += c.found_s ? 1 : 0;
            chars += c.chars;
            errors += c.errors;
            if (const auto a = c.found_after_weak_symbols()) {
                ++timed;
                after.push_back(*a);
                within += *a <= kFoundTargetSymbols ? 1 : 0;
            }
        }
        if (calls == 0) continue;
        t.add({speed, calls, std::to_string(listed) + " of " + std::to_string(calls),
               std::to_string(wrong) + " of " + std::to_string(calls),
               std::to_string(found) + " of " + std::to_string(calls), percentile(after, 0.5),
               percentile(after, 0.95), percentile(after, 1.0),
               std::to_string(within) + " of " + std::to_string(timed), percent(errors, chars)});
    }
    return t;
}

Table latency_table(const SpeedTrials& s) {
    Table t({first("Speed"), column("Characters timed"), number("Median", 2, " sym"),
             number("95%", 2, " sym"), number("Most", 2, " sym"), column("Within 2 symbols"),
             column("Line ends timed"), number("Line end, most", 2, " sym")});
    for (const uint32_t speed : {1u, 2u, 4u}) {
        std::vector<double> chars, lines;
        for (const CallResult& c : s.calls) {
            if (c.speed != speed) continue;
            for (const double l : c.latency_s)
                chars.push_back(l / c.symbol_s);
            for (const double l : c.line_latency_s)
                lines.push_back(l / c.symbol_s);
        }
        const auto within = std::count_if(chars.begin(), chars.end(),
                                          [](double l) { return l <= kLatencyTargetSymbols; });
        t.add({speed, chars.size(), percentile(chars, 0.5), percentile(chars, 0.95),
               percentile(chars, 1.0),
               std::to_string(within) + " of " + std::to_string(chars.size()), lines.size(),
               percentile(lines, 1.0)});
    }
    return t;
}

Table false_table(const BandResults& r) {
    Table t({first("Case"), column("Audio"), column("False lines"), column("Per hour"),
             column("Station beside it")});
    if (r.noise)
        t.add({"white noise alone, 200..2800 Hz", fixed(r.noise->audio_s / 60.0, 1) + " min",
               r.noise->lines.size(), fixed(r.noise->lines_per_hour(), 1), "-"});
    if (r.carriers) {
        for (const CarrierCase& c : *r.carriers) {
            std::string name = "carrier " + signed_fixed(c.carrier_db, 0) + " dB at " +
                               fixed(c.carrier_hz, 1) + " Hz";
            std::string station = "-";
            if (c.speed) {
                name += ", station at " + fixed(c.station_hz, 0) + " Hz";
                station = "speed " + std::to_string(c.speed) + " at " +
                          signed_fixed(c.station_snr_db, 0) +
                          " dB: " + (c.station_listed ? "listed" : "not listed") + ", CER " +
                          percent(c.station_errors, c.station_chars) +
                          (c.wrong_speed_lines ? ", wrong speed" : "");
            }
            t.add({name, fixed(c.audio_s, 0) + " s", c.false_lines,
                   fixed(c.false_lines * 3600.0 / std::max(c.audio_s, 1.0), 0), station});
        }
    }
    return t;
}

// A bar of `factor` on a log scale: one '#' per doubling above 1.
std::string bar(double factor) {
    if (factor <= 1.0) return "";
    return std::string(static_cast<std::size_t>(std::lround(std::log2(factor))), '#');
}

Table cost_table(const std::vector<CostRun>& runs, bool by_width) {
    std::vector<Column> columns;
    if (by_width) {
        columns = {first("Width"), column("Stretch"), column("Stations in it")};
    } else {
        columns = {first("Stations")};
    }
    for (Column c : {column("Audio", 1, " s"), column("CPU", 2, " s"), column("Wall", 2, " s"),
                     column("Real time / CPU", 0, "x"), column("Real time / wall", 0, "x")})
        columns.push_back(c);
    Column plot = column("log2 of real time / CPU");
    plot.align = Align::Left;
    columns.push_back(plot);
    if (!by_width) columns.push_back(column("4x headroom"));
    Table t(columns);
    for (const CostRun& r : runs) {
        std::vector<Cell> row;
        if (by_width) {
            row = {fixed(r.range.to_hz - r.range.from_hz, 0) + " Hz",
                   fixed(r.range.from_hz, 0) + ".." + fixed(r.range.to_hz, 0) + " Hz",
                   std::to_string(r.stations_in_range) + " of " + std::to_string(r.stations)};
        } else {
            row = {r.stations};
        }
        for (Cell c : {Cell(r.audio_s), Cell(r.cpu_s), Cell(r.wall_s), Cell(r.cpu_factor()),
                       Cell(r.wall_factor())})
            row.push_back(c);
        row.emplace_back("`" + bar(r.cpu_factor()) + "`");
        if (!by_width) row.emplace_back(r.cpu_factor() >= kCostTargetFactor ? "yes" : "no");
        t.add(std::move(row));
    }
    return t;
}

} // namespace

std::optional<double> percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(
        std::ceil(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

std::vector<NamedText> band_csv_files(const BandResults& r) {
    std::vector<NamedText> out;
    if (r.alone || r.crowd || r.neighbour)
        out.emplace_back("band_curves.csv", curve_points_table(r).csv());
    if (r.calls) out.emplace_back("band_calls.csv", calls_csv(*r.calls).csv());
    if (r.noise || r.carriers) out.emplace_back("band_false.csv", false_csv(r).csv());
    if (r.cost) out.emplace_back("band_cost.csv", cost_csv(*r.cost).csv());
    return out;
}

std::vector<NamedText> band_document_blocks(const BandResults& r, const BandRunInfo& info) {
    std::vector<NamedText> out;
    std::string run = std::string(info.quick ? "A --quick run" : "The full run") + ": " +
                      std::to_string(info.sweep_repeats) + " overs a point alone, " +
                      std::to_string(info.company_repeats) + " recordings a point with company";
    if (r.calls) run += ", " + std::to_string(r.calls->calls.size()) + " calls";
    if (r.noise) run += ", " + fixed(r.noise->audio_s / 60.0, 0) + " min of noise";
    run += "; " + std::to_string(info.jobs) + " jobs on " + info.machine + ", " +
           fixed(info.elapsed_s / 60.0, 1) + " minutes.\n";
    out.emplace_back("band-run", run);
    if (r.alone) out.emplace_back("band-sensitivity", sensitivity_table(*r.alone).markdown());
    if (r.crowd)
        out.emplace_back(
            "band-crowd",
            company_table(*r.crowd, r.alone, kCrowdTargetDb, "Other stations").markdown());
    if (r.neighbour)
        out.emplace_back(
            "band-neighbour",
            company_table(*r.neighbour, r.alone, kNeighbourTargetDb, "Neighbour").markdown());
    if (r.calls) {
        out.emplace_back(
            "band-speed",
            speed_table(*r.calls).markdown() +
                "\nThe tool's lines were the library's, line for line (the time within one of the "
                "tool's 256 ms blocks), on " +
                std::to_string(r.calls->tool_agreed) + " of the " +
                std::to_string(r.calls->tool_recordings) + " recordings it was also run on; " +
                std::to_string(r.calls->false_lines) + " lines near no call in all.\n");
        out.emplace_back("band-latency", latency_table(*r.calls).markdown());
    }
    if (r.noise || r.carriers) out.emplace_back("band-false", false_table(r).markdown());
    if (r.cost) {
        out.emplace_back("band-cost", cost_table(r.cost->by_stations, false).markdown());
        out.emplace_back("band-width", cost_table(r.cost->by_width, true).markdown());
    }
    return out;
}

} // namespace quavel::perf
