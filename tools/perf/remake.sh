#!/usr/bin/env bash
# Remakes every figure of docs/PERFORMANCE.md: builds what it measures, runs the sensitivity
# measurement (CSV files and the document's tables), the Google benchmarks of one receive step
# and one symbol synthesis, the console's CPU share, the band-activity measurement, and draws
# the plots.
#   tools/perf/remake.sh
# Environment: QUAVEL_PERF_BUILD (build folder, default build-perf), QUAVEL_PERF_JOBS (threads,
# default 2), QUAVEL_PERF_REPEATS (transmissions per point, default 8), QUAVEL_PERF_CONSOLE_S
# (seconds of console measurement, default 60), QUAVEL_PERF_ARGS (more options for
# quavel_sensitivity, e.g. "--speeds 4" for a quick trial of the whole script).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUAVEL_PERF_BUILD:-$here/build-perf}
jobs=${QUAVEL_PERF_JOBS:-2}
repeats=${QUAVEL_PERF_REPEATS:-8}
console_seconds=${QUAVEL_PERF_CONSOLE_S:-60}
docs=$here/docs
doc=$docs/PERFORMANCE.md
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUAVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$jobs" --target quavel-modem quavel_sensitivity quavel_bench quavel \
    quavel_band_bench

sensitivity=$build/bench/quavel_sensitivity

# The machine, as the figures below were measured on it.
{
    echo "- $(nproc) logical CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "- $(uname -sr), $(c++ --version | head -1)"
    echo "- Measured $(date -u '+%Y-%m-%d %H:%M UTC'), load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$tmp/machine.md"
"$sensitivity" --splice "$doc" machine "$tmp/machine.md"

# The sensitivity measurement: perf_*.csv and the tables.
# shellcheck disable=SC2086 # the extra options are words
"$sensitivity" --out "$docs" --doc "$doc" --repeats "$repeats" --jobs "$jobs" ${QUAVEL_PERF_ARGS:-}

# One receive step of the classic receiver and one capture block through the weak-signal
# receiver per speed, one symbol synthesis, and the FFT under them (median of five
# repetitions). One run per family: the CSV output wants the same counters in every row.
{
    echo "| Benchmark | What | Median wall time | Median CPU time | Audio per CPU second |"
    echo "|---|---|--:|--:|--:|"
    for family in 'BM_ReceiveStep/' 'BM_WeakBlock/' 'BM_SynthesiseSymbol/' 'BM_Fft/'; do
        "$build/bench/quavel_bench" --benchmark_filter="$family" --benchmark_repetitions=5 \
            --benchmark_report_aggregates_only=true --benchmark_out="$tmp/bench.csv" \
            --benchmark_out_format=csv >/dev/null 2>"$tmp/bench.err" ||
            { cat "$tmp/bench.err" >&2; exit 1; }
        # name,iterations,real_time,cpu_time,time_unit,...,label,...,[x_realtime]
        sed -n '/^name,/,$p' "$tmp/bench.csv" | awk '
            # Splits a CSV line whose quoted fields may hold commas into f[1..n].
            function split_csv(line, f,    n, i, c, quoted, field) {
                n = 0; field = ""; quoted = 0
                for (i = 1; i <= length(line); ++i) {
                    c = substr(line, i, 1)
                    if (c == "\"") quoted = !quoted
                    else if (c == "," && !quoted) { f[++n] = field; field = "" }
                    else field = field c
                }
                f[++n] = field
                return n
            }
            NR == 1 { n = split_csv($0, h); for (i = 1; i <= n; ++i) col[h[i]] = i; next }
            {
                split_csv($0, f)
                if (f[1] !~ /_median$/) next
                name = f[1]; sub(/_median$/, "", name)
                rate = ""
                if (("x_realtime" in col) && f[col["x_realtime"]] != "")
                    rate = sprintf("%.0f s", f[col["x_realtime"]])
                printf "| `%s` | %s | %.1f %s | %.1f %s | %s |\n", name, f[col["label"]],
                       f[col["real_time"]], f[col["time_unit"]], f[col["cpu_time"]],
                       f[col["time_unit"]], rate
            }'
    done
} >"$tmp/bench.md"
"$sensitivity" --splice "$doc" bench "$tmp/bench.md"

# The console's CPU share while receiving a recording in real time.
"$build/quavel-modem" tx --speed 2 -o "$tmp/console.wav" -- \
    "$(printf 'CQ CQ DE G4ABC G4ABC K. THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890. %.0s' 1 2 3)"
{
    "$here/tools/perf/console_cpu.sh" "$build/quavel" "$tmp/console.wav" "$console_seconds" classic
    "$here/tools/perf/console_cpu.sh" "$build/quavel" "$tmp/console.wav" "$console_seconds" weak
} | awk -F, 'NR == 1 {
    print "| Receiver | Display | Wall time measured | CPU (user + system) | CPU share | Characters printed |"
    print "|---|---|--:|--:|--:|--:|"
} {
    printf "| %s | %s | %s s | %s s | %s%% | %s |\n", $6, $1, $2, $3, $4, $5
}' >"$tmp/console.md"
"$sensitivity" --splice "$doc" console "$tmp/console.md"

# The band-activity receiver beside the weak-signal receiver: band_*.csv and its tables.
"$build/bench/quavel_band_bench" --out "$docs" --doc "$doc" --jobs "$jobs"

gnuplot -e "docs='$docs'" "$here/tools/perf/plots.gp"
echo "remade $doc"
