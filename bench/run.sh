#!/usr/bin/env bash
# Prints figures for Sondral, measured side by side in one run on one
# private PulseAudio programme source (48 kHz stereo), without judging them:
#   1. CPU (% of one core, every thread of the process), voluntary context
#      switches a second (every thread) and peak resident memory over the
#      same seconds of monitoring (AUTO armed, a tone playing) for: Sondral
#      offscreen (as the headless service runs), Sondral with its window
#      visible on a virtual display, parec at 20 ms fragments (a bare
#      recorder of the same sound server) and ffmpeg's silencedetect; and
#      the ratios. The X server's painting is not counted.
#   2. the alarm latency error over 10 alarms, for both Sondrals at once:
#      alarm received minus silence onset minus (AutoTime + 1) s;
#   3. the time from a datagram leaving the peer to its log line;
#   4. process start to HostPort bound over 10 starts each: sound server
#      up, stopped with SIGSTOP (accepts the connection, never answers), and
#      gone.
#
#   bench/run.sh [BUILD_DIR]     (default: build; built when missing)
#   BENCH_SECONDS=60 BENCH_ALARMS=10 BENCH_STARTS=10 override the lengths;
#   BENCH_ALARM_STATIONS="offscreen" times the alarms of one Sondral only.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
build=${1:-$root/build}
seconds=${BENCH_SECONDS:-60}
alarms=${BENCH_ALARMS:-10}
starts=${BENCH_STARTS:-10}
read -ra alarm_stations <<<"${BENCH_ALARM_STATIONS:-offscreen visible}"

if [ -z "${SONDRAL_BENCH_VIRTUAL:-}" ]; then
    "$root/scripts/ensure-packages.sh" @bench
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
    [ -n "${pulse_pid:-}" ] && kill -CONT "$pulse_pid" 2>/dev/null
    remove_work
}
trap cleanup EXIT
trap 'exit 130' INT TERM

sod_now() { sod "$(date +%H:%M:%S.%N)"; }
# CPU seconds (user + system) of a process so far, all its threads.
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.3f", ($12 + $13) / hz }' "/proc/$1/stat"
}
# Voluntary context switches so far, summed over the process's threads.
voluntary_switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches:/ { s += $2 } END { print s + 0 }'
}
threads_of() { awk '/^Threads:/ { print $2 }' "/proc/$1/status"; }
stats() { # min median max of the numbers on stdin
    sort -g | awk 'NF { v[++n] = $1 } END { if (n) printf "min %.3f  median %.3f  max %.3f  (n=%d)",
        v[1], (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2), v[n], n }'
}
bound() { [ -n "$(ss -Hlun "sport = :$1")" ]; }

eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
pulse_pid=$(cat "$work/pulse/pulse.pid")

# Two stations, each the program alone in a folder, as installed.
declare -A host remote dir pid
for who in offscreen visible; do
    host[$who]=$(free_udp_port)
    remote[$who]=$(free_udp_port)
    dir[$who]="$work/$who"
    mkdir -p "${dir[$who]}"
    cp "$build/sondral" "${dir[$who]}/"
done
write_ini() { # who AutoTime
    printf '[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=%s\r\nLog=1\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%s\r\nHostPort=%s\r\n' \
        "$2" "${remote[$1]}" "${host[$1]}" >"${dir[$1]}/sondral.ini"
}
start_sondral() { # who [environment...]
    local who=$1
    shift
    if [ "$who" = offscreen ]; then
        env -u DISPLAY QT_QPA_PLATFORM=offscreen LC_ALL=C "$@" "${dir[$who]}/sondral" >>"$work/$who.out" 2>&1 &
    else
        env LC_ALL=C "$@" "${dir[$who]}/sondral" >>"$work/$who.out" 2>&1 &
    fi
    pid[$who]=$!
    pids+=("${pid[$who]}")
}
stop_sondral() { stop_process "${pid[$1]}"; }
# Plays FILE into the sink; sets play_pid, and play_start to the moment the
# server started the stream.
play() {
    start_stream "$1" "$work/paplay.out"
    play_pid=$stream_pid
    play_start=$stream_start
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }

