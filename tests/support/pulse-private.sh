#!/usr/bin/env bash
# Starts or stops a private PulseAudio server for the tests, the demo and the
# benchmark, so that nothing ever touches a real sound card.
#
#   eval "$(tests/support/pulse-private.sh start DIR)"   # prints exports
#   tests/support/pulse-private.sh stop DIR
#
# The server has one null sink "programme" (what the tests play into) and a
# remapped source "programme_in" on its monitor: Qt does not list monitor
# sources as audio inputs, a remapped source it does.
set -euo pipefail
cmd=${1:?start|stop}
dir=${2:?directory}
case "$cmd" in
start)
    mkdir -p "$dir/runtime" "$dir/state"
    chmod 700 "$dir/runtime"
    export XDG_RUNTIME_DIR="$dir/runtime"
    export PULSE_RUNTIME_PATH="$dir/runtime/pulse"
    export PULSE_STATE_PATH="$dir/state"
    export PULSE_SERVER="unix:$dir/runtime/pulse/native"
    export HOME="${HOME:-$dir}"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=no \
        --use-pid-file=no --log-target=file:"$dir/pulse.log" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/runtime/pulse/native" \
        -L "module-null-sink sink_name=programme rate=48000 channels=2 sink_properties=device.description=Programme" \
        -L "module-remap-source source_name=programme_in master=programme.monitor source_properties=device.description=Programme-ingang" \
        -L "module-always-sink" \
        >/dev/null 2>&1 &
    echo $! >"$dir/pulse.pid"
    for _ in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then break; fi
        sleep 0.1
    done
    pactl info >/dev/null 2>&1 || { echo "pulse-private: server did not start, see $dir/pulse.log" >&2; exit 1; }
    pactl set-default-sink programme >/dev/null
    pactl set-default-source programme_in >/dev/null
    printf 'export XDG_RUNTIME_DIR=%q PULSE_RUNTIME_PATH=%q PULSE_STATE_PATH=%q PULSE_SERVER=%q\n' \
        "$XDG_RUNTIME_DIR" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH" "$PULSE_SERVER"
    ;;
stop)
    if [ -f "$dir/pulse.pid" ]; then
        kill "$(cat "$dir/pulse.pid")" 2>/dev/null || true
        rm -f "$dir/pulse.pid"
    fi
    ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
