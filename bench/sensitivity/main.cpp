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
//
// This file reads the options; commands.h runs them. The full measurement's parts are measured
// by curves.h, tolerance.h, weak_extras.h and realtime_factor.h into plain data
// (measurements.h), which report_csv.h and report_tables.h turn into the CSV files and the
// document's tables (table.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "options.h"
#include "report.h"
#include "tools/command_line/command_line.h"

namespace quavel::perf {
namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: quavel_sensitivity --smoke [--tool PATH]\n"
        "       quavel_sensitivity [--out DIR] [--doc FILE.md] [--repeats R] [--jobs J]\n"
        "                          [--speeds 1,2,4] [--channels awgn,quiet,moderate,disturbed]\n"
        "                          [--no-afc] [--no-clock] [--no-rtf] [--no-diagnostics]\n"
        "                          [--no-lead] [--no-weak-extras]\n"
        "                          [--ideal-segments K] [--ideal-model locked|free|fading]\n"
        "                          [--no-limit]\n"
        "                          [--tool PATH]\n"
        "       quavel_sensitivity --trace SPEED CHANNEL SNR [--repeats R | --leads K]\n"
        "       quavel_sensitivity --splice DOC.md NAME FILE\n"
        "\n"
        "Sends a fixed text of 241 characters through 'quavel-modem tx', the simulated HF\n"
        "channel and both receivers (classic and weak-signal), and measures the character error\n"
        "rate against the SNR in 2500 Hz, beside an ideal detector told the symbol timing and\n"
        "the frequency, and a limit detector also told the level and the channel's phase.\n"
        "Writes\n"
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
    bool no_limit = false;
    cli.flag("--no-limit", no_limit);
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
    o.limit = !no_limit;

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

} // namespace
} // namespace quavel::perf

int main(int argc, char** argv) {
    quavel::perf::Options options;
    if (const auto code = quavel::perf::parse(argc, argv, options)) return *code;
    if (options.trace) return quavel::perf::run_trace(options);
    return options.smoke ? quavel::perf::run_smoke(options) : quavel::perf::run_full(options);
}
