#!/usr/bin/env bash
# Prints what keeping the sound of each alarm costs, for two builds of
# Sondral side by side on one private PulseAudio programme source (48 kHz
# stereo), without judging the figures:
#   1. CPU (% of one core, all threads) and peak resident memory of each,
#      offscreen, AUTO armed, a tone playing, over the same seconds;
#   2. the CPU of each over the 25 s from an alarm on (the clip's 20 s after
#      included), and the clip's size and length where one was written.
# BEFORE may be a build without clips; then it only gives the comparison.
#
#   bench/clips.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
#   BENCH_SECONDS=60 overrides the length of 1.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
[ $# -eq 2 ] || { echo "usage: $0 BEFORE_BUILD_DIR AFTER_BUILD_DIR" >&2; exit 2; }
seconds=${BENCH_SECONDS:-60}
declare -A build=([before]=$(cd "$1" && pwd) [after]=$(cd "$2" && pwd))
sim="${build[after]}/tools/sondral-sim/sondral-sim"

work=$(mktemp -d /tmp/sondral-bench-clips.XXXXXX)
pids=()
trap 'trap - EXIT; remove_work' EXIT
trap 'exit 130' INT TERM

cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.3f", ($12 + $13) / hz }' "/proc/$1/stat"
}
bound() { [ -n "$(ss -Hlun "sport = :$1")" ]; }
percent() { awk -v a="$1" -v b="$2" -v w="$3" 'BEGIN { printf "%.2f", 100 * (b - a) / w }'; }

eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"

declare -A host remote dir pid
for who in before after; do
    host[$who]=$(free_udp_port)
    remote[$who]=$(free_udp_port)
    dir[$who]="$work/$who"
    mkdir -p "${dir[$who]}"
    cp "${build[$who]}/sondral" "${dir[$who]}/"
    printf '[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=1\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%s\r\nHostPort=%s\r\n' \
        "${remote[$who]}" "${host[$who]}" >"${dir[$who]}/sondral.ini"
done

sox -V1 -n -r 48000 -b 16 -c 2 "$work/tone.wav" synth "$((seconds + 25))" sine 440 gain -n -12 pad 0 40
start_stream "$work/tone.wav" "$work/paplay.out"
tone_start=$stream_start
for who in before after; do
    env -u DISPLAY QT_QPA_PLATFORM=offscreen LC_ALL=C "${dir[$who]}/sondral" >"$work/$who.out" 2>&1 &
    pid[$who]=$!
    pids+=("${pid[$who]}")
done
for who in before after; do
    until bound "${host[$who]}"; do sleep 0.01; done
    "$sim" --port "${host[$who]}" send SN_AUTO >/dev/null
done
sleep 3
declare -A c0 c1
for who in before after; do c0[$who]=$(cpu_seconds "${pid[$who]}"); done
w0=$(now)
sleep "$seconds"
w1=$(now)
for who in before after; do c1[$who]=$(cpu_seconds "${pid[$who]}"); done
window=$(awk -v a="$w0" -v b="$w1" 'BEGIN { print b - a }')

# The tone ends (seconds + 25 after it began); AutoTime 1 alarms about 2 s later.
silence_at=$(awk -v t="$tone_start" -v s="$seconds" 'BEGIN { printf "%.3f", t + s + 25 }')
sleep "$(awk -v a="$silence_at" -v b="$(now)" 'BEGIN { d = a - b; printf "%.3f", (d > 0 ? d : 0) }')"
declare -A a0 a1
for who in before after; do a0[$who]=$(cpu_seconds "${pid[$who]}"); done
v0=$(now)
sleep 25
v1=$(now)
for who in before after; do a1[$who]=$(cpu_seconds "${pid[$who]}"); done
alarm_window=$(awk -v a="$v0" -v b="$v1" 'BEGIN { print b - a }')

echo "Sondral clips benchmark, $(date '+%Y-%m-%d %H:%M'), load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '   %-8s %-40s %14s %16s %12s\n' "" "build" "CPU % tone" "CPU % alarm+25s" "peak RSS MB"
for who in before after; do
    printf '   %-8s %-40s %14s %16s %12s\n' "$who" "${build[$who]}" \
        "$(percent "${c0[$who]}" "${c1[$who]}" "$window")" \
        "$(percent "${a0[$who]}" "${a1[$who]}" "$alarm_window")" "$(peak_rss_mb "${pid[$who]}")"
done
for who in before after; do
    for clip in "${dir[$who]}"/clips/*.flac; do
        [ -e "$clip" ] || continue
        echo "   $who clip: $(basename "$clip"), $(stat -c %s "$clip") bytes, $(soxi -D "$clip") s, $(soxi -r "$clip") Hz"
    done
done
for who in before after; do stop_process "${pid[$who]}"; done
for who in before after; do
    echo "   $who journal (last lines):"
    tail -n 4 "$work/$who.out" | sed 's/^/      /'
done
