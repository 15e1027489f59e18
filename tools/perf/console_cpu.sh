#!/usr/bin/env bash
# The console's CPU share while it receives: starts the console on a recording delivered in real
# time (--audio-in), lets it settle, then reads its user + system time from /proc over a window
# of wall-clock time. Prints one line of CSV: display,seconds,cpu_seconds,cpu_share_percent,
# characters (what the console printed in its primary pane meanwhile, from its receive log),
# receiver. The console starts with settings of its own (not the user's), receiving with RECEIVER:
# classic (the default) or weak.
#   tools/perf/console_cpu.sh QUAVEL RECORDING.wav [SECONDS] [RECEIVER]
# Runs with Qt's offscreen platform (the widgets are drawn, into memory); QUAVEL_PERF_DISPLAY=xvfb
# runs it under xvfb-run instead (the X server's own time is not counted). A console that printed
# nothing was not receiving: that fails rather than report a share.
set -euo pipefail

quavel=$1
recording=$(realpath "$2")
seconds=${3:-60}
receiver=${4:-classic}
settle=5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the console reads and writes its files in the working directory
# Without a configuration file the console asks for one in a message box before it receives.
echo "G4ABC NONE NONE" >KEYSETUP.INI
mkdir -p "$work/config/Quavel"
printf '[receive]\nreceiver=%s\n' "$receiver" >"$work/config/Quavel/quavel.ini"
export XDG_CONFIG_HOME=$work/config

pidfile=$work/pid
if [ "${QUAVEL_PERF_DISPLAY:-offscreen}" = xvfb ]; then
    display=xvfb
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '"$1" --audio-in "$2" --rx-log "$4" & echo $! >"$3"; wait' \
        _ "$quavel" "$recording" "$pidfile" "$work/rx.txt" >"$work/out.txt" 2>&1 &
else
    display=offscreen
    QT_QPA_PLATFORM=offscreen "$quavel" --audio-in "$recording" --rx-log "$work/rx.txt" \
        >"$work/out.txt" 2>&1 &
    echo $! >"$pidfile"
fi
runner=$!

for _ in $(seq 100); do
    [ -s "$pidfile" ] && break
    sleep 0.1
done
pid=$(cat "$pidfile")

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)

sleep "$settle"
if [ ! -d "/proc/$pid" ]; then
    echo "console_cpu.sh: the console ended early:" >&2
    cat "$work/out.txt" >&2
    exit 1
fi
start_ticks=$(ticks)
start_ns=$(date +%s%N)
sleep "$seconds"
end_ticks=$(ticks)
end_ns=$(date +%s%N)

kill -TERM "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
characters=$(wc -c <"$work/rx.txt" 2>/dev/null || echo 0)
if [ "$characters" -eq 0 ]; then
    echo "console_cpu.sh: the console printed nothing in $((settle + seconds)) s: not receiving" >&2
    exit 1
fi

awk -v d="$display" -v r="$receiver" -v chars="$characters" -v t0="$start_ticks" -v t1="$end_ticks" -v n0="$start_ns" -v n1="$end_ns" \
    -v hz="$hz" 'BEGIN {
        wall = (n1 - n0) / 1e9; cpu = (t1 - t0) / hz
        printf "%s,%.1f,%.2f,%.2f,%d,%s\n", d, wall, cpu, 100 * cpu / wall, chars, r
    }'
