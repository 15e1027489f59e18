#!/usr/bin/env bash
# Builds Quavel and runs it or its tests. Installs the Debian packages it needs when run as root
# (otherwise names the missing ones).
#   tools/build.sh run [console options]   build and start the console (in its own data folder)
#   tools/build.sh test                    build and run every test
#   tools/build.sh sanitize                build and run every test under ASan + UBSan
#   tools/build.sh tsan                    build the Qt-free parts and run the tests of their
#                                          threads (the keying thread) under ThreadSanitizer
#   tools/build.sh format                  check that every C++ file is as clang-format leaves it
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

# What building and running the console needs; `test`, `sanitize` and CI need the rest as well.
run_packages=(cmake g++ pkgconf libsndfile1-dev libcli11-dev libpulse-dev qt6-base-dev qt6-multimedia-dev
              libqt6serialport6-dev libqt6svg6 qt6-qpa-plugins xdg-utils libhamlib-dev)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev pulseaudio pulseaudio-utils clang
               libclang-rt-14-dev dpkg-dev clang-format desktop-file-utils appstream libhamlib-utils gnuplot-nox
               tshark)

# ensure_packages PACKAGE...
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing Debian packages; install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}

configure_and_build() {
    local dir=$1; shift
    # A compiler cache, where there is one, makes rebuilds across checkouts cheap.
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# The sound server and its clients (the console, the tests) meet at
# $XDG_RUNTIME_DIR/pulse/native; a CI runner or a root shell often has no such directory, and
# without it PulseAudio's fallback needs a machine id that containers may lack.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="/tmp/runtime-$(id -un)"
    mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
fi

# A sound server for the tests that play and capture through real audio: a null sink whose
# monitor is remapped as the default input. Started only when none answers.
ensure_sound_server() {
    "$here/tools/sound-server.sh" start || echo "note: no sound server; the sound-card tests will skip" >&2
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    run)
        ensure_packages "${run_packages[@]}"
        configure_and_build build -DQUAVEL_BUILD_TESTS=OFF -DQUAVEL_BUILD_BENCH=OFF
        # As from the desktop menu: KEYSETUP.INI and the stored texts live in the program's
        # own data folder, not in the source tree.
        exec "$here/build/quavel" --desktop "$@"
        ;;
    test)
        ensure_packages "${run_packages[@]}" "${test_packages[@]}"
        configure_and_build build -DQUAVEL_WERROR=ON -DQUAVEL_BUILD_TESTS=ON -DQUAVEL_BUILD_BENCH=ON
        ensure_sound_server
        cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
        ;;
    sanitize)
        ensure_packages "${run_packages[@]}" "${test_packages[@]}"
        configure_and_build build-asan -DQUAVEL_WERROR=ON -DQUAVEL_SANITIZE=ON -DQUAVEL_BUILD_BENCH=OFF \
            -DQUAVEL_BUILD_TESTS=ON
        ensure_sound_server
        # The keying guard's own handlers must see SIGSEGV, SIGBUS and SIGFPE to drop the lines
        # and die of the signal; the sanitizer would take them first and exit normally.
        cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j2
        ;;
    tsan)
        ensure_packages "${run_packages[@]}" "${test_packages[@]}"
        launcher=()
        command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" -DQUAVEL_WERROR=ON \
            -DQUAVEL_SANITIZE_THREAD=ON -DQUAVEL_BUILD_UI=OFF -DQUAVEL_BUILD_BENCH=OFF \
            -DQUAVEL_BUILD_TESTS=ON >/dev/null
        # The keying thread and everything that drives it: its own tests and the station's.
        cmake --build build-tsan -j"$(nproc)" --target tx_tests station_tests
        export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
        build-tsan/tests/tx_tests && build-tsan/tests/station_tests
        ;;
    format)
        ensure_packages clang-format
        # Lists the files and lines that differ; fails when any does.
        git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format --dry-run --Werror
        echo "clang-format: every file as formatted"
        ;;
    *)
        echo "usage: tools/build.sh run|test|sanitize|tsan|format" >&2
        exit 2
        ;;
esac
