#!/usr/bin/env bash
# Prints one row for each hostile peer that an outsider controls, run
# against a fresh offscreen Sondral each time, without judging the figures
# beyond the targets named in the last column:
#   quiet       no hostile peer (for comparison);
#   udp-flood   4 senders flat out at HostPort with junk (no keyword);
#   slow-http   64 connections to the status port, each sending a request
#               head one byte a second (reopened when closed);
#   clips-60    60 clip requests pipelined on one connection that never
#               reads (a 10 MB clip in clips/);
#   webhook     [Notify] Url at a local receiver that answers one byte every
#               3 s;
#   command     [Notify] Command printing 300 MB (one line) for each event,
#               for "started" while the silence is being counted.
# Each round: [Status] Port set, AUTO armed (AutoVol 20, AutoTime 2), 3 s of
# tone then silence on a private PulseAudio programme source, SN_AUTO 0.5 s
# after the tone starts, the peer started at once. Columns:
#   late    the alarm's delay beyond its second: SN_ALARM's arrival at a
#           local UDP peer minus the tick it was due on (the first tick
#           AutoTime + 1 s after the silence began; the ticks run on the
#           second from SN_AUTO); "none" when it did not come within 12 s;
#   peak    Sondral's peak resident memory (VmHWM), MB;
#   healthz /healthz asked every 0.5 s while the peer runs: answered
#           (any status) within 1 s, of asked.
# Targets: late at most 1 s, peak under 60 MB, every /healthz answered.
# Loopback only; every peer is bounded in time and ends with its round.
#
#   bench/hostile.sh [BUILD_DIR] [ROW...]   (default: build; every row)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib.sh"
build=${1:-$root/build}
shift || true
all_rows=(quiet udp-flood slow-http clips-60 webhook command)
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=("${all_rows[@]}")
auto_time=2
window=12 # seconds the sim waits for SN_ALARM after SN_AUTO
[ -x "$build/sondral" ] && [ -x "$build/tools/sondral-sim/sondral-sim" ] ||
    "$root/scripts/build.sh" "$build"
build=$(cd "$build" && pwd)
sim="$build/tools/sondral-sim/sondral-sim"

work=$(mktemp -d /tmp/sondral-hostile.XXXXXX)
pids=()
# BENCH_KEEP=1 keeps the work folder (each round's output) for a look.
trap '[ -n "${BENCH_KEEP:-}" ] && pids=() && echo "kept $work" >&2 || remove_work' EXIT
trap 'exit 130' INT TERM


eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
sox -V1 -n -r 48000 -b 16 -c 2 "$work/burst.wav" synth 3 sine 440 gain -n -12 pad 0 "$window"

# The peers, each ending by itself after its seconds.
cat >"$work/flood.py" <<'PY'
# Junk datagrams to 127.0.0.1:port as fast as one process can send them.
import os, socket, sys, time
port, seconds = int(sys.argv[1]), float(sys.argv[2])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
junk = [os.urandom(n) for n in (1, 7, 19, 64, 200, 512)] + [b"SN_AUT0", b"sn_alarm", b"SN_LIVE "]
end, n = time.monotonic() + seconds, 0
while time.monotonic() < end:
    for payload in junk:
        try:
            s.sendto(payload, ("127.0.0.1", port))
            n += 1
        except OSError:
            pass
print(n)
PY
cat >"$work/slowhttp.py" <<'PY'
# count connections, each sending a request head one byte a second; one
# closed by the server is opened again. Prints how many were closed.
import socket, sys, time, select, signal
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
head = b"GET /healthz HTTP/1.1\r\nHost: x\r\nX-Slow: " + b"a" * 4000
def opened():
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex(("127.0.0.1", port))
    return [s, 0]
conns = [opened() for _ in range(count)]
closed, end = 0, time.monotonic() + seconds
def trickle():
    global closed
    while time.monotonic() < end:
        for c in conns:
            try:
                c[0].send(head[c[1] % len(head):c[1] % len(head) + 1])
                c[1] += 1
            except OSError:
                pass
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            readable, _, _ = select.select([c[0] for c in conns], [], [],
                                           max(0, deadline - time.monotonic()))
            for s in readable:
                try:
                    data = s.recv(4096)
                except OSError:
                    data = b""
                if not data:
                    closed += 1
                    i = next(i for i, c in enumerate(conns) if c[0] is s)
                    s.close()
                    conns[i] = opened()
