#!/usr/bin/env bash
# Prints figures for Sondral, measured on a private PulseAudio programme
# source (48 kHz stereo), without judging them:
#   1. CPU (% of one core) and peak resident memory over 60 s of monitoring,
#      window painted on a virtual display, side by side on the same source
#      with ffmpeg's silencedetect and with parec at Sondral's fragment size
#      (20 ms; the floor for any client of the sound server), and the ratios;
#      Sondral's figures count every process it runs (there should be one);
#   2. the alarm latency error over 10 alarms: alarm received minus silence
#      onset minus (AutoTime + 1) s;
#   3. the time from a datagram leaving the peer to its log line;
#   4. the start-up time until the datagram socket is bound.
#
#   bench/run.sh [BUILD_DIR]     (default: build; built when missing)
#   BENCH_SECONDS=60 BENCH_ALARMS=10 override the lengths.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
build=${1:-$root/build}
seconds=${BENCH_SECONDS:-60}
alarms=${BENCH_ALARMS:-10}

if [ -z "${SONDRAL_BENCH_VIRTUAL:-}" ]; then
    "$root/scripts/ensure-packages.sh" ffmpeg
    [ -x "$build/sondral" ] && [ -x "$build/tools/sondral-sim/sondral-sim" ] ||
        "$root/scripts/build.sh" "$build"
    # Always on a virtual display of its own, so a desktop does not disturb the figures.
    exec_on_virtual_display SONDRAL_BENCH_VIRTUAL "$0" "$(cd "$build" && pwd)"
fi
build=$(cd "$build" && pwd)
sim="$build/tools/sondral-sim/sondral-sim"

work=$(mktemp -d /tmp/sondral-bench.XXXXXX)
pids=()
cleanup() {
    trap - EXIT INT TERM
    remove_work
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# "HH:MM:SS.mmm" (sondral-sim's stamps) to seconds since midnight.
sod() { awk -F: '{ printf "%.3f", $1 * 3600 + $2 * 60 + $3 }' <<<"$1"; }
sod_now() { sod "$(date +%H:%M:%S.%N)"; }
# CPU seconds (user + system) of a process so far.
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.3f", ($12 + $13) / hz }' "/proc/$1/stat"
}
peak_rss_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }
peak_rss_mb() { awk -v k="$(peak_rss_kb "$1")" 'BEGIN { printf "%.1f", k / 1024 }'; }
# A process and all its descendants.
process_tree() {
    local pid=$1 child
    echo "$pid"
    for child in $(pgrep -P "$pid" || true); do process_tree "$child"; done
}
# CPU seconds of Sondral and of every process it runs.
sondral_cpu_seconds() {
    local total=0 pid
    for pid in $(process_tree "$sondral_pid"); do
        total=$(awk -v a="$total" -v b="$(cpu_seconds "$pid" 2>/dev/null || echo 0)" 'BEGIN { printf "%.3f", a + b }')
    done
    echo "$total"
}
# Peak resident memory of Sondral and of every process it runs, summed.
sondral_rss_mb() {
    local total=0 pid
    for pid in $(process_tree "$sondral_pid"); do
        total=$((total + $(peak_rss_kb "$pid" 2>/dev/null || echo 0)))
    done
    awk -v k="$total" 'BEGIN { printf "%.1f", k / 1024 }'
}
stats() { # min mean max of the numbers on stdin
    awk '{ v[NR] = $1; s += $1; if (NR == 1 || $1 < lo) lo = $1; if (NR == 1 || $1 > hi) hi = $1 }
         END { if (NR) printf "min %.3f  mean %.3f  max %.3f  (n=%d)", lo, s / NR, hi, NR }'
}

eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"

host_port=$(free_udp_port)
remote_port=$(free_udp_port)
station="$work/station"
mkdir -p "$station"
cp "$build/sondral" "$station/" # installed as at a station: the program alone
write_ini() { # AutoTime
    printf '[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=%s\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%s\r\nHostPort=%s\r\n' \
        "$1" "$remote_port" "$host_port" >"$station/sondral.ini"
}
start_sondral() {
    LC_ALL=C "$station/sondral" >>"$work/sondral.out" 2>&1 &
    sondral_pid=$!
    pids+=("$sondral_pid")
}
stop_sondral() { stop_process "$sondral_pid"; }
# Plays FILE into the sink; sets play_pid, and play_start to the moment the
# server started the stream.
play() {
    start_stream "$1" "$work/paplay.out"
    play_pid=$stream_pid
    play_start=$stream_start
}

echo "Sondral benchmark, $(date '+%Y-%m-%d %H:%M')"
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(uname -sr)"
echo "Build: $build"
echo

# --- 4. start-up time to the socket being bound (5 starts)
write_ini 100
startup=()
for _ in 1 2 3 4 5; do
    t0=$(now)
    start_sondral
    until [ -n "$(ss -Hlun "sport = :$host_port")" ]; do sleep 0.005; done
    startup+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')")
    stop_sondral
done

# --- 1. CPU and memory over $seconds s, Sondral and ffmpeg on the same source
sox -V1 -n -r 48000 -b 16 -c 2 "$work/tone.wav" synth "$((seconds + 20))" sine 440 gain -n -12
play "$work/tone.wav"
start_sondral
until [ -n "$(ss -Hlun "sport = :$host_port")" ]; do sleep 0.01; done
"$sim" --port "$host_port" send SN_AUTO >/dev/null
ffmpeg -nostdin -hide_banner -loglevel error -f pulse -i programme_in \
    -af silencedetect=noise=-54dB:duration=5 -f null - >"$work/ffmpeg.out" 2>&1 &
