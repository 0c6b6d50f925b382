#!/usr/bin/env bash
# Prints figures for the status server under load, side by side with the
# same monitoring without load, without judging them. Each round runs a
# fresh offscreen Sondral with [Status] Port on one private PulseAudio
# programme source, AUTO armed (AutoVol 20, AutoTime 2), and plays 3 s of
# tone, then silence, so that an alarm falls inside the 10 s window:
#   - without load: nothing asks the status server;
#   - with load: 50 wrk clients at 2,000 requests a second in all
#     (/status.json and /metrics in turn, keep-alive) and 200 idle
#     connections opened at once beside them.
# For each: the alarm latency error (alarm received minus silence onset
# minus (AutoTime + 1) s), Sondral's CPU (% of one core, every thread) and
# peak resident memory; with load also the requests served a second, wrk's
# errors, and what became of the idle connections (the server keeps at most
# 64 open and closes idle ones after 10 s).
#
#   bench/statusload.sh [BUILD_DIR]     (default: build; built when missing)
#   BENCH_ROUNDS=5 overrides the rounds of each kind.
#
# SN_AUTO goes out 0.5 s after the tone starts, so that the ticks fall half a
# second away from the moments that decide which tick sees the first silent
# second: the error is then 0.5 s (+ the capture's latency) each round, and a
# tick that the load delays by more than about 0.4 s would show as 1.5 s.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
build=${1:-$root/build}
rounds=${BENCH_ROUNDS:-5}
window=10
auto_time=2
[ -x "$build/sondral" ] && [ -x "$build/tools/sondral-sim/sondral-sim" ] ||
    "$root/scripts/build.sh" "$build"
build=$(cd "$build" && pwd)
sim="$build/tools/sondral-sim/sondral-sim"
command -v wrk >/dev/null || { echo "wrk is missing (scripts/packages.txt)" >&2; exit 1; }

work=$(mktemp -d /tmp/sondral-statusload.XXXXXX)
pids=()
trap remove_work EXIT
trap 'exit 130' INT TERM

cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.3f", ($12 + $13) / hz }' "/proc/$1/stat"
}
stats() {
    sort -g | awk 'NF { v[++n] = $1 } END { if (n) printf "min %.3f  median %.3f  max %.3f  (n=%d)",
        v[1], (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2), v[n], n }'
}

eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
sox -V1 -n -r 48000 -b 16 -c 2 "$work/burst.wav" synth 3 sine 440 gain -n -12 pad 0 "$((window - 3))"

# 50 connections, each waiting 25 ms after each answer: 2,000 requests a
# second in all while the server keeps up.
cat >"$work/load.lua" <<'LUA'
local paths = { "/status.json", "/metrics" }
local n = 0
request = function()
    n = n + 1
    return wrk.format("GET", paths[n % 2 + 1])
end
delay = function() return 25 end
LUA
# 200 connections opened at once and left silent; prints how many the
# server refused (over the limit) and how many it held until it closed them
# as idle, and when.
cat >"$work/idle.py" <<'PY'
import socket, sys, time, select
port, count, hold = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
start = time.monotonic()
socks = []
opened = {}
for _ in range(count):
    s = socket.socket()
    try:
        s.connect(("127.0.0.1", port))
        socks.append(s)
        opened[s] = time.monotonic()
    except OSError:
        pass
closed = {}
while time.monotonic() - start < hold and len(closed) < len(socks):
    readable, _, _ = select.select([s for s in socks if s not in closed], [], [], 0.1)
    for s in readable:
        try:
            data = s.recv(1)
        except OSError:
            data = b""
        if not data:
            closed[s] = time.monotonic() - opened[s]
# Refused ones are closed as soon as the server accepts them, which for those
# beyond the kernel's accept queue is a SYN-ACK retry (1 s, 3 s) later.
early = sum(1 for t in closed.values() if t < 5.0)
late = [t for t in closed.values() if t >= 5.0]
print("%d opened, %d refused (closed within 5 s), %d held and closed as idle after %s s, %d still open" % (
    len(socks), early, len(late), ("%.1f" % (sum(late) / len(late))) if late else "-",
    len(socks) - len(closed)))
PY

