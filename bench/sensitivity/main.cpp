// quavel_sensitivity: measures how well the receive chain copies text through a simulated HF
// channel, against an ideal detector that is told the symbol timing and the frequency.
//
// The audio is made by the real 'quavel-modem tx'. The channel and the receiver are called as
// the libraries the 'quavel-modem channel' and 'quavel-modem rx' tools call, which is much faster
// than running them as processes for every trial; at the start of every run the tools are run on
// sample cases and must agree with the library path (see tool_check.h).
//
//   quavel_sensitivity --smoke            a quick check of the whole path (CI)
//   quavel_sensitivity [OPTIONS]          the full measurement, CSV files and document tables
//   quavel_sensitivity --splice DOC NAME FILE
//                                         put FILE's text into block NAME of DOC
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "error_rate.h"
#include "platform/wav/wav_file.h"
#include "process.h"
#include "receive_run.h"
#include "report.h"
#include "sweep.h"
#include "tool_check.h"
#include "tools/command_line/command_line.h"
#include "trial.h"
#include "weak_measure.h"

#ifndef QUAVEL_MODEM_TOOL
#define QUAVEL_MODEM_TOOL "quavel-modem"
#endif

namespace quavel::perf {
namespace {

// 241 characters: every letter, every digit, the punctuation and the three escaped characters,
// in the words of an ordinary contact.
constexpr const char* kText =
    "CQ CQ DE G4ABC G4ABC K. R R TNX FOR CALL, OM. UR RST 579 579 = NAME PETER, QTH LONDON "
    "(IO91). RIG 100 W, ANT DIPOLE AT 12 M. WX 15 C, RAIN. QSL VIA PETER@EXAMPLE.ORG / THE QUICK "
    "BROWN FOX JUMPS OVER THE LAZY DOG'S BACK 1234567890. HW CPY? BK";

struct Options {
    bool smoke = false;
    // --trace: every trial of one point, with its texts.
    std::optional<std::tuple<uint32_t, ChannelKind, double>> trace;
    int trace_leads = 0; // --leads K: the trace at lead-ins 0, N/K, 2N/K ... instead
    std::string tool = QUAVEL_MODEM_TOOL;
    std::string out_dir = ".";
    std::string doc; // empty: no document update
    int repeats = 8;
    int jobs = 2;
    std::vector<uint32_t> speeds{1, 2, 4};
    std::vector<ChannelKind> channels{std::begin(kChannelKinds), std::end(kChannelKinds)};
    bool afc = true;
    bool clock = true;
    bool rtf = true;
    bool diagnostics = true;
    bool lead = true;
    bool weak_extras = true; // squelch, acquisition and drift of the weak-signal receiver
    int ideal_segments = 0;  // 0: from the channel's Doppler spread
    TrialOptions::IdealModel ideal_model = TrialOptions::IdealModel::Auto;
};

void usage(std::FILE* out) {
    std::fputs(
        "usage: quavel_sensitivity --smoke [--tool PATH]\n"
        "       quavel_sensitivity [--out DIR] [--doc FILE.md] [--repeats R] [--jobs J]\n"
        "                          [--speeds 1,2,4] [--channels awgn,quiet,moderate,disturbed]\n"
        "                          [--no-afc] [--no-clock] [--no-rtf] [--no-diagnostics]\n"
        "                          [--no-lead] [--no-weak-extras]\n"
        "                          [--ideal-segments K] [--ideal-model locked|free|fading]\n"
        "                          [--tool PATH]\n"
        "       quavel_sensitivity --trace SPEED CHANNEL SNR [--repeats R | --leads K]\n"
        "       quavel_sensitivity --splice DOC.md NAME FILE\n"
        "\n"
        "Sends a fixed text of 241 characters through 'quavel-modem tx', the simulated HF\n"
        "channel and both receivers (classic and weak-signal), and measures the character error\n"
        "rate against the SNR in 2500 Hz, beside an ideal detector told the symbol timing and\n"
        "the frequency. Writes\n"
        "perf_*.csv into DIR and, with --doc, the tables into the document's generated blocks.\n",
        out);
}

std::optional<std::vector<std::string>> split(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    if (items.empty()) return std::nullopt;
    return items;
}

// A whole number low..high, or nothing.
std::optional<int> number(const std::string& v, int low, int high) {
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (end == v.c_str() || *end != '\0' || n < low || n > high) return std::nullopt;
    return static_cast<int>(n);
}

// An option taking a whole number low..high into `out`; `refusal` when it is missing or not one.
void number_option(tools::CommandLine& cli, const std::string& name, int low, int high, int& out,
                   const std::string& refusal) {
    cli.option(
        name,
        [&out, low, high, refusal](const std::string& v) -> std::string {
            const auto n = number(v, low, high);
            if (!n) return refusal;
            out = *n;
            return {};
        },
        refusal);
}

const ChannelKind* find_channel(const std::string& name) {
    const auto* it = std::find_if(std::begin(kChannelKinds), std::end(kChannelKinds),
                                  [&](ChannelKind k) { return name == channel_name(k); });
    return it == std::end(kChannelKinds) ? nullptr : it;
}

// Returns an exit code when the command is finished (help, usage error, splice).
std::optional<int> parse(int argc, char** argv, Options& o) {
    tools::CommandLine cli("quavel_sensitivity", "Try 'quavel_sensitivity --help'.");
    cli.help(usage);
    cli.flag("--smoke", o.smoke);
    for (auto [name, out] : {std::pair{"--tool", &o.tool}, std::pair{"--out", &o.out_dir},
                             std::pair{"--doc", &o.doc}}) {
        cli.option(name, [name, out](const std::string& v) -> std::string {
            if (v.empty()) return std::string(name) + " needs a value";
            *out = v;
            return {};
        });
    }
    number_option(cli, "--repeats", 1, 100, o.repeats, "--repeats needs a number 1..100");
    cli.option(
        "--ideal-model",
        [&o](const std::string& v) -> std::string {
            if (v == "locked")
                o.ideal_model = TrialOptions::IdealModel::LockedPhase;
            else if (v == "free")
                o.ideal_model = TrialOptions::IdealModel::FreePhase;
            else if (v == "fading")
                o.ideal_model = TrialOptions::IdealModel::Fading;
            else
                return "--ideal-model needs locked, free or fading";
            return {};
        },
        "--ideal-model needs locked, free or fading");
    number_option(cli, "--ideal-segments", 1, 16, o.ideal_segments, "--ideal-segments needs 1..16");
    number_option(cli, "--leads", 1, 1024, o.trace_leads, "--leads needs a number 1..1024");
    number_option(cli, "--jobs", 1, 64, o.jobs, "--jobs needs a number 1..64");
    cli.option(
        "--speeds",
        [&o](const std::string& v) -> std::string {
            const auto items = split(v);
            if (!items) return "--speeds needs a list such as 1,2,4";
            o.speeds.clear();
            for (const std::string& s : *items) {
                if (s != "1" && s != "2" && s != "4") return "speeds are 1, 2 and 4";
                o.speeds.push_back(static_cast<uint32_t>(std::stoul(s)));
            }
            return {};
        },
        "--speeds needs a list such as 1,2,4");
    cli.option(
        "--channels",
        [&o](const std::string& v) -> std::string {
            const auto items = split(v);
            if (!items) return "--channels needs a list such as awgn,quiet";
            o.channels.clear();
            for (const std::string& name : *items) {
                const ChannelKind* kind = find_channel(name);
                if (!kind) return "unknown channel '" + name + "'";
                o.channels.push_back(*kind);
            }
            return {};
        },
        "--channels needs a list such as awgn,quiet");
    bool no_afc = false, no_clock = false, no_rtf = false, no_diagnostics = false, no_lead = false;
    bool no_weak_extras = false;
    cli.flag("--no-afc", no_afc);
    cli.flag("--no-clock", no_clock);
    cli.flag("--no-rtf", no_rtf);
    cli.flag("--no-diagnostics", no_diagnostics);
    cli.flag("--no-lead", no_lead);
    cli.flag("--no-weak-extras", no_weak_extras);
    cli.option(
        "--trace", 3,
        [&o](const std::vector<std::string>& v) -> std::string {
            const std::string& speed = v[0];
            const ChannelKind* kind = find_channel(v[1]);
            char* end = nullptr;
            const double snr_db = std::strtod(v[2].c_str(), &end);
            if ((speed != "1" && speed != "2" && speed != "4") || !kind || end == v[2].c_str() ||
                *end != '\0')
                return "--trace needs a speed 1, 2 or 4, a channel and an SNR in dB";
            o.trace.emplace(static_cast<uint32_t>(std::stoul(speed)), *kind, snr_db);
            return {};
        },
        "--trace needs SPEED CHANNEL SNR");
    // --splice does its work as soon as it is read; nothing else on the line matters after it.
    std::optional<std::vector<std::string>> splice;
    cli.option(
        "--splice", 3,
        [&splice](const std::vector<std::string>& v) -> std::string {
            if (!splice) splice = v;
            return {};
        },
        "--splice needs DOC NAME FILE");
    if (const auto code = cli.parse(std::vector<std::string>(argv + 1, argv + argc))) return code;
    o.afc = !no_afc;
    o.clock = !no_clock;
    o.rtf = !no_rtf;
    o.diagnostics = !no_diagnostics;
    o.lead = !no_lead;
    o.weak_extras = !no_weak_extras;

    if (splice) {
        const std::string& doc = (*splice)[0];
        const std::string& name = (*splice)[1];
        const std::string& file = (*splice)[2];
        std::ifstream in(file, std::ios::binary);
        if (!in) return cli.usage_error("cannot read " + file);
        std::stringstream content;
        content << in.rdbuf();
        std::string error;
        if (!splice_block(doc, name, content.str(), error)) return cli.usage_error(error);
        return 0;
    }
    return std::nullopt;
}

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string signed_db(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f", value);
    return text;
}

std::string describe(const Crossing& c, const std::vector<CerPoint>& curve) {
    switch (c.kind) {
    case Crossing::Kind::At:
        return signed_db(c.snr_db);
    case Crossing::Kind::Floor:
        return "not reached (" + signed_db(curve.empty() ? 0.0 : curve.back().snr_db) + " max)";
    case Crossing::Kind::BelowRange:
        return "< " + signed_db(curve.empty() ? 0.0 : curve.front().snr_db);
    }
    return "?";
}

// Where each sweep starts: about the receiver's 5% point, so that few points are wasted.
// The weak-signal receiver's squelch is run on this much noise alone per speed, and on this
// much after a transmission; a drifting signal moves at this rate.
constexpr double kNoiseMinutes = 10.0;
constexpr double kTailSeconds = 10.0;
constexpr double kDriftHzPerSecond = 0.1;

int start_db(uint32_t speed, ChannelKind kind) {
    const int awgn = speed == 1 ? -15 : (speed == 2 ? -13 : -10);
    return kind == ChannelKind::Awgn ? awgn : awgn + 6;
}

struct Curve {
    uint32_t speed = 0;
    ChannelKind kind = ChannelKind::Awgn;
    std::vector<SnrPoint> points;
};

std::vector<CerPoint> receiver_curve(const Curve& c) {
    std::vector<CerPoint> out;
    for (const SnrPoint& p : c.points)
        out.push_back({p.snr_db, p.receiver_cer()});
    return out;
}

std::vector<CerPoint> weak_curve(const Curve& c) {
    std::vector<CerPoint> out;
    for (const SnrPoint& p : c.points)
        out.push_back({p.snr_db, p.weak_cer()});
    return out;
}

std::vector<CerPoint> ideal_curve(const Curve& c) {
    std::vector<CerPoint> out;
    for (const SnrPoint& p : c.points)
        out.push_back({p.snr_db, p.ideal_cer()});
    return out;
}

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

// The tools against the library path on a few cases per speed: the channel at a level that
// does not clip, the receiver on levelled audio near its threshold and on a fading channel.
bool check_tools(const Options& o, const std::map<uint32_t, Transmission>& txs,
                 const std::string& dir, std::string& log) {
    bool all = true;
    for (const auto& [speed, tx] : txs) {
        std::vector<std::pair<std::string, ToolCheck>> checks;
        TrialSpec quiet = trial_spec(ChannelKind::Quiet, 20.0, speed, 0, tx.symbol_samples);
        checks.emplace_back("channel, quiet fading at +20 dB",
                            check_channel_tool(o.tool, tx, quiet, dir));
        const TrialSpec awgn = trial_spec(ChannelKind::Awgn, start_db(speed, ChannelKind::Awgn),
                                          speed, 1, tx.symbol_samples);
        checks.emplace_back("rx, awgn at " + signed_db(*awgn.channel.snr_db) + " dB",
                            check_receive_tool(o.tool, tx, awgn, dir));
        if (!o.smoke) {
            const TrialSpec disturbed =
                trial_spec(ChannelKind::Disturbed, 0.0, speed, 2, tx.symbol_samples);
            checks.emplace_back("rx, disturbed at +0.0 dB",
                                check_receive_tool(o.tool, tx, disturbed, dir));
        }
        for (const auto& [what, check] : checks) {
            log += "speed " + std::to_string(speed) + ", " + what + ": " +
                   (check.passed ? "agree" : "DIFFER") + " (" + check.detail + ")\n";
            all = all && check.passed;
        }
    }
    return all;
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

int run_smoke(const Options& o) {
    if (!scoring_holds()) return fail("the edit distance or the threshold interpolation is wrong");
    TempDir dir;
    if (dir.path().empty()) return fail("cannot make a temporary folder");
    std::string error;
    const auto tx = make_transmission(o.tool, 4, kText, dir.path(), error);
    if (!tx) return fail(error);
    std::map<uint32_t, Transmission> txs{{4, *tx}};
    std::string log;
    const bool tools_agree = check_tools(o, txs, dir.path(), log);
    std::fputs(log.c_str(), stdout);
    if (!tools_agree) return fail("the tools and the library path disagree");

    // Clean: both must copy every character. Then a short sweep, printed, not judged.
    TrialSpec clean;
    clean.lead_samples = 777;
    const TrialResult r = run_trial(*tx, clean, {});
    std::printf("speed 4, no noise: receiver %zu errors, weak %zu errors, ideal %zu errors\n",
                r.receiver_errors, r.weak_errors, r.ideal_errors);
    if (!r.error.empty() || r.receiver_errors != 0 || r.weak_errors != 0 || r.ideal_errors != 0)
        return fail("a clean signal was not copied perfectly:\n  receiver '" + r.receiver_text +
                    "'\n  weak     '" + r.weak_text + "'\n  ideal    '" + r.ideal_text + "'");
    for (const double snr : {-14.0, -10.0, -6.0}) {
        const SnrPoint p = evaluate_point(*tx, ChannelKind::Awgn, snr, 2, o.jobs);
        std::printf("speed 4, awgn %+.0f dB: receiver CER %.4f, weak CER %.4f, ideal CER %.4f\n",
                    snr, p.receiver_cer(), p.weak_cer(), p.ideal_cer());
    }
    return 0;
}

// Every trial of one point: lead-in, errors and what each detector printed.
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
    if (o.trace_leads > 0) {
        // One seed, the lead-in moved across a whole symbol.
        const auto results = run_parallel(o.trace_leads, o.jobs, [&](int k) {
            TrialSpec spec = trial_spec(kind, snr_db, speed, 0, tx->symbol_samples);
            spec.lead_samples = static_cast<std::size_t>(k) * tx->symbol_samples / o.trace_leads;
            return run_trial(*tx, spec, options);
        });
        for (int k = 0; k < o.trace_leads; ++k) {
            const TrialResult& t = results[static_cast<std::size_t>(k)];
            std::printf("lead-in %5zu samples (%.3f N): receiver %3zu errors, weak %3zu errors, "
                        "ideal %3zu errors\n",
                        static_cast<std::size_t>(k) * tx->symbol_samples / o.trace_leads,
                        double(k) / o.trace_leads, t.receiver_errors, t.weak_errors,
                        t.ideal_errors);
            if (t.receiver_errors > 0) std::printf("  receiver %s\n", t.receiver_text.c_str());
            if (t.weak_errors > 0) std::printf("  weak     %s\n", t.weak_text.c_str());
            if (t.ideal_errors > 0) std::printf("  ideal    %s\n", t.ideal_text.c_str());
        }
        return 0;
    }
    const auto results = run_parallel(o.repeats, o.jobs, [&](int r) {
        return run_trial(*tx, trial_spec(kind, snr_db, speed, r, tx->symbol_samples), options);
    });
    std::printf("sent      %s\n", tx->text.c_str());
    for (int r = 0; r < o.repeats; ++r) {
        const TrialSpec spec = trial_spec(kind, snr_db, speed, r, tx->symbol_samples);
        const TrialResult& t = results[static_cast<std::size_t>(r)];
        std::printf("repeat %d: seed %llu, lead-in %zu samples, receiver %zu errors (AFC ends at "
                    "%u Hz), weak %zu errors (at %.2f Hz), ideal %zu errors\n  receiver %s\n"
                    "  weak     %s\n  ideal    %s\n",
                    r, static_cast<unsigned long long>(spec.channel.seed), spec.lead_samples,
                    t.receiver_errors, t.final_centre_hz, t.weak_errors, t.weak_frequency_hz,
                    t.ideal_errors, t.receiver_text.c_str(), t.weak_text.c_str(),
                    t.ideal_text.c_str());
    }
    return 0;
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
    std::string tool_log;
    const bool tools_agree = check_tools(o, txs, dir.path(), tool_log);
    std::fputs(tool_log.c_str(), stderr);
    if (!tools_agree) return fail("the tools and the library path disagree");

    SweepSettings settings;
    settings.repeats = o.repeats;
    settings.jobs = o.jobs;
    settings.trial.ideal_segments = o.ideal_segments;
    settings.trial.ideal_model = o.ideal_model;
    std::vector<Curve> curves;
    std::size_t trials = 0;
    for (const uint32_t speed : o.speeds) {
        for (const ChannelKind kind : o.channels) {
            Curve c;
            c.speed = speed;
            c.kind = kind;
            // The fading curves are shallow: 2 dB steps describe them as well.
            SweepSettings curve_settings = settings;
            curve_settings.step_db = kind == ChannelKind::Awgn ? 1 : 2;
            c.points = sweep_snr(txs.at(speed), kind, start_db(speed, kind), curve_settings,
                                 [&](const SnrPoint& p) {
                                     std::fprintf(stderr,
                                                  "speed %u %-9s %+3.0f dB: receiver %.4f  weak "
                                                  "%.4f  ideal %.4f\n",
                                                  speed, channel_name(kind), p.snr_db,
                                                  p.receiver_cer(), p.weak_cer(), p.ideal_cer());
                                 });
            trials += c.points.size() * static_cast<std::size_t>(o.repeats);
            curves.push_back(std::move(c));
        }
    }

    // CSV of every point, and the thresholds.
    std::string cer_csv = "speed,channel,snr_db,runs,chars,receiver_errors,receiver_cer,"
                          "ideal_errors,ideal_cer,clipped_samples,weak_errors,weak_cer\n";
    std::string threshold_csv = "speed,channel,receiver_1pct_db,receiver_5pct_db,ideal_1pct_db,"
                                "ideal_5pct_db,gap_1pct_db,gap_5pct_db,weak_1pct_db,weak_5pct_db,"
                                "weak_gap_1pct_db,weak_gap_5pct_db\n";
    std::map<uint32_t, std::string> awgn_weak_5pct;
    std::vector<std::vector<std::string>> threshold_rows;
    std::map<uint32_t, std::string> awgn_5pct; // for the comparison with other modes
    std::map<uint32_t, std::string> awgn_ideal_5pct;
    std::size_t clipped = 0;
    for (const Curve& c : curves) {
        for (const SnrPoint& p : c.points) {
            cer_csv += std::to_string(c.speed) + "," + channel_name(c.kind) + "," +
                       fixed(p.snr_db, 0) + "," + std::to_string(p.runs) + "," +
                       std::to_string(p.chars) + "," + std::to_string(p.receiver_errors) + "," +
                       fixed(p.receiver_cer(), 6) + "," + std::to_string(p.ideal_errors) + "," +
                       fixed(p.ideal_cer(), 6) + "," + std::to_string(p.clipped) + "," +
                       std::to_string(p.weak_errors) + "," + fixed(p.weak_cer(), 6) + "\n";
            clipped += p.clipped;
        }
        const auto rc = receiver_curve(c);
        const auto ic = ideal_curve(c);
        const Crossing r1 = snr_at_cer(rc, 0.01), r5 = snr_at_cer(rc, 0.05);
        const Crossing i1 = snr_at_cer(ic, 0.01), i5 = snr_at_cer(ic, 0.05);
        const auto wc = weak_curve(c);
        const Crossing w1 = snr_at_cer(wc, 0.01), w5 = snr_at_cer(wc, 0.05);
        auto csv_value = [](const Crossing& x) {
            return x.kind == Crossing::Kind::At ? fixed(x.snr_db, 2) : std::string();
        };
        auto gap = [](const Crossing& r, const Crossing& i) {
            return r.kind == Crossing::Kind::At && i.kind == Crossing::Kind::At
                       ? std::optional<double>(r.snr_db - i.snr_db)
                       : std::nullopt;
        };
        const auto g1 = gap(r1, i1), g5 = gap(r5, i5);
        const auto wg1 = gap(w1, i1), wg5 = gap(w5, i5);
        threshold_csv += std::to_string(c.speed) + "," + channel_name(c.kind) + "," +
                         csv_value(r1) + "," + csv_value(r5) + "," + csv_value(i1) + "," +
                         csv_value(i5) + "," + (g1 ? fixed(*g1, 2) : "") + "," +
                         (g5 ? fixed(*g5, 2) : "") + "," + csv_value(w1) + "," + csv_value(w5) +
                         "," + (wg1 ? fixed(*wg1, 2) : "") + "," + (wg5 ? fixed(*wg5, 2) : "") +
                         "\n";
        threshold_rows.push_back(
            {std::to_string(c.speed), channel_name(c.kind), describe(r1, rc), describe(r5, rc),
             describe(w1, wc), describe(w5, wc), describe(i1, ic), describe(i5, ic),
             g5 ? fixed(*g5, 1) + " dB" : "-", wg1 ? fixed(*wg1, 1) + " dB" : "-",
             wg5 ? fixed(*wg5, 1) + " dB" : "-"});
        if (c.kind == ChannelKind::Awgn) {
            awgn_5pct[c.speed] = describe(r5, rc);
            awgn_ideal_5pct[c.speed] = describe(i5, ic);
            awgn_weak_5pct[c.speed] = describe(w5, wc);
        }
    }

    // Where the receiver loses against the ideal detector on AWGN: its tasks taken off one by
    // one (AFC, then symbol timing, then the noise its decimation folds into the passband).
    std::string diagnostics_csv = "speed,variant,snr_db,runs,chars,errors,cer\n";
    std::vector<std::vector<std::string>> diagnostics_rows;
    if (o.diagnostics &&
        std::find(o.channels.begin(), o.channels.end(), ChannelKind::Awgn) != o.channels.end()) {
        struct Variant {
            const char* name;
            TrialOptions options;
        };
        const Variant variants[] = {
            {"afc_off", {.afc = false, .ideal = false}},
            {"afc_off_known_sync", {.afc = false, .ideal = false, .known_sync = true}},
            {"afc_off_known_sync_low_pass",
             {.afc = false, .ideal = false, .known_sync = true, .low_pass = true}},
        };
        for (const uint32_t speed : o.speeds) {
            const Curve* built = nullptr;
            for (const Curve& c : curves) {
                if (c.speed == speed && c.kind == ChannelKind::Awgn) built = &c;
            }
            auto pair = [](const std::vector<CerPoint>& curve) {
                return describe(snr_at_cer(curve, 0.01), curve) + " / " +
                       describe(snr_at_cer(curve, 0.05), curve);
            };
            std::vector<std::string> row{std::to_string(speed), pair(receiver_curve(*built))};
            for (const Variant& v : variants) {
                SweepSettings s = settings;
                s.trial = v.options;
                const auto points =
                    sweep_snr(txs.at(speed), ChannelKind::Awgn, start_db(speed, ChannelKind::Awgn),
                              s, [&](const SnrPoint& p) {
                                  std::fprintf(stderr, "speed %u %s %+3.0f dB: %.4f\n", speed,
                                               v.name, p.snr_db, p.receiver_cer());
                              });
                std::vector<CerPoint> curve;
                for (const SnrPoint& p : points) {
                    curve.push_back({p.snr_db, p.receiver_cer()});
                    diagnostics_csv +=
                        std::to_string(speed) + "," + v.name + "," + fixed(p.snr_db, 0) + "," +
                        std::to_string(p.runs) + "," + std::to_string(p.chars) + "," +
                        std::to_string(p.receiver_errors) + "," + fixed(p.receiver_cer(), 6) + "\n";
                }
                trials += points.size() * static_cast<std::size_t>(o.repeats);
                row.push_back(pair(curve));
            }
            row.push_back(pair(ideal_curve(*built)));
            diagnostics_rows.push_back(row);
        }
    }

    constexpr double kHighSnrDb = 10.0;

    // Copy against where the symbols fall on the receiver's blocks: the lead-in moved across a
    // whole symbol in 32 steps, at a high SNR and near the receiver's 1% point.
    constexpr int kLeadSteps = 32;
    std::string lead_csv =
        "speed,snr_db,lead_fraction,chars,receiver_errors,receiver_cer,ideal_errors,ideal_cer,"
        "weak_errors,weak_cer\n";
    std::vector<std::vector<std::string>> lead_rows;
    if (o.lead) {
        for (const uint32_t speed : o.speeds) {
            for (const double snr :
                 {kHighSnrDb, static_cast<double>(start_db(speed, ChannelKind::Awgn) + 4)}) {
                const auto points = sweep_lead(txs.at(speed), snr, kLeadSteps, o.jobs);
                std::size_t chars = 0, rx_errors = 0, ideal_errors = 0, bad = 0;
                std::size_t weak_errors = 0, weak_bad = 0;
                double worst_cer = 0.0, worst_lead = 0.0;
                double first_bad = 1.0, last_bad = 0.0;
                for (const LeadPoint& p : points) {
                    const double cer = double(p.receiver_errors) / double(p.chars);
                    lead_csv += std::to_string(speed) + "," + fixed(snr, 0) + "," +
                                fixed(p.lead_fraction, 5) + "," + std::to_string(p.chars) + "," +
                                std::to_string(p.receiver_errors) + "," + fixed(cer, 6) + "," +
                                std::to_string(p.ideal_errors) + "," +
                                fixed(double(p.ideal_errors) / double(p.chars), 6) + "," +
                                std::to_string(p.weak_errors) + "," +
                                fixed(double(p.weak_errors) / double(p.chars), 6) + "\n";
                    weak_errors += p.weak_errors;
                    if (p.weak_errors > 0) ++weak_bad;
                    chars += p.chars;
                    rx_errors += p.receiver_errors;
                    ideal_errors += p.ideal_errors;
                    if (cer > worst_cer) {
                        worst_cer = cer;
                        worst_lead = p.lead_fraction;
                    }
                    if (cer > 0.01) {
                        ++bad;
                        first_bad = std::min(first_bad, p.lead_fraction);
                        last_bad = std::max(last_bad, p.lead_fraction);
                    }
                }
                std::fprintf(stderr,
                             "speed %u lead-ins at %+.0f dB: CER %.4f, worst %.4f at %.3f N\n",
                             speed, snr, double(rx_errors) / double(chars), worst_cer, worst_lead);
                lead_rows.push_back(
                    {std::to_string(speed), signed_db(snr) + " dB",
                     fixed(100.0 * double(rx_errors) / double(chars), 2) + "%",
                     fixed(100.0 * worst_cer, 1) + "% at " + fixed(worst_lead, 3) + " N",
                     bad == 0 ? "none"
                              : std::to_string(bad) + " of " + std::to_string(kLeadSteps) + " (" +
                                    fixed(first_bad, 3) + " .. " + fixed(last_bad, 3) + " N)",
                     fixed(100.0 * double(ideal_errors) / double(chars), 2) + "%",
                     fixed(100.0 * double(weak_errors) / double(chars), 2) + "%",
                     std::to_string(weak_bad) + " of " + std::to_string(kLeadSteps)});
            }
        }
    }

    // The AFC pull-in at a high SNR and copy against a sample-clock error.
    std::string afc_csv = "speed,offset_hz,snr_db,runs,chars,errors,cer,mean_final_error_hz,"
                          "weak_errors,weak_cer,weak_mean_final_error_hz\n";
    std::vector<std::vector<std::string>> afc_rows;
    std::string clock_csv = "speed,ppm,snr_db,runs,chars,errors,cer,weak_errors,weak_cer\n";
    std::vector<std::vector<std::string>> clock_rows;
    const std::vector<double> ppms{-1000, -300, -100, 0, 100, 300, 1000};
    const int side_repeats = std::max(2, o.repeats / 2);
    for (const uint32_t speed : o.speeds) {
        const Transmission& tx = txs.at(speed);
        if (o.afc) {
            const double spacing = speed == 4 ? 16.0 : 8.0;
            std::vector<double> offsets;
            for (double f = 0.0; f <= 3.0 * spacing + 0.01; f += spacing / 8.0)
                offsets.push_back(f);
            const auto points = sweep_offset(tx, kHighSnrDb, offsets, side_repeats, o.jobs);
            double low = 0.0, high = 0.0, weak_low = 0.0, weak_high = 0.0;
            bool low_lost = false, high_lost = false, weak_low_lost = false, weak_high_lost = false;
            // The pull-in range: every offset from 0 outward still copied below 5%.
            for (auto it = points.rbegin(); it != points.rend(); ++it) { // toward negative
                if (it->offset_hz > 0.0) continue;
                if (!low_lost && it->cer() < 0.05)
                    low = it->offset_hz;
                else
                    low_lost = true;
                if (!weak_low_lost && it->weak_cer() < 0.05)
                    weak_low = it->offset_hz;
                else
                    weak_low_lost = true;
            }
            for (const OffsetPoint& p : points) {
                if (p.offset_hz < 0.0) continue;
                if (!high_lost && p.cer() < 0.05)
                    high = p.offset_hz;
                else
                    high_lost = true;
                if (!weak_high_lost && p.weak_cer() < 0.05)
                    weak_high = p.offset_hz;
                else
                    weak_high_lost = true;
            }
            std::string detail;
            for (const OffsetPoint& p : points) {
                afc_csv += std::to_string(speed) + "," + fixed(p.offset_hz, 2) + "," +
                           fixed(kHighSnrDb, 0) + "," + std::to_string(p.runs) + "," +
                           std::to_string(p.chars) + "," + std::to_string(p.errors) + "," +
                           fixed(p.cer(), 6) + "," + fixed(p.mean_final_error_hz, 2) + "," +
                           std::to_string(p.weak_errors) + "," + fixed(p.weak_cer(), 6) + "," +
                           fixed(p.weak_mean_final_error_hz, 2) + "\n";
                std::fprintf(stderr,
                             "speed %u offset %+6.2f Hz: CER %.4f, AFC ends %+.2f Hz off; weak "
                             "%.4f, ends %+.2f Hz off\n",
                             speed, p.offset_hz, p.cer(), p.mean_final_error_hz, p.weak_cer(),
                             p.weak_mean_final_error_hz);
            }
            afc_rows.push_back({std::to_string(speed), fixed(spacing, 0) + " Hz",
                                fixed(low, 1) + " .. +" + fixed(high, 1) + " Hz",
                                fixed(high - low, 1) + " Hz",
                                fixed(weak_low, 1) + " .. +" + fixed(weak_high, 1) + " Hz"});
        }
        if (o.clock) {
            std::vector<std::string> row{std::to_string(speed)};
            for (const double snr :
                 {kHighSnrDb, static_cast<double>(start_db(speed, ChannelKind::Awgn) + 3)}) {
                const auto points = sweep_clock(tx, snr, ppms, side_repeats, o.jobs);
                std::vector<std::string> cells{std::to_string(speed), "classic",
                                               signed_db(snr) + " dB"};
                std::vector<std::string> weak_cells{std::to_string(speed), "weak",
                                                    signed_db(snr) + " dB"};
                for (const ClockPoint& p : points) {
                    clock_csv += std::to_string(speed) + "," + fixed(p.ppm, 0) + "," +
                                 fixed(snr, 0) + "," + std::to_string(p.runs) + "," +
                                 std::to_string(p.chars) + "," + std::to_string(p.errors) + "," +
                                 fixed(p.cer(), 6) + "," + std::to_string(p.weak_errors) + "," +
                                 fixed(p.weak_cer(), 6) + "\n";
                    cells.push_back(fixed(100.0 * p.cer(), 1) + "%");
                    weak_cells.push_back(fixed(100.0 * p.weak_cer(), 2) + "%");
                    std::fprintf(stderr, "speed %u %+5.0f ppm at %+.0f dB: CER %.4f, weak %.4f\n",
                                 speed, p.ppm, snr, p.cer(), p.weak_cer());
                }
                clock_rows.push_back(cells);
                clock_rows.push_back(weak_cells);
            }
        }
    }

    // The weak-signal receiver's squelch (noise alone, and its cost at the 5% point), its
    // acquisition off the tuned frequency and a drifting signal.
    std::vector<std::vector<std::string>> squelch_rows;
    std::vector<std::vector<std::string>> acquisition_rows;
    std::string weak_csv = "speed,measurement,value,snr_db,runs,chars,errors,cer,detail\n";
    if (o.weak_extras) {
        for (const uint32_t speed : o.speeds) {
            const Transmission& tx = txs.at(speed);
            const NoiseCopy noise = copy_noise(speed, kNoiseMinutes, 8, o.jobs);
            std::fprintf(stderr,
                         "speed %u noise alone: %zu characters in %.0f minutes (%zu "
                         "without the squelch)\n",
                         speed, noise.characters, noise.minutes, noise.characters_without_squelch);
            weak_csv += std::to_string(speed) + ",noise_chars_per_minute," +
                        fixed(noise.per_minute(), 3) + ",,,,," + "," +
                        std::to_string(noise.characters_without_squelch) + " without the squelch\n";
            // What is printed in the noise after a transmission, until the squelch closes.
            const Ending ending = copy_after(tx, 0.0, kTailSeconds, side_repeats, o.jobs);
            std::fprintf(stderr, "speed %u after the transmission: %zu characters in %d runs\n",
                         speed, ending.characters, ending.runs);
            weak_csv += std::to_string(speed) + ",chars_after_transmission," +
                        std::to_string(ending.characters) + ",0," + std::to_string(ending.runs) +
                        ",,,," + fixed(kTailSeconds, 0) + " s of noise after each\n";
            // The 5% point with the squelch off, from a sweep of the weak receiver alone.
            std::string with = "-", without = "-", cost = "-";
            for (const Curve& c : curves) {
                if (c.speed != speed || c.kind != ChannelKind::Awgn) continue;
                SweepSettings s = settings;
                s.trial = {.ideal = false, .classic = false, .weak_squelch = false};
                const auto points =
                    sweep_snr(tx, ChannelKind::Awgn, start_db(speed, ChannelKind::Awgn) - 4, s, {});
                trials += points.size() * static_cast<std::size_t>(o.repeats);
                std::vector<CerPoint> open;
                for (const SnrPoint& p : points) {
                    open.push_back({p.snr_db, p.weak_cer()});
                    weak_csv += std::to_string(speed) + ",no_squelch_cer,," + fixed(p.snr_db, 0) +
                                "," + std::to_string(p.runs) + "," + std::to_string(p.chars) + "," +
                                std::to_string(p.weak_errors) + "," + fixed(p.weak_cer(), 6) +
                                ",\n";
                }
                const auto wc = weak_curve(c);
                const Crossing on = snr_at_cer(wc, 0.05), off = snr_at_cer(open, 0.05);
                with = describe(on, wc);
                without = describe(off, open);
                if (on.kind == Crossing::Kind::At && off.kind == Crossing::Kind::At)
                    cost = fixed(on.snr_db - off.snr_db, 1) + " dB";
            }
            squelch_rows.push_back(
                {std::to_string(speed),
                 fixed(noise.per_minute(), 2) + " (" + std::to_string(noise.characters) + " in " +
                     fixed(noise.minutes, 0) + " min)",
                 fixed(double(noise.characters_without_squelch) / noise.minutes, 0),
                 std::to_string(ending.characters) + " in " + std::to_string(ending.runs), with,
                 without, cost});
            for (const double offset : {-20.0, -10.0, 0.0, 10.0, 20.0}) {
                const Acquisition a = acquire(tx, offset, 0.0, side_repeats, o.jobs);
                std::fprintf(stderr,
                             "speed %u acquisition at %+.0f Hz: %zu errors, worst %zu "
                             "characters lost at the start\n",
                             speed, offset, a.errors, a.worst_lost_chars);
                weak_csv += std::to_string(speed) + ",acquisition_offset_hz," + fixed(offset, 1) +
                            ",0," + std::to_string(a.runs) + "," + std::to_string(a.chars) + "," +
                            std::to_string(a.errors) + "," +
                            fixed(double(a.errors) / double(a.chars), 6) + "," +
                            std::to_string(a.worst_lost_chars) + " characters lost at the start\n";
                acquisition_rows.push_back(
                    {std::to_string(speed), signed_db(offset) + " Hz", "+0 dB",
                     fixed(100.0 * double(a.errors) / double(a.chars), 2) + "%",
                     std::to_string(a.worst_lost_chars) + " (" + fixed(a.worst_lost_symbols, 0) +
                         " symbols of text)"});
            }
            for (const double snr :
                 {0.0, static_cast<double>(start_db(speed, ChannelKind::Awgn))}) {
                const Drift d = follow_drift(tx, kDriftHzPerSecond, snr, side_repeats, o.jobs);
                std::fprintf(stderr, "speed %u drift %.2f Hz/s at %+.0f dB: CER %.4f\n", speed,
                             d.rate_hz_per_s, snr, d.cer());
                weak_csv += std::to_string(speed) + ",drift_hz_per_s," + fixed(d.rate_hz_per_s, 2) +
                            "," + fixed(snr, 0) + "," + std::to_string(d.runs) + "," +
                            std::to_string(d.chars) + "," + std::to_string(d.errors) + "," +
                            fixed(d.cer(), 6) + "," + fixed(d.span_hz, 1) +
                            " Hz over the transmission\n";
                acquisition_rows.push_back({std::to_string(speed),
                                            "drifting " + fixed(d.rate_hz_per_s, 1) + " Hz/s (" +
                                                fixed(d.span_hz, 0) + " Hz in all)",
                                            signed_db(snr) + " dB", fixed(100.0 * d.cer(), 2) + "%",
                                            "-"});
            }
        }
    }

    // The real-time factor of the receive tool: wall and CPU time of 'quavel-modem rx' on the
    // clean recording and on a noisy one, the median of three runs.
    std::string rtf_csv = "speed,input,audio_s,wall_s,cpu_s,realtime_factor\n";
    std::vector<std::vector<std::string>> rtf_rows;
    if (o.rtf) {
        for (const uint32_t speed : o.speeds) {
            const Transmission& tx = txs.at(speed);
            const TrialSpec noisy = trial_spec(
                ChannelKind::Awgn, start_db(speed, ChannelKind::Awgn), speed, 0, tx.symbol_samples);
            ReceivedAudio audio = through_channel(tx, noisy);
            const std::string noisy_path = dir.path() + "/noisy.wav";
            std::string error;
            if (!audio.error.empty() || !write_wav(noisy_path, audio.samples, error))
                return fail("cannot write the noisy recording: " + audio.error + error);
            const std::string clean_path = dir.path() + "/tx" + std::to_string(speed) + ".wav";
            for (const auto& [name, path, samples] :
                 {std::tuple<std::string, std::string, std::size_t>{"clean", clean_path,
                                                                    tx.samples.size()},
                  {"awgn " + signed_db(*noisy.channel.snr_db) + " dB", noisy_path,
                   audio.samples.size()}}) {
                std::vector<ProcessResult> runs;
                for (int k = 0; k < 3; ++k) {
                    runs.push_back(
                        run_process({o.tool, "rx", "--speed", std::to_string(speed), path}));
                    if (runs.back().exit_code != 0)
                        return fail("quavel-modem rx failed: " + runs.back().err);
                }
                std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
                    return a.wall_seconds < b.wall_seconds;
                });
                const ProcessResult& median = runs[1];
                const double audio_s = static_cast<double>(samples) / 8000.0;
                rtf_csv += std::to_string(speed) + "," + name + "," + fixed(audio_s, 3) + "," +
                           fixed(median.wall_seconds, 3) + "," + fixed(median.cpu_seconds, 3) +
                           "," + fixed(audio_s / median.wall_seconds, 1) + "\n";
                rtf_rows.push_back({std::to_string(speed), name, fixed(audio_s, 1) + " s",
                                    fixed(median.wall_seconds, 3) + " s",
                                    fixed(median.cpu_seconds, 3) + " s",
                                    fixed(audio_s / median.wall_seconds, 0)});
            }
        }
    }

