#include "commands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "error_rate.h"
#include "measurements.h"
#include "report.h"
#include "report_csv.h"
#include "report_tables.h"
#include "tool_check.h"

namespace quavel::perf {

namespace {

// 241 characters: every letter, every digit, the punctuation and the three escaped characters,
// in the words of an ordinary contact.
constexpr const char* kText =
    "CQ CQ DE G4ABC G4ABC K. R R TNX FOR CALL, OM. UR RST 579 579 = NAME PETER, QTH LONDON "
    "(IO91). RIG 100 W, ANT DIPOLE AT 12 M. WX 15 C, RAIN. QSL VIA PETER@EXAMPLE.ORG / THE QUICK "
    "BROWN FOX JUMPS OVER THE LAZY DOG'S BACK 1234567890. HW CPY? BK";
// An over of a more usual length, 142 characters: the same contact without its long tail, so
// that what is lost before the lock weighs more.
constexpr const char* kShortText =
    "CQ CQ DE G4ABC G4ABC K. R R TNX FOR CALL, OM. UR RST 579 579 = NAME PETER, QTH LONDON "
    "(IO91). RIG 100 W, ANT DIPOLE AT 12 M. WX 15 C, RAIN. BK";

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quavel_sensitivity.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "quavel_sensitivity: %s\n", message.c_str());
    return 1;
}

// The scoring itself, on cases worked by hand.
bool scoring_holds() {
    const std::vector<CerPoint> curve{{-10, 0.5}, {-9, 0.1}, {-8, 0.01}, {-7, 0.0}, {-6, 0.0}};
    const Crossing five = snr_at_cer(curve, 0.05);  // 0.1 -> 0.01 in log: 0.301 of the way
    const Crossing one = snr_at_cer(curve, 0.01);   // exactly at -8: last point above is -9
    const Crossing half = snr_at_cer(curve, 0.005); // 0.01 -> 0: linear, half way
    const std::vector<CerPoint> floor{{-3, 0.2}, {-2, 0.03}};
    return edit_distance("KITTEN", "SITTING") == 3 && edit_distance("", "ABC") == 3 &&
           edit_distance("CQ CQ", "CQ CQ") == 0 && edit_distance("TNX", "TNXX") == 1 &&
           five.kind == Crossing::Kind::At && std::abs(five.snr_db - (-9 + 0.30103)) < 1e-4 &&
           one.kind == Crossing::Kind::At && std::abs(one.snr_db - (-8)) < 1e-9 &&
           half.kind == Crossing::Kind::At && std::abs(half.snr_db - (-7.5)) < 1e-9 &&
           snr_at_cer(floor, 0.01).kind == Crossing::Kind::Floor &&
           snr_at_cer(floor, 0.5).kind == Crossing::Kind::BelowRange;
}

// The transmissions of each AFC, clock, acquisition and drift point: half an SNR point's, at
// least two.
int side_repeats(const Options& o) {
    return std::max(2, o.repeats / 2);
}

// One seed, the lead-in moved across a whole symbol in `o.trace_leads` steps.
void trace_leads(const Options& o, const Transmission& tx, const TrialOptions& options) {
    const auto& [speed, kind, snr_db] = *o.trace;
    const auto results = run_parallel(o.trace_leads, o.jobs, [&](int k) {
        TrialSpec spec = trial_spec(kind, snr_db, speed, 0, tx.symbol_samples);
        spec.lead_samples = static_cast<std::size_t>(k) * tx.symbol_samples / o.trace_leads;
        return run_trial(tx, spec, options);
    });
    for (int k = 0; k < o.trace_leads; ++k) {
        const TrialResult& t = results[static_cast<std::size_t>(k)];
        const std::string limit =
            options.limit ? ", limit " + std::to_string(t.limit_errors) + " errors" : "";
        std::printf("lead-in %5zu samples (%.3f N): receiver %3zu errors, weak %3zu errors, "
                    "ideal %3zu errors%s\n",
                    static_cast<std::size_t>(k) * tx.symbol_samples / o.trace_leads,
                    double(k) / o.trace_leads, t.receiver_errors, t.weak_errors, t.ideal_errors,
                    limit.c_str());
        if (t.receiver_errors > 0) std::printf("  receiver %s\n", t.receiver_text.c_str());
        if (t.weak_errors > 0) std::printf("  weak     %s\n", t.weak_text.c_str());
        if (t.ideal_errors > 0) std::printf("  ideal    %s\n", t.ideal_text.c_str());
        if (options.limit && t.limit_errors > 0)
            std::printf("  limit    %s\n", t.limit_text.c_str());
    }
}

std::string read_machine() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown";
}