round() { # load|quiet: one line "error cpu rss [served errors idle...]"
    local kind=$1 dir="$work/$1-$2" host remote port
    host=$(free_udp_port)
    remote=$(free_udp_port)
    port=$(free_tcp_port)
    mkdir -p "$dir"
    cp "$build/sondral" "$dir/"
    printf '[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=%s\r\n[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%s\r\nHostPort=%s\r\n[Status]\r\nPort=%s\r\n' \
        "$auto_time" "$remote" "$host" "$port" >"$dir/sondral.ini"
    env -u DISPLAY QT_QPA_PLATFORM=offscreen LC_ALL=C "$dir/sondral" >"$dir/out.txt" 2>&1 &
    local spid=$!
    pids+=("$spid")
    until curl -sf "http://127.0.0.1:$port/healthz" >/dev/null 2>&1; do sleep 0.05; done
    sleep 2 # capture settled
    local wpid="" ipid=""
    if [ "$kind" = load ]; then
        wrk -t2 -c50 -d"${window}s" -s "$work/load.lua" "http://127.0.0.1:$port" >"$dir/wrk.txt" 2>&1 &
        wpid=$!
        pids+=("$wpid")
        sleep 1 # its 50 connections open first
        python3 "$work/idle.py" "$port" 200 "$((window + 3))" >"$dir/idle.txt" 2>&1 &
        ipid=$!
        pids+=("$ipid")
    fi
    local c0 w0 c1 w1
    c0=$(cpu_seconds "$spid")
    w0=$(now)
    start_stream "$work/burst.wav" "$dir/paplay.out"
    local onset
    onset=$(awk -v t="$stream_start" 'BEGIN { printf "%.3f", t + 3 }')
    sleep 0.5
    "$sim" --port "$host" --listen "$remote" --bind 127.0.0.1 \
        send SN_AUTO, expect SN_ALARM "$window" >"$dir/sim.out" 2>&1 || true
    [ -n "$wpid" ] && wait "$wpid" 2>/dev/null || true
    [ -n "$ipid" ] && wait "$ipid" 2>/dev/null || true
    wait "$stream_pid" 2>/dev/null || true
    c1=$(cpu_seconds "$spid")
    w1=$(now)
    local rss cpu error="n/a" line
    rss=$(peak_rss_mb "$spid")
    cpu=$(awk -v a="$c0" -v b="$c1" -v w0="$w0" -v w1="$w1" 'BEGIN { printf "%.2f", 100 * (b - a) / (w1 - w0) }')
    line=$(grep '"SN_ALARM"' "$dir/sim.out" | grep ' from ' | head -1 || true)
    if [ -n "$line" ]; then
        error=$(awk -v a="$(sod "${line%% *}")" -v o="$(sod "$(date -d "@$onset" +%H:%M:%S.%N)")" \
            -v t="$auto_time" 'BEGIN { printf "%.3f", a - o - (t + 1) }')
    fi
    stop_process "$spid"
    if [ "$kind" = load ]; then
        local served errs
        served=$(awk '/Requests\/sec/ { print $2 }' "$dir/wrk.txt")
        errs=$(awk '/Socket errors|Non-2xx/ { sub(/^ +/, ""); printf "%s; ", $0 }' "$dir/wrk.txt")
        echo "$error $cpu $rss $served|${errs:-none}|$(cat "$dir/idle.txt")"
    else
        echo "$error $cpu $rss"
    fi
}

echo "Sondral status server under load, $(date '+%Y-%m-%d %H:%M')"
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Build: $build"
echo
declare -A errors cpus rsss
for kind in quiet load; do
    for i in $(seq 1 "$rounds"); do
        result=$(round "$kind" "$i")
        read -r e c r rest <<<"${result%%|*}"
        errors[$kind]+="$e "
        cpus[$kind]+="$c "
        rsss[$kind]+="$r "
        if [ "$kind" = load ]; then
            IFS='|' read -r first wrkerr idle <<<"$result"
            echo "   load round $i: $(awk '{ print $4 }' <<<"$first") requests/s served; wrk errors: $wrkerr idle connections: $idle"
        fi
    done
done
echo
echo "Alarm on AUTO (AutoTime $auto_time), $rounds rounds each, ${window} s windows:"
printf '   %-42s %s\n' "" "alarm latency error (s) / CPU % / peak RSS MB"
for kind in quiet load; do
    case $kind in
    quiet) name="without load" ;;
    load) name="50 clients at 2,000 req/s + 200 idle" ;;
    esac
    printf '   %-42s error %s\n' "$name" "$(tr ' ' '\n' <<<"${errors[$kind]}" | grep -v n/a | stats)"
    printf '   %-42s CPU   %s\n' "" "$(tr ' ' '\n' <<<"${cpus[$kind]}" | stats)"
    printf '   %-42s RSS   %s\n' "" "$(tr ' ' '\n' <<<"${rsss[$kind]}" | stats)"
    echo "   each error: ${errors[$kind]}"
done
