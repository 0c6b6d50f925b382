#!/usr/bin/env bash
# Prints the capture's cost, side by side: instructions executed inside the
# audio thread's measuring of each delivery (PulseCapture::readStream, under
# valgrind's callgrind) over the same seconds of the same programme, for
#   base      a build of another commit (today's program, before a change),
#   flat-off  this build with every Flat time 0 (no dynamics meter),
#   flat-10   this build with AutoFlat=10 (the dynamics meter on),
# all three at once on one private PulseAudio source (48 kHz stereo,
# offscreen: 250 ms deliveries, as the headless service runs), and the
# ratios to base.
#
#   bench/capture-cpu.sh [BUILD_DIR] [BASE_BUILD_DIR]
#   BENCH_SECONDS=40 sets the length. Without BASE_BUILD_DIR only this build
#   is measured.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
base=${2:-}
[ -n "$base" ] && base=$(cd "$base" && pwd)
seconds=${BENCH_SECONDS:-40}
"$root/scripts/ensure-packages.sh"

work=$(mktemp -d /tmp/sondral-capture-cpu.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$root/tests/support/pulse-private.sh" stop "$work/pulse" || true
    [ -n "${BENCH_KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"

# Programme: pink noise with a slow tremolo, 20 minutes, looped by paplay
# restarting; its content hardly changes what the measuring costs.
sox -n -r 48000 -c 2 -b 16 "$work/programme.wav" synth 1200 pinknoise tremolo 0.5 60 gain -12
paplay -d programme "$work/programme.wav" &
pids+=($!)

declare -A binary flat
labels=()
if [ -n "$base" ]; then
    labels+=(base)
    binary[base]=$base/sondral
    flat[base]=0
fi
labels+=(flat-off flat-10)
binary[flat-off]=$build/sondral
flat[flat-off]=0
binary[flat-10]=$build/sondral
flat[flat-10]=10

declare -A pid
for label in "${labels[@]}"; do
    mkdir -p "$work/$label"
    cp "${binary[$label]}" "$work/$label/sondral"
    printf '[Audio]\nCard=0\nAutoVol=20\nAutoTime=100\nAutoFlat=%s\nLog=0\n' "${flat[$label]}" \
        >"$work/$label/sondral.ini"
    QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --toggle-collect='PulseCapture::readStream()' \
        --callgrind-out-file="$work/$label/callgrind.out" "$work/$label/sondral" \
        >"$work/$label/output.txt" 2>&1 &
    pid[$label]=$!
    pids+=($!)
done
sleep "$seconds"
for label in "${labels[@]}"; do kill -TERM "${pid[$label]}" 2>/dev/null || true; done
for label in "${labels[@]}"; do wait "${pid[$label]}" 2>/dev/null || true; done

instructions() { awk '/^(summary|totals):/ { print $2; exit }' "$work/$1/callgrind.out"; }
reference=$(instructions "${labels[0]}")
printf '%-9s %16s %8s   (%s s, the same programme, all at once)\n' "build" "instructions" "ratio" "$seconds"
for label in "${labels[@]}"; do
    n=$(instructions "$label")
    awk -v l="$label" -v n="$n" -v r="$reference" \
        'BEGIN { printf "%-9s %16d %8.3f   %.1f M\n", l, n, n / r, n / 1e6 }'
done