    const double elapsed_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::string error;
    const std::string out = o.out_dir + "/";
    if (!write_file(out + "perf_cer.csv", cer_csv, error) ||
        !write_file(out + "perf_thresholds.csv", threshold_csv, error) ||
        (o.afc && !write_file(out + "perf_afc.csv", afc_csv, error)) ||
        (o.clock && !write_file(out + "perf_clock.csv", clock_csv, error)) ||
        (o.rtf && !write_file(out + "perf_rtf.csv", rtf_csv, error)) ||
        (!diagnostics_rows.empty() &&
         !write_file(out + "perf_diagnostics.csv", diagnostics_csv, error)) ||
        (o.lead && !write_file(out + "perf_lead.csv", lead_csv, error)) ||
        (o.weak_extras && !write_file(out + "perf_weak.csv", weak_csv, error)))
        return fail(error);

    const std::string thresholds = markdown_table(
        {"Speed", "Channel", "Classic 1%", "Classic 5%", "Weak 1%", "Weak 5%", "Ideal 1%",
         "Ideal 5%", "Classic gap at 5%", "Weak gap at 1%", "Weak gap at 5%"},
        threshold_rows);
    std::vector<std::vector<std::string>> comparison{
        {"RTTY 45 baud", "-9.1"}, {"PSK31", "-13.2"}, {"MFSK16", "-14.7"}, {"DominoEX 8", "-15.3"}};
    for (const auto& [speed, value] : awgn_5pct)
        comparison.push_back(
            {"Quavel " + std::to_string(speed) + " Quavel/sec, classic receiver", value});
    for (const auto& [speed, value] : awgn_weak_5pct)
        comparison.push_back(
            {"Quavel " + std::to_string(speed) + " Quavel/sec, weak-signal receiver", value});
    for (const auto& [speed, value] : awgn_ideal_5pct)
        comparison.push_back(
            {"Quavel " + std::to_string(speed) + " Quavel/sec, ideal detector", value});
    const std::string comparison_table =
        markdown_table({"Mode", "SNR in 2500 Hz at 5% CER (AWGN), dB"}, comparison);
    const std::string run_info =
        "- Text: " + std::to_string(std::string(kText).size()) + " characters, each point " +
        std::to_string(o.repeats) + " transmissions (" +
        std::to_string(o.repeats * std::string(kText).size()) +
        " characters); the AFC and clock points " + std::to_string(side_repeats) +
        " transmissions each. SNR steps of 1 dB on AWGN, 2 dB on the fading channels.\n"
        "- " +
        std::to_string(trials) + " SNR-sweep transmissions, " + std::to_string(clipped) +
        " received samples clipped.\n"
        "- Machine: " +
        read_machine() + ", " + std::to_string(std::thread::hardware_concurrency()) +
        " logical CPUs (shared with other work while measuring); " + std::to_string(o.jobs) +
        " worker threads; the whole measurement took " + fixed(elapsed_s / 60.0, 1) +
        " minutes.\n"
        "- Tool checks:\n" +
        [&] {
            std::string s;
            std::stringstream in(tool_log);
            std::string line;
            while (std::getline(in, line))
                s += "  - " + line + "\n";
            return s;
        }();