// Every part the options ask for, in the order the progress lines have always come in. False,
// with `error` set, when the receive tool cannot be timed.
bool measure(const Options& o, const std::map<uint32_t, Transmission>& txs,
             const std::map<uint32_t, Transmission>& short_txs, const std::string& dir,
             Measurements& m, std::size_t& sweep_transmissions, std::string& error) {
    SweepSettings settings;
    settings.repeats = o.repeats;
    settings.jobs = o.jobs;
    settings.trial.ideal_segments = o.ideal_segments;
    settings.trial.ideal_model = o.ideal_model;
    settings.trial.limit = o.limit;
    const auto sweep_cost = [&](const std::vector<SnrPoint>& points) {
        sweep_transmissions += points.size() * static_cast<std::size_t>(o.repeats);
    };
    for (const uint32_t speed : o.speeds) {
        for (const ChannelKind kind : o.channels) {
            m.curves.push_back(measure_curve(txs.at(speed), kind, settings));
            sweep_cost(m.curves.back().points);
        }
    }
    // Every speed has an AWGN curve if the channels include AWGN.
    const bool awgn =
        std::find(o.channels.begin(), o.channels.end(), ChannelKind::Awgn) != o.channels.end();
    if (o.diagnostics && awgn) {
        m.diagnostics.emplace();
        for (const uint32_t speed : o.speeds) {
            m.diagnostics->push_back(measure_diagnostics(txs.at(speed), settings));
            for (const ReceiverVariant& v : m.diagnostics->back().variants)
                sweep_cost(v.points);
        }
    }
    if (o.lead) {
        m.lead.emplace();
        for (const uint32_t speed : o.speeds) {
            for (LeadRun& run : measure_lead(txs.at(speed), o.jobs))
                m.lead->push_back(std::move(run));
        }
    }
    const int side = side_repeats(o);
    if (o.afc) m.afc.emplace();
    if (o.clock) m.clock.emplace();
    for (const uint32_t speed : o.speeds) {
        if (o.afc) m.afc->push_back(measure_afc(txs.at(speed), side, o.jobs));
        if (o.clock) {
            for (ClockRun& run : measure_clock(txs.at(speed), side, o.jobs))
                m.clock->push_back(std::move(run));
        }
    }
    if (o.weak_extras) {
        m.weak.emplace();
        for (const uint32_t speed : o.speeds) {
            const auto short_tx = short_txs.find(speed);
            m.weak->push_back(measure_weak_extras(
                txs.at(speed), short_tx == short_txs.end() ? nullptr : &short_tx->second, awgn,
                settings, side));
            if (m.weak->back().open_squelch) sweep_cost(*m.weak->back().open_squelch);
            if (m.weak->back().short_over) sweep_cost(*m.weak->back().short_over);
        }
    }
    if (o.rtf) {
        m.realtime.emplace();
        for (const uint32_t speed : o.speeds) {
            const auto runs = measure_realtime(o.tool, txs.at(speed), dir, error);
            if (!runs) return false;
            m.realtime->insert(m.realtime->end(), runs->begin(), runs->end());
        }
    }
    return true;
}

} // namespace

int run_smoke(const Options& o) {
    if (!scoring_holds()) return fail("the edit distance or the threshold interpolation is wrong");
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    std::string error;
    const auto tx = make_transmission(o.tool, 4, kText, dir.path(), error);
    if (!tx) return fail(error);
    std::map<uint32_t, Transmission> txs{{4, *tx}};
    std::string log;
    const bool tools_agree = check_tools(o.tool, txs, false, dir.path(), log);
    std::fputs(log.c_str(), stdout);
    if (!tools_agree) return fail("the tools and the library path disagree");

    // Clean: both must copy every character. Then a short sweep, printed, not judged.
    TrialSpec clean;
    clean.lead_samples = 777;
    const TrialResult r = run_trial(*tx, clean, {});
    std::printf("speed 4, no noise: receiver %zu errors, weak %zu errors, ideal %zu errors, "
                "limit %zu errors\n",
                r.receiver_errors, r.weak_errors, r.ideal_errors, r.limit_errors);
    if (!r.error.empty() || r.receiver_errors != 0 || r.weak_errors != 0 || r.ideal_errors != 0 ||
        r.limit_errors != 0)
        return fail("a clean signal was not copied perfectly:\n  receiver '" + r.receiver_text +
                    "'\n  weak     '" + r.weak_text + "'\n  ideal    '" + r.ideal_text +
                    "'\n  limit    '" + r.limit_text + "'");
    for (const double snr : {-14.0, -10.0, -6.0}) {
        const SnrPoint p = evaluate_point(*tx, ChannelKind::Awgn, snr, 2, o.jobs);
        std::printf("speed 4, awgn %+.0f dB: receiver CER %.4f, weak CER %.4f, ideal CER %.4f, "
                    "limit CER %.4f\n",
                    snr, p.receiver_cer(), p.weak_cer(), p.ideal_cer(), p.limit_cer());
    }
    return 0;
}

