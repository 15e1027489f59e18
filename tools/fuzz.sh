#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (ASan + UBSan) in build-fuzz and runs each
# for a bounded time, starting from its seed corpus in fuzz/corpus/NAME (the repository's seeds
# are copied, never grown). Without clang or its fuzzer runtime it says so and does nothing.
#   tools/fuzz.sh [SECONDS_EACH] [HARNESS...]     default: 25 s each, every harness
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

seconds=${1:-25}
[ $# -gt 0 ] && shift
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] &&
    harnesses=(wav_reader_fuzz config_fuzz stored_text_fuzz receive_chain_fuzz scheduler_fuzz
                heard_calls_fuzz)

clang=$(command -v clang++ || true)
if [ -z "$clang" ] || ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
        "$clang" -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null; then
    echo "fuzz: clang++ with libFuzzer is not installed (Debian: clang libclang-rt-14-dev); skipped"
    exit 0
fi

# Warnings stay warnings here: the gcc build enforces them, and clang's extra ones must not
# stop the fuzzing.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
    -DQUAVEL_FUZZ=ON -DQUAVEL_BUILD_UI=OFF -DQUAVEL_BUILD_BENCH=OFF -DQUAVEL_WERROR=OFF \
    "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${harnesses[@]}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
for h in "${harnesses[@]}"; do
    name=${h%_fuzz}
    mkdir -p "$scratch/$name"
    cp -r "fuzz/corpus/$name/." "$scratch/$name/" 2>/dev/null || true
    log="$scratch/$name.log"
    # Crash reproducers go to the scratch folder; the run ends at the time limit.
    if build-fuzz/fuzz/"$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$scratch/$name-" "$scratch/$name" >"$log" 2>&1; then
        runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
        echo "fuzz: $h: $runs inputs in ${seconds} s, no fault"
    else
        failed=$((failed + 1))
        echo "fuzz: $h: FAULT" >&2
        tail -n 60 "$log" >&2
        for a in "$scratch/$name"-*; do
            [ -e "$a" ] && echo "fuzz: reproducer (base64): $(base64 -w0 "$a")" >&2
        done
    fi
done
[ $failed -eq 0 ] || { echo "fuzz: $failed harness(es) found a fault" >&2; exit 1; }
