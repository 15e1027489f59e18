// quavel_band_bench: measures the band-activity receiver ('quavel-modem rx --band'), which copies
// every station in a stretch of the passband at once, beside the single-channel weak-signal
// receiver told each station's speed and frequency, on the same recordings.
//
//   quavel_band_bench --quick             a few minutes: every part, fewer trials
//   quavel_band_bench [OPTIONS]           the full measurement (about half an hour on two cores)
//
// The recordings are made here: our own transmitter's symbols at any frequency, several stations
// mixed with carriers and white noise (scene.h). The tool runs as a process on each; its JSON
// lines are matched to the stations (score.h). The parts: sensitivity alone (sensitivity.h), in a
// crowd and beside a strong neighbour (company.h), the speed found and how soon, and how soon
// characters print (speed_trials.h), noise and carriers (false_alarms.h), cost (cost.h).
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "band_options.h"
#include "tools/command_line/command_line.h"

namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: quavel_band_bench [--quick] [--out DIR] [--doc FILE.md] [--jobs J]\n"
        "                         [--repeats R] [--seed S] [--parts LIST] [--tool PATH]\n"
        "       quavel_band_bench --trace SPEED SNR [--repeats R]\n"
        "\n"
        "Measures 'quavel-modem rx --band' on recordings of one to twelve stations in white\n"
        "noise, beside the weak-signal receiver told each station's speed and frequency:\n"
        "the 5% CER point alone, among ten stations and beside one 20 dB stronger 150 Hz\n"
        "away; the speed found, how soon and how soon characters print; false lines on noise\n"
        "and carriers; CPU time against stations and width. LIST is a comma-separated choice\n"
        "of sensitivity, crowd, neighbour, speed, noise, cost (default all). Writes band_*.csv\n"
        "into DIR and, with --doc, the tables into the document's generated blocks.\n"
        "--trace prints every over of one point of the sweep alone with both copies.\n",
        out);
}

} // namespace

int main(int argc, char** argv) {
    using namespace quavel::perf;
    BandOptions o;
    quavel::tools::CommandLine cli("quavel_band_bench", "Try 'quavel_band_bench --help'.");
    cli.help(usage);
    cli.flag("--quick", o.quick);
    for (auto [name, out] : {std::pair{"--tool", &o.tool}, std::pair{"--out", &o.out_dir},
                             std::pair{"--doc", &o.doc}}) {
        cli.option(name, [name, out](const std::string& v) -> std::string {
            if (v.empty()) return std::string(name) + " needs a value";
            *out = v;
            return {};
        });
    }
    for (auto [name, out, high] :
         {std::tuple{"--jobs", &o.jobs, 64}, std::tuple{"--repeats", &o.repeats, 100}}) {
        cli.option(name, [name, out, high](const std::string& v) -> std::string {
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || n < 1 || n > high)
                return std::string(name) + " needs a number 1.." + std::to_string(high);
            *out = static_cast<int>(n);
            return {};
        });
    }
    cli.option("--seed", [&o](const std::string& v) -> std::string {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(v.c_str(), &end, 10);
        if (end == v.c_str() || *end != '\0') return "--seed needs a whole number";
        o.seed = n;
        return {};
    });
    cli.option("--parts", [&o](const std::string& v) -> std::string {
        o.parts.clear();
        std::stringstream in(v);
        std::string part;
        while (std::getline(in, part, ',')) {
            bool known = false;
            for (const char* p : kBandParts)
                known = known || part == p;
            if (!known) return "unknown part '" + part + "'";
            o.parts.insert(part);
        }
        if (o.parts.empty()) return "--parts needs a list such as sensitivity,cost";
        return {};
    });
    cli.option(
        "--trace", 2,
        [&o](const std::vector<std::string>& v) -> std::string {
            char* end = nullptr;
            const double snr_db = std::strtod(v[1].c_str(), &end);
            if ((v[0] != "1" && v[0] != "2" && v[0] != "4") || end == v[1].c_str() || *end != '\0')
                return "--trace needs a speed 1, 2 or 4 and an SNR in dB";
            o.trace.emplace(static_cast<uint32_t>(std::stoul(v[0])), snr_db);
            return {};
        },
        "--trace needs SPEED SNR");
    if (const auto code = cli.parse(std::vector<std::string>(argv + 1, argv + argc))) return *code;
    return o.trace ? run_band_trace(o) : run_band_bench(o);
}
