#!/usr/bin/env bash
# Starts a PulseAudio server for tests when none is running: a null sink "quavel_sink" as the
# default output and its monitor remapped as "quavel_mic", the default input, so that what one
# program plays another captures.
set -u
case "${1:-start}" in
    start)
        if pactl info >/dev/null 2>&1; then exit 0; fi
        command -v pulseaudio >/dev/null || exit 1
        args=(--daemonize=yes --exit-idle-time=-1 --disallow-exit -n
              --load=module-native-protocol-unix
              "--load=module-null-sink sink_name=quavel_sink rate=8000 channels=1"
              "--load=module-remap-source source_name=quavel_mic master=quavel_sink.monitor"
              "--load=module-always-sink")
        [ "$(id -u)" -eq 0 ] && args+=(--system=no)
        pulseaudio "${args[@]}" >/dev/null 2>&1 || true
        for _ in $(seq 50); do
            pactl info >/dev/null 2>&1 && break
            sleep 0.1
        done
        pactl info >/dev/null 2>&1 || exit 1
        pactl set-default-sink quavel_sink >/dev/null 2>&1
        pactl set-default-source quavel_mic >/dev/null 2>&1
        exit 0
        ;;
    stop)
        pulseaudio --kill >/dev/null 2>&1 || true
        ;;
esac
