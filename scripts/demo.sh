#!/usr/bin/env bash
# A whole simulated station in one command (./run.sh --demo):
#   a private PulseAudio server whose programme is a tone melody at -12 dBFS
#   that goes silent after 10 s, a Sondral in a temporary directory watching
#   it (AutoVol 20, AutoTime 5, logging on), and sondral-sim as the playout
#   server: it sends "SN_AUTO" and waits for "SN_ALARM".
# Without a display it runs under xvfb-run and saves a screenshot.
# Ends by itself after the alarm, or on Ctrl-C; leaves nothing running.
#
#   scripts/demo.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
build=$(cd "${1:-$root/build}" && pwd)
sondral_exe="$build/sondral"
sim_exe="$build/tools/sondral-sim/sondral-sim"
for f in "$sondral_exe" "$sim_exe"; do
    [ -x "$f" ] || { echo "demo: $f is missing; build first (scripts/build.sh $build)" >&2; exit 1; }
done
for tool in pulseaudio paplay pactl sox ss; do
    command -v "$tool" >/dev/null || { echo "demo: $tool is not installed (scripts/ensure-packages.sh)" >&2; exit 1; }
done

# No display: run the whole demo on a virtual one so the window is painted
# and can be photographed.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SONDRAL_DEMO_VIRTUAL:-}" ]; then
    if command -v xvfb-run >/dev/null && command -v import >/dev/null; then
        echo "No display found: running on a virtual display (xvfb-run); a screenshot will be saved."
        exec_on_virtual_display SONDRAL_DEMO_VIRTUAL "$0" "$build"
    fi
    echo "No display and no xvfb-run: Sondral runs offscreen, no screenshot."
    export QT_QPA_PLATFORM=offscreen
fi

work=$(mktemp -d /tmp/sondral-demo.XXXXXX)
station="$work/station"
mkdir -p "$station"
pids=()
finished=0

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    # Sondral first, so that its close is logged; then the rest.
    [ -n "${sondral_pid:-}" ] && stop_process "$sondral_pid"
    if [ "$finished" = 0 ] && [ -f "$station/sondral.log" ]; then
        echo "--- sondral.log"
        cat "$station/sondral.log"
    fi
    remove_work
    exit "$status"
}
trap cleanup EXIT
trap 'echo; echo "Interrupted."; exit 130' INT TERM

say() { echo "[$(since "$t0") s] $*"; }

t0=$(now)
eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
say "private PulseAudio server up (sink \"programme\", source \"programme_in\")"

# The programme: a little melody, each note peaking at -12 dBFS, 10 s in all,
# then a minute of digital silence (the stream keeps running).
notes=(262 330 392 523 392 330 294 349 440 587 440 349 330 392 494 659 494 392 330 262)
parts=()
for i in "${!notes[@]}"; do
    part="$work/note$i.wav"
    sox -V1 -n -r 48000 -b 16 -c 2 "$part" synth 0.5 sine "${notes[$i]}" fade q 0.02 0.5 0.05
    parts+=("$part")
done
sox -V1 "${parts[@]}" "$work/melody.wav" gain -n -12
sox -V1 "$work/melody.wav" "$work/programme.wav" pad 0 60
rm -f "${parts[@]}" "$work/melody.wav"

host_port=$(free_udp_port)
remote_port=$(free_udp_port)
while [ "$remote_port" = "$host_port" ]; do remote_port=$(free_udp_port); done
cat >"$station/sondral.ini" <<EOF
[Audio]
Card=0
AutoVol=20
AutoTime=5
Log=1
[InterPC]
RemoteName=127.0.0.1
RemotePort=$remote_port
HostPort=$host_port
EOF
cp "$sondral_exe" "$station/"

# Sondral, with "/" and ":" in its log's time stamps.
LC_ALL=C LC_TIME=C "$station/sondral" >"$work/sondral.out" 2>&1 &
sondral_pid=$!
for _ in $(seq 1 200); do
    grep -q "Program started Up" "$station/sondral.log" 2>/dev/null && break
    kill -0 "$sondral_pid" 2>/dev/null || { echo "demo: sondral ended early:"; cat "$work/sondral.out"; exit 1; }
    sleep 0.1
done
grep -q "Program started Up" "$station/sondral.log" 2>/dev/null ||
    { echo "demo: sondral did not start up:"; cat "$work/sondral.out"; exit 1; }
say "Sondral running in $station (HostPort $host_port, alarms to 127.0.0.1:$remote_port)"

# A fresh server takes about a second to start a stream: the programme's
# clock starts when paplay reports "Stream started", not when it is launched.
start_stream "$work/programme.wav" "$work/paplay.out"
silence_at=$(awk -v t="$stream_start" 'BEGIN { printf "%.3f", t + 10 }')
say "programme playing (a melody at -12 dBFS; silence comes in 10 s)"

# The playout server's part: name the automation, then wait for the alarm.
"$sim_exe" --port "$host_port" --listen "$remote_port" --bind 127.0.0.1 \
    send SN_AUTO, expect SN_ALARM 40 >"$work/sim.out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
sleep 0.3
say "sondral-sim sent \"SN_AUTO\" (AutoVol 20, AutoTime 5: the alarm is due on the 6th silent second)"

announced=0
alarm_at=""
while kill -0 "$sim_pid" 2>/dev/null; do
    if [ "$announced" = 0 ] && awk -v a="$(now)" -v b="$silence_at" 'BEGIN { exit !(a >= b) }'; then
        say "silence from now"
        announced=1
    fi
    if [ -z "$alarm_at" ] && grep -q '"SN_ALARM"' "$work/sim.out"; then
        alarm_at=$(now)
    fi
    sleep 0.05
done
[ -n "$alarm_at" ] || { grep -q '"SN_ALARM"' "$work/sim.out" && alarm_at=$(now); }
wait "$sim_pid" && sim_status=0 || sim_status=$?

echo "--- sondral-sim"
cat "$work/sim.out"
echo "---"
if [ "$sim_status" != 0 ] || [ -z "$alarm_at" ]; then
    say "no alarm arrived within 40 s"
    exit 1
fi
after=$(awk -v a="$alarm_at" -v b="$silence_at" 'BEGIN { printf "%.1f", a - b }')
say "ALARM received after $after s of silence (status line: SONDRAL GEACTIVEERD!)"

if [ -n "${SONDRAL_DEMO_VIRTUAL:-}" ]; then
    sleep 0.5
    shot="/tmp/sondral-demo-$(date +%Y%m%d-%H%M%S).png"
    if import -window root "$shot" 2>/dev/null; then
        say "screenshot of the window: $shot"
    else
        say "screenshot failed"
    fi
fi

stop_process "$sondral_pid"
echo "--- sondral.log"
cat "$station/sondral.log"
finished=1
say "done; everything stopped and $work removed"