    std::printf("%s\n%s\n", thresholds.c_str(), comparison_table.c_str());
    if (!o.doc.empty()) {
        std::vector<std::pair<std::string, std::string>> blocks{
            {"run", run_info}, {"thresholds", thresholds}, {"comparison", comparison_table}};
        if (o.afc)
            blocks.emplace_back(
                "afc",
                markdown_table({"Speed", "Tone spacing", "Classic copies (< 5% CER) from .. to",
                                "Classic pull-in width", "Weak copies (< 5% CER) from .. to"},
                               afc_rows));
        if (o.clock)
            blocks.emplace_back(
                "clock", markdown_table({"Speed", "Receiver", "SNR", "-1000 ppm", "-300 ppm",
                                         "-100 ppm", "0", "+100 ppm", "+300 ppm", "+1000 ppm"},
                                        clock_rows));
        if (!diagnostics_rows.empty())
            blocks.emplace_back(
                "diagnostics",
                markdown_table({"Speed", "Receiver as built", "AFC off", "AFC off, sync known",
                                "AFC off, sync known, input low-passed", "Ideal detector"},
                               diagnostics_rows));
        if (o.lead)
            blocks.emplace_back(
                "lead",
                markdown_table({"Speed", "SNR", "Classic CER over all lead-ins", "Classic worst",
                                "Classic lead-ins above 1% CER", "Ideal CER over all lead-ins",
                                "Weak CER over all lead-ins", "Weak lead-ins with any error"},
                               lead_rows));
        if (o.weak_extras) {
            blocks.emplace_back(
                "squelch",
                markdown_table({"Speed", "Noise alone: characters a minute", "Without squelch",
                                "After transmissions: characters", "5% point, squelch on",
                                "5% point, squelch off", "Squelch cost"},
                               squelch_rows));
            blocks.emplace_back("acquisition", markdown_table({"Speed", "Signal", "SNR", "CER",
                                                               "Most characters lost at the start"},
                                                              acquisition_rows));
        }
        if (o.rtf)
            blocks.emplace_back("rtf", markdown_table({"Speed", "Input", "Audio", "Wall", "CPU",
                                                       "Real-time factor"},
                                                      rtf_rows));
        for (const auto& [name, content] : blocks) {
            if (!splice_block(o.doc, name, content, error)) return fail(error);
        }
    }
    std::fprintf(stderr, "quavel_sensitivity: %zu transmissions in %.1f minutes\n", trials,
                 elapsed_s / 60.0);
    return 0;
}

} // namespace
} // namespace quavel::perf

int main(int argc, char** argv) {
    quavel::perf::Options options;
    if (const auto code = quavel::perf::parse(argc, argv, options)) return *code;
    if (options.trace) return quavel::perf::run_trace(options);
    return options.smoke ? quavel::perf::run_smoke(options) : quavel::perf::run_full(options);
}
