#!/usr/bin/env bash
# A PulseAudio server for the tests and for trying the console on a machine without sound
# hardware (a CI runner, a container, a root shell): a null sink "quavel_sink" as the default
# output and its monitor remapped as "quavel_mic", the default input, so that what one program
# plays another captures.
#
#   tools/sound-server.sh start    start one unless a server already answers (then leave it be)
#   tools/sound-server.sh start --pair
#                                  the same with a second pair beside the defaults, for trying
#                                  device choice: a null sink "quavel_sink2" ("Quavel Second
#                                  Output") and its monitor remapped as "quavel_mic2" ("Quavel
#                                  Second Input"); added to a server this script started before
#   tools/sound-server.sh stop     stop the server this script started, and only that one
#   tools/sound-server.sh status   say which server answers and its default devices
#
# Clients find the server through XDG_RUNTIME_DIR ($XDG_RUNTIME_DIR/pulse/native); without it
# PulseAudio picks a directory under /tmp and links it from ~/.config/pulse, which needs a
# machine id. tools/build.sh exports XDG_RUNTIME_DIR before starting the server and the tests.
set -u

runtime_dir() {
    if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
        echo "$XDG_RUNTIME_DIR"
    else
        echo "/tmp/quavel-sound-server-$(id -u)"
    fi
}

state=$(runtime_dir)/quavel-sound-server
pid_file=$state/pid
log_file=$state/log

answers() { pactl info >/dev/null 2>&1; }

# The pid of the server this script started, if it still runs.
our_server() {
    [ -f "$pid_file" ] || return 1
    local pid
    pid=$(cat "$pid_file" 2>/dev/null) || return 1
    [ -n "$pid" ] && [ -r "/proc/$pid/comm" ] && [ "$(cat "/proc/$pid/comm")" = pulseaudio ] &&
        echo "$pid"
}

# The second pair, loaded into the server that answers.
second_pair="quavel_sink2"
load_second_pair() {
    pactl list short sinks 2>/dev/null | cut -f2 | grep -qx "$second_pair" && return 0
    pactl load-module module-null-sink sink_name=quavel_sink2 rate=8000 channels=1 \
        sink_properties=device.description=Quavel_Second_Output >/dev/null &&
        pactl load-module module-remap-source source_name=quavel_mic2 \
            master=quavel_sink2.monitor \
            source_properties=device.description=Quavel_Second_Input >/dev/null
}

start() {
    local pair=0
    [ "${1:-}" = --pair ] && pair=1
    if answers; then
        [ "$pair" -eq 0 ] && exit 0
        if our_server >/dev/null; then
            load_second_pair || { echo "sound-server: the second pair could not be added" >&2; exit 1; }
        else
            echo "sound-server: a server not started here answers; left as it is (no second pair)" >&2
        fi
        exit 0
    fi
    if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
        echo "sound-server: pulseaudio and pactl are needed (Debian: pulseaudio pulseaudio-utils)" >&2
        exit 1
    fi
    mkdir -p "$state"
    # Audio goes over the socket, not shared memory: PulseAudio 16's memfd transport logs
    # "Cannot send block reference with non-registered memfd ID" and can abort on an assertion
    # in memblock.c when clients come and go quickly, as tests make them do.
    args=(-n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no
          --log-target=stderr --disable-shm=yes
          --load=module-native-protocol-unix
          "--load=module-null-sink sink_name=quavel_sink rate=8000 channels=1"
          "--load=module-remap-source source_name=quavel_mic master=quavel_sink.monitor"
          --load=module-always-sink)
    # As root PulseAudio only warns, unless told it is not a system-wide instance.
    [ "$(id -u)" -eq 0 ] && args+=(--system=no)
    # A session of its own, so the server outlives the shell (and CI step) that started it.
    setsid pulseaudio "${args[@]}" </dev/null >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    for _ in $(seq 100); do
        answers && break
        our_server >/dev/null || break
        sleep 0.1
    done
    if ! answers; then
        echo "sound-server: PulseAudio did not come up; its log ($log_file):" >&2
        tail -n 20 "$log_file" >&2 2>/dev/null
        stop_ours
        exit 1
    fi
    pactl set-default-sink quavel_sink >/dev/null 2>&1
    pactl set-default-source quavel_mic >/dev/null 2>&1
    if [ "$pair" -eq 1 ] && ! load_second_pair; then
        echo "sound-server: the second pair could not be added" >&2
        exit 1
    fi
    exit 0
}

stop_ours() {
    local pid
    pid=$(our_server) || { rm -f "$pid_file"; return 0; }
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do
        [ -d "/proc/$pid" ] || break
        sleep 0.1
    done
    [ -d "/proc/$pid" ] && kill -9 "$pid" 2>/dev/null
    rm -f "$pid_file"
    return 0
}

status() {
    if ! answers; then
        echo "no sound server answers"
        exit 1
    fi
    pactl info | grep -E '^(Server String|Server Name|Default Sink|Default Source):'
    if pid=$(our_server); then
        echo "started by this script: pid $pid"
    else
        echo "not started by this script"
    fi
}

case "${1:-start}" in
    start) start "${2:-}" ;;
    stop) stop_ours ;;
    status) status ;;
    *)
        echo "usage: tools/sound-server.sh start [--pair]|stop|status" >&2
        exit 2
        ;;
esac