echo "Sondral benchmark, $(date '+%Y-%m-%d %H:%M')"
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Build: $build"
echo

# --- 4. process start to HostPort bound
write_ini offscreen 100
startup_times() { # [environment...]: one line of figures
    local times=() t0
    for _ in $(seq 1 "$starts"); do
        t0=$(now)
        start_sondral offscreen "$@"
        until bound "${host[offscreen]}"; do sleep 0.002; done
        times+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')")
        stop_sondral offscreen
    done
    printf '%s\n' "${times[@]}" | stats
}
startup_up=$(startup_times)
kill -STOP "$pulse_pid"
startup_stopped=$(startup_times)
kill -CONT "$pulse_pid"
startup_gone=$(startup_times PULSE_SERVER="unix:$work/no-server")

# --- 1. CPU, context switches and memory, all four on the same source
sox -V1 -n -r 48000 -b 16 -c 2 "$work/tone.wav" synth "$((seconds + 20))" sine 440 gain -n -12
play "$work/tone.wav"
for who in offscreen visible; do
    write_ini "$who" 100
    start_sondral "$who"
done
for who in offscreen visible; do
    until bound "${host[$who]}"; do sleep 0.01; done
    "$sim" --port "${host[$who]}" send SN_AUTO >/dev/null
done
ffmpeg -nostdin -hide_banner -loglevel error -f pulse -i programme_in \
    -af silencedetect=noise=-54dB:duration=5 -f null - >"$work/ffmpeg.out" 2>&1 &
pid[ffmpeg]=$!
pids+=("${pid[ffmpeg]}")
parec --latency-msec=20 -d programme_in --raw >/dev/null 2>&1 &
pid[parec]=$!
pids+=("${pid[parec]}")
sleep 3 # all settled
measured=(offscreen visible parec ffmpeg)
declare -A c0 c1 v0 v1 rss threads cpu cps
for who in "${measured[@]}"; do
    c0[$who]=$(cpu_seconds "${pid[$who]}")
    v0[$who]=$(voluntary_switches "${pid[$who]}")
done
w0=$(now)
sleep "$seconds"
for who in "${measured[@]}"; do
    c1[$who]=$(cpu_seconds "${pid[$who]}")
    v1[$who]=$(voluntary_switches "${pid[$who]}")
    rss[$who]=$(peak_rss_mb "${pid[$who]}")
    threads[$who]=$(threads_of "${pid[$who]}")
done
w1=$(now)
kill "${pid[ffmpeg]}" "${pid[parec]}" "$play_pid" 2>/dev/null || true
for who in offscreen visible; do stop_sondral "$who"; done
for who in "${measured[@]}"; do
    cpu[$who]=$(awk -v a="${c0[$who]}" -v b="${c1[$who]}" -v w0="$w0" -v w1="$w1" 'BEGIN { printf "%.2f", 100 * (b - a) / (w1 - w0) }')
    cps[$who]=$(awk -v a="${v0[$who]}" -v b="${v1[$who]}" -v w0="$w0" -v w1="$w1" 'BEGIN { printf "%.1f", (b - a) / (w1 - w0) }')
done

# --- 2. alarm latency error over $alarms alarms, the Sondrals at once
auto_time=2
for who in "${alarm_stations[@]}"; do
    write_ini "$who" "$auto_time"
    start_sondral "$who"
