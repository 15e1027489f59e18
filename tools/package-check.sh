#!/usr/bin/env bash
# Builds the Debian package and tries it as installed: unpacks it into a throw-away root, checks
# that every file is in place and the desktop entry and AppStream metadata validate, then runs
# both programs from there ('quavel --help', a 'quavel-modem tx | quavel-modem rx' round trip
# and the console started as from the desktop menu). Takes a minute on a warm compiler cache.
#   tools/package-check.sh [BUILD_DIR]     (default build-deb; the .deb stays there)
# Needs dpkg-dev (dpkg-shlibdeps), desktop-file-utils and appstream.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$here/build-deb}")
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# A build folder already configured (CI's test build) is packaged as it is: the package installs
# under /usr whatever the folder's own prefix, and the console finds its files beside itself.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DQUAVEL_BUILD_TESTS=OFF -DQUAVEL_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target quavel quavel-modem
rm -f "$build"/quavel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quavel_*.deb)
echo "package: $deb"

root=$(mktemp -d)
console_pid=
cleanup() {
    [ -n "$console_pid" ] && kill "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no Qt in the package's Depends"
dpkg -x "$deb" "$root/installed"
usr="$root/installed/usr"
for file in bin/quavel bin/quavel-modem share/quavel/quavel25.htm \
    share/applications/org.quavel.Quavel.desktop \
    share/icons/hicolor/scalable/apps/org.quavel.Quavel.svg \
    share/metainfo/org.quavel.Quavel.metainfo.xml share/man/man1/quavel-modem.1; do
    [ -e "$usr/$file" ] || fail "$file is not in the package"
done
desktop-file-validate "$usr/share/applications/org.quavel.Quavel.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/org.quavel.Quavel.metainfo.xml" >/dev/null
# Where apt can see the archive, the package's dependencies must be there to be had.
if command -v apt-get >/dev/null; then
    apt-get install -s -qq "$deb" >/dev/null 2>&1 || fail "apt cannot satisfy the dependencies"
fi

"$usr/bin/quavel" --help | grep -q -- "--desktop" || fail "quavel --help"
copy=$("$usr/bin/quavel-modem" tx -o - "CQ DE G4ABC K" | "$usr/bin/quavel-modem" rx - 2>/dev/null)
case "$copy" in *"CQ DE G4ABC K"*) ;; *) fail "tx | rx copied '$copy'" ;; esac

# As from the desktop menu: the console makes its own folder under the data folder and works
# there, leaving the folder it was started in alone.
mkdir -p "$root/home" "$root/start"
"$usr/bin/quavel-modem" tx -o "$root/call.wav" "CQ" 2>/dev/null
(cd "$root/start" && HOME="$root/home" XDG_DATA_HOME="$root/home/data" \
    XDG_CONFIG_HOME="$root/home/config" QT_QPA_PLATFORM=offscreen \
    exec "$usr/bin/quavel" --desktop --audio-in "$root/call.wav") >/dev/null 2>&1 &
console_pid=$!
for _ in $(seq 50); do
    [ -d "$root/home/data/quavel" ] && break
    sleep 0.1
done
[ -d "$root/home/data/quavel" ] || fail "the console made no folder under the data folder"
[ -z "$(ls -A "$root/start")" ] || fail "the console wrote into the folder it was started in"
echo "package-check: ok"
