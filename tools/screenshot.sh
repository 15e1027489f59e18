#!/usr/bin/env bash
# Takes a picture of the console at work: starts it on a private X server with a recording of a
# short call as its input, lets it receive for a while, and saves its window as a PNG.
#   tools/screenshot.sh OUT.png [SECONDS] [BUILD_DIR] [WIDTHxHEIGHT]
# SECONDS (default 12) is how long it receives first; BUILD_DIR (default build) holds the
# built `quavel` and `quavel-modem`; WIDTHxHEIGHT grows the window to that size (default: the
# form's own). The console gets settings of its own in a scratch folder. Needs Xvfb, xwininfo and ImageMagick's import
# (Debian: xvfb x11-utils imagemagick).
set -euo pipefail

out=${1:?usage: tools/screenshot.sh OUT.png [SECONDS] [BUILD_DIR] [WIDTHxHEIGHT]}
seconds=${2:-12}
size=${4:-}
geometry=()
if [ -n "$size" ]; then
    [[ "$size" =~ ^[0-9]+x[0-9]+$ ]] || { echo "screenshot: size must be WIDTHxHEIGHT" >&2; exit 2; }
    geometry=(-geometry "$size+0+0")
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${3:-$here/build}" && pwd)
for tool in Xvfb xwininfo import; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing" >&2; exit 1; }
done
for program in quavel quavel-modem; do
    [ -x "$build/$program" ] || { echo "screenshot: $build/$program is not built" >&2; exit 1; }
done
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

work=$(mktemp -d)
xvfb_pid=
console_pid=
cleanup() {
    [ -n "$console_pid" ] && kill "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The other station: a call at the console's starting speed and frequency,
# heard through a little noise at a level a rig's audio would give (-14 dB from full scale).
"$build/quavel-modem" tx -o "$work/clean.wav" "CQ CQ CQ DE G4ABC G4ABC PSE K"
"$build/quavel-modem" channel --snr 30 --level -14 "$work/clean.wav" "$work/call.wav" 2>/dev/null
# With a configuration the console starts without a message box in the way.
printf 'NOCALL NONE NONE' > "$work/KEYSETUP.INI"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
xvfb_pid=$!
sleep 1
(cd "$work" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    exec "$build/quavel" "${geometry[@]}" --audio-in "$work/call.wav") &
console_pid=$!
sleep "$seconds"

window=$(DISPLAY=$display xwininfo -root -tree | awk '/"Quavel 2000 by Vexmar V2.5 "/ {print $1; exit}')
[ -n "$window" ] || { echo "screenshot: the console's window did not appear" >&2; exit 1; }
DISPLAY=$display import -window "$window" "$out"
echo "$out"