done
for who in "${alarm_stations[@]}"; do until bound "${host[$who]}"; do sleep 0.01; done; done
sox -V1 -n -r 48000 -b 16 -c 2 "$work/burst.wav" synth 3 sine 440 gain -n -12 pad 0 "$((auto_time + 8))"
declare -A errors
for i in $(seq 1 "$alarms"); do
    play "$work/burst.wav"
    onset=$(awk -v t="$play_start" 'BEGIN { printf "%.3f", t + 3 }')
    # Stagger the datagram so that the tick's phase against the onset varies.
    sleep "0.$((i * 97 % 10))"
    for who in "${alarm_stations[@]}"; do
        "$sim" --port "${host[$who]}" --listen "${remote[$who]}" --bind 127.0.0.1 \
            send SN_AUTO, expect SN_ALARM "$((auto_time + 10))" >"$work/sim-$who.out" 2>&1 &
        pid[sim_$who]=$!
    done
    for who in "${alarm_stations[@]}"; do
        wait "${pid[sim_$who]}" || true
        line=$(grep '"SN_ALARM"' "$work/sim-$who.out" | grep ' from ' | head -1 || true)
        if [ -n "$line" ]; then
            alarm_sod=$(sod "${line%% *}")
            onset_sod=$(sod "$(date -d "@$onset" +%H:%M:%S.%N)")
            errors[$who]+="$(awk -v a="$alarm_sod" -v o="$onset_sod" -v t="$auto_time" 'BEGIN { printf "%.3f", a - o - (t + 1) }') "
        fi
    done
    wait "$play_pid" 2>/dev/null || true
done

# --- 3. datagram to log line, on the first of them
lograw=()
first=${alarm_stations[0]}
log="${dir[$first]}/sondral.log"
for _ in $(seq 1 10); do
    before=$(wc -l <"$log")
    sent=$("$sim" --port "${host[$first]}" send SN_LIVE | awk '/  to / { print $1 }')
    until [ "$(wc -l <"$log")" -gt "$before" ]; do sleep 0.001; done
    seen=$(sod_now)
    lograw+=("$(awk -v a="$(sod "$sent")" -v b="$seen" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
    sleep 0.2
done
for who in "${alarm_stations[@]}"; do stop_sondral "$who"; done

echo "1. Monitoring for ${seconds} s, tone at -12 dBFS, AUTO armed, side by side"
printf '   %-30s %8s %16s %12s %8s\n' "" "CPU %" "vol. switches/s" "peak RSS MB" "threads"
for who in "${measured[@]}"; do
    case $who in
    offscreen) name="sondral offscreen" ;;
    visible) name="sondral, window visible (Xvfb)" ;;
    parec) name="parec --latency-msec=20" ;;
    ffmpeg) name="ffmpeg -af silencedetect" ;;
    esac
    printf '   %-30s %8s %16s %12s %8s\n' "$name" "${cpu[$who]}" "${cps[$who]}" "${rss[$who]}" "${threads[$who]}"
done
echo "   CPU ratio to parec:  offscreen $(ratio "${cpu[offscreen]}" "${cpu[parec]}")   visible $(ratio "${cpu[visible]}" "${cpu[parec]}")"
echo "   CPU ratio to ffmpeg: offscreen $(ratio "${cpu[offscreen]}" "${cpu[ffmpeg]}")   visible $(ratio "${cpu[visible]}" "${cpu[ffmpeg]}")"
echo "2. Alarm latency error, AutoTime $auto_time, $alarms alarms (s):"
for who in "${alarm_stations[@]}"; do
    read -ra each <<<"${errors[$who]:-}"
    printf '   %-10s %s\n' "$who" "$(printf '%s\n' "${each[@]}" | stats)"
    echo "              each: ${each[*]}"
done
echo "3. Datagram sent to log line seen ($first; ms, SN_LIVE, file polled every ~1 ms):"
echo "   $(printf '%s\n' "${lograw[@]}" | stats)"
echo "4. Process start to HostPort bound, $starts starts each (s, polled with ss):"
echo "   sound server up:              $startup_up"
echo "   sound server stopped (STOP):  $startup_stopped"
echo "   no sound server:              $startup_gone"