try:
    trickle()
finally:
    print(closed, flush=True)
PY
cat >"$work/pipeline.py" <<'PY'
# One connection, a small receive buffer, count clip requests pipelined,
# never a byte read; held for seconds.
import socket, sys, time
port, name, count, seconds = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.connect(("127.0.0.1", port))
s.sendall(b"".join(b"GET /clips/%s HTTP/1.1\r\nHost: x\r\n\r\n" % name.encode() for _ in range(count)))
time.sleep(seconds)
PY
cat >"$work/trickle.py" <<'PY'
# An HTTP receiver that reads each request and answers one byte every
# `every` seconds, for seconds in all.
import socket, sys, threading, time
port, every, seconds = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
answer = b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"
end = time.monotonic() + seconds
def serve(c):
    c.settimeout(1)
    try:
        c.recv(65536)
        for b in answer:
            if time.monotonic() >= end:
                break
            c.send(bytes([b]))
            time.sleep(every)
    except OSError:
        pass
    c.close()
l = socket.socket()
l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
l.bind(("127.0.0.1", port))
l.listen(16)
l.settimeout(0.5)
while time.monotonic() < end:
    try:
        c, _ = l.accept()
    except OSError:
        continue
    threading.Thread(target=serve, args=(c,), daemon=True).start()
PY
# /healthz every 0.5 s until the file $2 exists: prints "answered asked".
cat >"$work/probe.sh" <<'SH'
port=$1 stop=$2 asked=0 answered=0
while [ ! -e "$stop" ]; do
    asked=$((asked + 1))
    code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 1 "http://127.0.0.1:$port/healthz" || true)
    [ "${code:-000}" != 000 ] && answered=$((answered + 1))
    sleep 0.5
done
echo "$answered $asked"
SH
# 300 MB on standard output as one line, for every event; for "started"
# 4 s late, so that it is read while the silence is being counted.
cat >"$work/talk.sh" <<'SH'
#!/bin/sh
[ "$SONDRAL_EVENT" = started ] && sleep 4
head -c 300000000 /dev/zero | tr '\0' x
SH
chmod +x "$work/talk.sh"