int run_trace(const Options& o) {
    const auto& [speed, kind, snr_db] = *o.trace;
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    std::string error;
    const auto tx = make_transmission(o.tool, speed, kText, dir.path(), error);
    if (!tx) return fail(error);
    TrialOptions options;
    options.ideal_segments = o.ideal_segments;
    options.ideal_model = o.ideal_model;
    options.limit = o.limit;
    if (o.trace_leads > 0) {
        trace_leads(o, *tx, options);
        return 0;
    }
    const auto results = run_parallel(o.repeats, o.jobs, [&](int r) {
        return run_trial(*tx, trial_spec(kind, snr_db, speed, r, tx->symbol_samples), options);
    });
    std::printf("sent      %s\n", tx->text.c_str());
    for (int r = 0; r < o.repeats; ++r) {
        const TrialSpec spec = trial_spec(kind, snr_db, speed, r, tx->symbol_samples);
        const TrialResult& t = results[static_cast<std::size_t>(r)];
        const std::string limit_errors =
            options.limit ? ", limit " + std::to_string(t.limit_errors) + " errors" : "";
        const std::string limit_text = options.limit ? "  limit    " + t.limit_text + "\n" : "";
        std::printf("repeat %d: seed %llu, lead-in %zu samples, receiver %zu errors (AFC ends at "
                    "%u Hz), weak %zu errors (at %.2f Hz), ideal %zu errors%s\n"
                    "  receiver %s\n  weak     %s\n  ideal    %s\n%s",
                    r, static_cast<unsigned long long>(spec.channel.seed), spec.lead_samples,
                    t.receiver_errors, t.final_centre_hz, t.weak_errors, t.weak_frequency_hz,
                    t.ideal_errors, limit_errors.c_str(), t.receiver_text.c_str(),
                    t.weak_text.c_str(), t.ideal_text.c_str(), limit_text.c_str());
    }
    return 0;
}

int run_full(const Options& o) {
    const auto started = std::chrono::steady_clock::now();
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    std::map<uint32_t, Transmission> txs;
    for (const uint32_t speed : o.speeds) {
        std::string error;
        const auto tx = make_transmission(o.tool, speed, kText, dir.path(), error);
        if (!tx) return fail(error);
        txs.emplace(speed, *tx);
    }
    // The short overs, in a folder of their own (the real-time run reads the long ones).
    std::map<uint32_t, Transmission> short_txs;
    if (o.weak_extras) {
        const std::string short_dir = dir.path() + "/short";
        std::error_code ec;
        std::filesystem::create_directory(short_dir, ec);
        for (const uint32_t speed : o.speeds) {
            std::string error;
            const auto tx = make_transmission(o.tool, speed, kShortText, short_dir, error);
            if (!tx) return fail(error);
            short_txs.emplace(speed, *tx);
        }
    }
    std::string tool_log;
    const bool tools_agree = check_tools(o.tool, txs, true, dir.path(), tool_log);
    std::fputs(tool_log.c_str(), stderr);
    if (!tools_agree) return fail("the tools and the library path disagree");

    Measurements m;
    std::size_t trials = 0;
    std::string error;
    if (!measure(o, txs, short_txs, dir.path(), m, trials, error)) return fail(error);
    const double elapsed_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    for (const auto& [name, content] : csv_files(m)) {
        if (!write_file(o.out_dir + "/" + name, content, error)) return fail(error);
    }
    std::printf("%s\n%s\n", threshold_table(m.curves).markdown().c_str(),
                comparison_table(m.curves).markdown().c_str());
    if (!o.doc.empty()) {
        const RunInfo info{.text_chars = std::string(kText).size(),
                           .repeats = o.repeats,
                           .side_repeats = side_repeats(o),
                           .jobs = o.jobs,
                           .sweep_transmissions = trials,
                           .machine = read_machine(),
                           .logical_cpus = std::thread::hardware_concurrency(),
                           .elapsed_s = elapsed_s,
                           .tool_log = tool_log};
        for (const auto& [name, content] : document_blocks(m, info)) {
            if (!splice_block(o.doc, name, content, error)) return fail(error);
        }
    }
    std::fprintf(stderr, "quavel_sensitivity: %zu transmissions in %.1f minutes\n", trials,
                 elapsed_s / 60.0);
    return 0;
}

} // namespace quavel::perf
