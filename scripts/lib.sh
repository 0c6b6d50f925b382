# shellcheck shell=bash disable=SC2034,SC2154
# (stream_pid and stream_start are for the caller; root and work come from it.)
# Shell helpers shared by the scripts and benchmarks (sourced, not run).
# The caller sets root (the repository), work (its temporary folder) and the
# array pids (background processes to end on exit).

# Seconds since the epoch, to the nanosecond.
now() { date +%s.%N; }
# Seconds from the moment $1 (a now) until now, "%5.1f".
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%5.1f", b - a }'; }

# A TCP port of 127.0.0.1 free now (the kernel's choice).
free_tcp_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Peak resident memory of process $1, MB ("?" once it is gone).
peak_rss_mb() { awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status" 2>/dev/null || echo "?"; }

# "HH:MM:SS.mmm" (sondral-sim's stamps) to seconds since midnight.
sod() { awk -F: '{ printf "%.3f", $1 * 3600 + $2 * 60 + $3 }' <<<"$1"; }

# A UDP port nothing listens on, 20000..59999.
free_udp_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        [ -z "$(ss -Hlun "sport = :$port")" ] && { echo "$port"; return; }
    done
}

# Runs the calling script again, with the given arguments, on a virtual X
# display of its own; the environment variable named by $1 is set to 1 so
# that the new run knows it is there.
exec_on_virtual_display() {
    local mark=$1
    shift
    export "$mark"=1
    exec xvfb-run -a -s "-screen 0 800x600x24" "$@"
}

# Ends process $1 the way a shutdown does (SIGTERM, so Sondral logs its
# close), gives it 5 s, then kills it.
stop_process() {
    local pid=$1
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Plays the file $1 into the private server's sink "programme" in the
# background, paplay's messages into the file $2. Sets stream_pid, and
# stream_start to the moment the server started the stream (a fresh server
# takes about a second; waited for at most 5 s).
start_stream() {
    paplay -v --latency-msec=30 -d programme "$1" 2>"$2" &
    stream_pid=$!
    pids+=("$stream_pid")
    for _ in $(seq 1 250); do
        grep -q "Stream started" "$2" 2>/dev/null && break
        sleep 0.02
    done
    stream_start=$(now)
}

# Ends every process in pids, stops the private sound server and removes
# the temporary folder.
remove_work() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    "$root/tests/support/pulse-private.sh" stop "$work/pulse" || true
    rm -rf "$work"
}