round() { # ROW: prints "late peak healthz note"
    local row=$1 dir="$work/$1" host remote port hook=""
    host=$(free_udp_port)
    remote=$(free_udp_port)
    port=$(free_tcp_port)
    mkdir -p "$dir/clips"
    cp "$build/sondral" "$dir/"
    {
        printf '[Audio]\r\nCard=0\r\nAutoVol=20\r\nAutoTime=%s\r\n' "$auto_time"
        printf '[InterPC]\r\nRemoteName=127.0.0.1\r\nRemotePort=%s\r\nHostPort=%s\r\n' "$remote" "$host"
        printf '[Status]\r\nPort=%s\r\n' "$port"
        case $row in
        webhook)
            hook=$(free_tcp_port)
            printf '[Notify]\r\nUrl=http://127.0.0.1:%s/hook\r\n' "$hook"
            ;;
        command) printf '[Notify]\r\nCommand=%s\r\n' "$work/talk.sh" ;;
        esac
    } >"$dir/sondral.ini"
    local clip
    clip="$(date +%Y-%m-%d_%H-%M-%S)_AUTO.flac"
    [ "$row" = clips-60 ] && head -c 10000000 /dev/urandom >"$dir/clips/$clip"
    local peer_seconds=$((window + 4)) ppid=""
    if [ "$row" = webhook ]; then
        python3 "$work/trickle.py" "$hook" 3 "$((peer_seconds + 8))" >"$dir/peer.out" 2>&1 &
        ppid=$!
        pids+=("$ppid")
        for _ in $(seq 1 100); do
            [ -n "$(ss -Hltn "sport = :$hook")" ] && break
            sleep 0.05
        done
    fi
    env -u DISPLAY QT_QPA_PLATFORM=offscreen LC_ALL=C "$dir/sondral" >"$dir/out.txt" 2>&1 &
    local spid=$!
    pids+=("$spid")
    for _ in $(seq 1 300); do
        curl -sf --max-time 1 "http://127.0.0.1:$port/healthz" >/dev/null 2>&1 && break
        sleep 0.05
    done
    sleep 2 # capture settled
    start_stream "$work/burst.wav" "$dir/paplay.out"
    local onset
    onset=$(awk -v t="$stream_start" 'BEGIN { printf "%.3f", t + 3 }')
    sleep 0.5
    "$sim" --port "$host" --listen "$remote" --bind 127.0.0.1 \
        send SN_AUTO, expect SN_ALARM "$window" >"$dir/sim.out" 2>&1 &
    local simpid=$!
    pids+=("$simpid")
    sleep 0.2 # SN_AUTO out before the flood
    local flooders=()
    case $row in
    udp-flood)
        for _ in 1 2 3 4; do
            python3 "$work/flood.py" "$host" "$peer_seconds" >>"$dir/peer.out" 2>&1 &
            flooders+=($!)
            pids+=($!)
        done
        ;;
    slow-http)
        python3 "$work/slowhttp.py" "$port" 64 "$peer_seconds" >"$dir/peer.out" 2>&1 &
        ppid=$!
        pids+=("$ppid")
        ;;
    clips-60)
        python3 "$work/pipeline.py" "$port" "$clip" 60 "$peer_seconds" >"$dir/peer.out" 2>&1 &
        ppid=$!
        pids+=("$ppid")
        ;;
    esac
    bash "$work/probe.sh" "$port" "$dir/stop" >"$dir/probe.out" 2>&1 &
    local probepid=$!
    pids+=("$probepid")
    wait "$simpid" 2>/dev/null || true
    sleep 1 # what the peer does after the alarm counts too
    touch "$dir/stop"
    wait "$probepid" 2>/dev/null || true
    local peak
    peak=$(peak_rss_mb "$spid")
    local f
    for f in "${flooders[@]}"; do wait "$f" 2>/dev/null || true; done
    [ -n "$ppid" ] && { kill "$ppid" 2>/dev/null || true; wait "$ppid" 2>/dev/null || true; }
    wait "$stream_pid" 2>/dev/null || true
    stop_process "$spid"

    local late="none" sent arrived
    sent=$(grep '"SN_AUTO"' "$dir/sim.out" | grep '  to ' | head -1 | cut -d' ' -f1 || true)
    arrived=$(grep '"SN_ALARM"' "$dir/sim.out" | grep '  from ' | head -1 | cut -d' ' -f1 || true)
    if [ -n "$sent" ] && [ -n "$arrived" ]; then
        late=$(awk -v s="$(sod "$sent")" -v a="$(sod "$arrived")" \
            -v o="$(sod "$(date -d "@$onset" +%H:%M:%S.%N)")" -v t="$auto_time" 'BEGIN {
                due = o + t + 1; k = due - s; n = int(k); if (n < k) n++
                d = a - (s + n); if (d < 0 && d > -0.005) d = 0; printf "%.2f", d }')
    fi
    local note=""
    case $row in
    udp-flood) note="$(awk '{ n += $1 } END { printf "%d datagrams sent", n }' "$dir/peer.out")" ;;
    slow-http) note="$(tail -1 "$dir/peer.out" 2>/dev/null) connections closed by Sondral" ;;
    esac
    read -r answered asked <"$dir/probe.out" || true
    echo "$late $peak ${answered:-0}/${asked:-0} $note"
}

echo "Sondral against hostile peers, $(date '+%Y-%m-%d %H:%M')"
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Build: $build ($(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?'))"
echo "Targets: late <= 1 s, peak < 60 MB, every /healthz answered within 1 s"
echo
printf '%-10s %8s %9s %9s  %s\n' row "late s" "peak MB" healthz "verdict / note"
for row in "${rows[@]}"; do
    read -r late peak health note <<<"$(round "$row")"
    fails=()
    if [ "$late" = none ] || awk -v l="$late" 'BEGIN { exit !(l > 1) }'; then fails+=(LATE); fi
    if awk -v p="$peak" 'BEGIN { exit !(p >= 60) }'; then fails+=(MEMORY); fi
    [ "${health%/*}" = "${health#*/}" ] || fails+=(HEALTHZ)
    verdict=${fails[*]:-ok}
    printf '%-10s %8s %9s %9s  %s\n' "$row" "$late" "$peak" "$health" "$verdict${note:+; $note}"
done