ffmpeg_pid=$!
pids+=("$ffmpeg_pid")
parec --latency-msec=20 -d programme_in --raw >/dev/null 2>&1 &
parec_pid=$!
pids+=("$parec_pid")
sleep 3 # all settled
s0=$(sondral_cpu_seconds)
f0=$(cpu_seconds "$ffmpeg_pid")
p0=$(cpu_seconds "$parec_pid")
w0=$(now)
sleep "$seconds"
s1=$(sondral_cpu_seconds)
f1=$(cpu_seconds "$ffmpeg_pid")
p1=$(cpu_seconds "$parec_pid")
w1=$(now)
sondral_processes=$(process_tree "$sondral_pid" | wc -l)
sondral_threads=$(awk '/^Threads:/ { print $2 }' "/proc/$sondral_pid/status")
sondral_rss=$(sondral_rss_mb)
ffmpeg_rss=$(peak_rss_mb "$ffmpeg_pid")
parec_rss=$(peak_rss_mb "$parec_pid")
kill "$ffmpeg_pid" "$parec_pid" 2>/dev/null || true
kill "$play_pid" 2>/dev/null || true
stop_sondral
read -r sondral_cpu ffmpeg_cpu parec_cpu ratio parec_ratio < <(awk -v s0="$s0" -v s1="$s1" -v f0="$f0" -v f1="$f1" \
    -v p0="$p0" -v p1="$p1" -v w0="$w0" -v w1="$w1" 'BEGIN { s = 100 * (s1 - s0) / (w1 - w0);
    f = 100 * (f1 - f0) / (w1 - w0); p = 100 * (p1 - p0) / (w1 - w0);
    printf "%.2f %.2f %.2f %s %s\n", s, f, p, (f > 0 ? sprintf("%.2f", s / f) : "n/a"),
        (p > 0 ? sprintf("%.1f", s / p) : "n/a") }')

# --- 2. alarm latency error over $alarms alarms, and 3. datagram to log line
auto_time=2
write_ini "$auto_time"
start_sondral
until [ -n "$(ss -Hlun "sport = :$host_port")" ]; do sleep 0.01; done
sox -V1 -n -r 48000 -b 16 -c 2 "$work/burst.wav" synth 3 sine 440 gain -n -12 pad 0 "$((auto_time + 8))"
errors=()
for i in $(seq 1 "$alarms"); do
    play "$work/burst.wav"
    onset=$(awk -v t="$play_start" 'BEGIN { printf "%.3f", t + 3 }')
    # Stagger the datagram so that the tick's phase against the onset varies.
    sleep "0.$((i * 97 % 10))"
    "$sim" --port "$host_port" --listen "$remote_port" --bind 127.0.0.1 \
        send SN_AUTO, expect SN_ALARM "$((auto_time + 10))" >"$work/sim.out" 2>&1 || true
    line=$(grep '"SN_ALARM"' "$work/sim.out" | grep ' from ' | head -1 || true)
    if [ -n "$line" ]; then
        alarm_sod=$(sod "${line%% *}")
        onset_sod=$(sod "$(date -d "@$onset" +%H:%M:%S.%N)")
        errors+=("$(awk -v a="$alarm_sod" -v o="$onset_sod" -v t="$auto_time" 'BEGIN { printf "%.3f", a - o - (t + 1) }')")
    fi
    wait "$play_pid" 2>/dev/null || true
done

lograw=()
for _ in $(seq 1 10); do
    before=$(wc -l <"$station/sondral.log")
    sent=$("$sim" --port "$host_port" send SN_LIVE | awk '/  to / { print $1 }')
    until [ "$(wc -l <"$station/sondral.log")" -gt "$before" ]; do sleep 0.001; done
    seen=$(sod_now)
    lograw+=("$(awk -v a="$(sod "$sent")" -v b="$seen" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
    sleep 0.2
done
stop_sondral

echo "1. Monitoring for ${seconds} s, tone at -12 dBFS, window on a virtual display"
printf '   %-34s %8s %% of one core   peak RSS %6s MB   (%s process, %s threads)\n' \
    "sondral (AUTO armed)" "$sondral_cpu" "$sondral_rss" "$sondral_processes" "$sondral_threads"
printf '   %-34s %8s %% of one core   peak RSS %6s MB\n' "ffmpeg -af silencedetect" "$ffmpeg_cpu" "$ffmpeg_rss"
printf '   %-34s %8s %% of one core   peak RSS %6s MB\n' "parec --latency-msec=20" "$parec_cpu" "$parec_rss"
printf '   CPU ratio sondral / ffmpeg: %s   sondral / parec: %s\n' "$ratio" "$parec_ratio"
echo "2. Alarm latency error, AutoTime $auto_time, ${#errors[@]} of $alarms alarms received (s):"
echo "   $(printf '%s\n' "${errors[@]}" | stats)"
echo "   each: ${errors[*]}"
echo "3. Datagram sent to log line seen (ms, SN_LIVE, file polled every ~1 ms):"
echo "   $(printf '%s\n' "${lograw[@]}" | stats)"
echo "4. Process start to HostPort bound (s, polled with ss):"
echo "   $(printf '%s\n' "${startup[@]}" | stats)"
