#!/usr/bin/env python3
"""The timing half of bench/stream.sh (which sets up the servers and reads
this file's header for nothing: see its own).

  streamwindow.py cpu   --dir D --url URL --seconds N [--status-port P]
  streamwindow.py alarm --dir D --url URL --status-port P --host-port H
                        --listen-port L --autotime T --period P --tone T
                        --alarms N -- FEEDER OUTPUT ARGUMENTS...

D is a folder holding the sondral executable (and any library beside it) and
its sondral.ini, written by the caller. Sondral runs there offscreen, kept
away from the machine's sound server. Everything is on 127.0.0.1.

cpu: Sondral and `ffmpeg -i URL -af volumedetect -f null -` start together
and run for N seconds. Printed for each: the whole run's CPU (user + system
of every thread from start to exit, from wait4 as GNU time gives it), the
CPU of the steady window (utime + stime from /proc/PID/stat, from `settle`
seconds after the start to the end of the window: the same wall-clock
seconds for both), the peak resident set (VmHWM) and the anonymous part of
the resident set (RssAnon) just before the end, the steady CPU of each
thread, and what each had received over TCP (ss -i; both must be getting
the stream before the window).

alarm: a feeder ffmpeg pushes, in real time (-re), a 440 Hz tone at -6 dBFS
for `tone` seconds of every `period`, digital silence for the rest. Its
progress report maps the programme's clock to the wall clock (the smallest
"wall time - out_time" seen, so the muxer's lag counts against the bench,
tens of milliseconds). Each round waits until Sondral's level (status.json)
rises from silence to the tone, waits round/alarms of a second more (so the
tick's phase walks across the second instead of always landing just after
the rise), sends SN_AUTO to HostPort and waits for SN_ALARM at the listener.
Delay beyond the limit = SN_ALARM's arrival - the silence's start in the
pushed programme - AutoTime.
"""

import argparse
import json
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time
import urllib.request

TICK = os.sysconf("SC_CLK_TCK")


def sondral_env():
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "offscreen"
    # A stream needs no sound server; Sondral must not reach the machine's.
    env["PULSE_SERVER"] = "unix:/nonexistent"
    return env


def start_sondral(folder):
    return subprocess.Popen(["./sondral"], cwd=folder, env=sondral_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def cpu_seconds(pid):
    """utime + stime of every thread of pid (the thread group), seconds."""
    with open(f"/proc/{pid}/stat") as f:
        # The command name may hold blanks: the fields after it are counted
        # from its closing parenthesis.
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def received_kb(pid):
    """Bytes the process's established TCP connections have received, kB
    (ss -i: the kernel's count, so it needs nothing from the process)."""
    out = subprocess.run(["ss", "-Htinp", "state", "established"], capture_output=True,
                         text=True, timeout=5).stdout
    total, mine = 0, False
    for line in out.splitlines():
        if "users:" in line:
            mine = f"pid={pid}," in line
        m = re.search(r"bytes_received:(\d+)", line)
        if m and mine:
            total += int(m.group(1))
    return total / 1000


def thread_cpu(pid):
    """{(tid, name): utime + stime seconds} of each live thread of pid."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                name = f.read().strip()
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue  # ended meanwhile
        threads[(tid, name)] = (int(fields[11]) + int(fields[12])) / TICK
    return threads


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def end(process):
    """SIGTERM, then the child's own rusage (all its threads, start to exit)."""
    process.send_signal(signal.SIGTERM)
    deadline = time.monotonic() + 5
    while True:
        pid, _, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            process.returncode = 0  # reaped here: keep Popen from waiting
            return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024
        if time.monotonic() > deadline:
            process.kill()
            deadline = float("inf")
        time.sleep(0.02)


def status(port):
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/status.json", timeout=1) as r:
            return json.load(r)
    except (OSError, ValueError):
        return None


def level(port):
    s = status(port)
    if not s:
        return None
    return max(s["levels"]["left"], s["levels"]["right"])


def wait_url(url, seconds=20):
    """Until the URL answers 200 (a live mount or a written playlist)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with urllib.request.urlopen(url, timeout=1) as r:
                if r.status == 200:
                    return
        except OSError:
            pass
        time.sleep(0.1)
    sys.exit(f"{url} did not answer within {seconds} s")


def spread(values):
    if not values:
        return "none"
    return (f"min {min(values):.2f} s, median {statistics.median(values):.2f} s, "
            f"max {max(values):.2f} s")


def run_cpu(a):
    sondral = start_sondral(a.dir)
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-nostats", "-i", a.url, "-af", "volumedetect", "-f", "null", "-"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    # volumedetect's summary comes at the end; read it on the side so the
    # pipe never fills.
    log = []
    reader = threading.Thread(target=lambda: log.extend(ffmpeg.stderr), daemon=True)
    reader.start()
    started = time.monotonic()

    time.sleep(a.settle)
    first = {p: cpu_seconds(p.pid) for p in (sondral, ffmpeg)}
    early_threads = {p: thread_cpu(p.pid) for p in (sondral, ffmpeg)}
    steady_from = time.monotonic()
    heard = level(a.status_port) if a.status_port else None
    early = {p: received_kb(p.pid) for p in (sondral, ffmpeg)}
    time.sleep(max(0.0, started + a.seconds - time.monotonic()))
    steady = time.monotonic() - steady_from
    rows = {}
    for name, p in (("sondral", sondral), ("ffmpeg", ffmpeg)):
        rows[name] = {
            "steady": cpu_seconds(p.pid) - first[p],
            "threads_steady": {k: v - early_threads[p].get(k, 0)
                               for k, v in thread_cpu(p.pid).items()},
            "hwm": status_kb(p.pid, "VmHWM") / 1024,
            "anon": status_kb(p.pid, "RssAnon") / 1024,
            "threads": status_kb(p.pid, "Threads"),
            "read": early[p],
        }
    whole = time.monotonic() - started
    for name, p in (("sondral", sondral), ("ffmpeg", ffmpeg)):
        rows[name]["whole"], _ = end(p)
    reader.join(timeout=5)
    samples = [int(m.group(1)) for m in (re.search(r"n_samples: (\d+)", l) for l in log) if m]

    if heard is not None:
        print(f"   Sondral's level {a.settle:.0f} s after the start: {heard} % (0 before audio)")
    # From http.server (HTTP/1.0) an HLS client gets each file on a
    # connection of its own, closed at once: ss sees none of it, so the line
    # is left out.
    for name, r in rows.items():
        if r["read"] > 0:
            print(f"   {name} had received {r['read']:.0f} kB {a.settle:.0f} s after the start")
    if samples:
        print(f"   ffmpeg decoded {samples[-1] / 2 / 44100:.1f} s of stereo 44.1 kHz audio")
    print(f"   {'':8} {'whole run CPU':>20} {'steady CPU':>20} {'VmHWM':>9} {'RssAnon':>9} {'threads':>7}")
    for name, r in rows.items():
        print(f"   {name:8} {r['whole']:7.2f} s ({100 * r['whole'] / whole:5.2f} %)"
              f" {r['steady']:7.2f} s ({100 * r['steady'] / steady:5.2f} %)"
              f" {r['hwm']:6.1f} MB {r['anon']:6.1f} MB {r['threads']:7d}")
    for name, r in rows.items():
        print(f"   {name}'s steady CPU by thread: " + ", ".join(
            f"{n} {v:.2f} s" for (_, n), v in sorted(r["threads_steady"].items(),
                                                    key=lambda kv: -kv[1])))
    s, f = rows["sondral"], rows["ffmpeg"]
    ratio = lambda x, y: f"{x / y:.2f}" if y > 0 else "n/a"
    print(f"   Sondral/ffmpeg CPU: whole run {ratio(s['whole'], f['whole'])}, "
          f"steady {ratio(s['steady'], f['steady'])} "
          f"(whole = {whole:.1f} s from start, steady = the last {steady:.1f} s; "
          f"resolution {1 / TICK:.2f} s)")


class Feeder:
    """The pushing ffmpeg and the map from its programme clock to ours."""

    def __init__(self, a):
        expr = f"if(lt(mod(t,{a.period}),{a.tone}),0.5*sin(2*PI*440*t),0)"
        self.process = subprocess.Popen(
            ["ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi",
             "-i", f"aevalsrc=exprs='{expr}':s=44100:c=stereo",
             "-progress", "pipe:1", "-stats_period", "0.2"] + a.feed,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        self.zero = None  # wall clock (time.time()) of the programme's t = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith("out_time_us="):
                now = time.time()
                try:
                    t = int(line.split("=", 1)[1]) / 1e6
                except ValueError:
                    continue
                if t > 0 and (self.zero is None or now - t < self.zero):
                    self.zero = now - t

    def stop(self):
        self.process.terminate()
        self.process.wait()


def run_alarm(a):
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind(("127.0.0.1", a.listen_port))
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    feeder = Feeder(a)
    wait_url(a.url)
    while feeder.zero is None:
        time.sleep(0.05)
    sondral = start_sondral(a.dir)
    delays, latencies = [], []
    silence = a.period - a.tone
    try:
        for round_ in range(a.alarms):
            # A rise: silent, then the tone, as Sondral reads it.
            deadline = time.monotonic() + 3 * a.period + 30
            was_silent = False
            while True:
                if time.monotonic() > deadline:
                    sys.exit("Sondral never heard the tone come back")
                v = level(a.status_port)
                if v is not None and v < a.autovol / 2:
                    was_silent = True
                elif v is not None and was_silent:
                    break
                time.sleep(0.02)
            rise = time.time()
            if feeder.zero is not None:
                start = feeder.zero + ((rise - feeder.zero) // a.period) * a.period
                latencies.append(rise - start)
            time.sleep(round_ / a.alarms)
            sender.sendto(b"SN_AUTO", ("127.0.0.1", a.host_port))
            listener.settimeout(a.period + 30)
            while True:
                data, _ = listener.recvfrom(1024)
                if data.strip() == b"SN_ALARM":
                    break
            arrival = time.time()
            # The silence this alarm is for: the last one that began before
            # arrival - AutoTime (the alarm cannot come earlier).
            t = arrival - a.autotime - feeder.zero
            onset = feeder.zero + (t // a.period) * a.period + a.tone
            if onset > arrival - a.autotime:
                onset -= a.period
            delays.append(arrival - onset - a.autotime)
            print(f"   alarm {round_ + 1}: {delays[-1]:.2f} s beyond the limit "
                  f"(armed {round_ / a.alarms:.2f} s after the rise)", flush=True)
    finally:
        end(sondral)
        feeder.stop()
    print(f"   delay beyond AutoTime={a.autotime} over {len(delays)} alarms: {spread(delays)}")
    print(f"   stream latency (tone start pushed -> Sondral's level rises, 20 ms polls): "
          f"{spread(latencies)}")
    print(f"   ({a.tone} s tone / {silence} s silence; expected: 1 s to 2 s plus that latency)")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode", choices=["cpu", "alarm"])
    p.add_argument("--dir", required=True)
    p.add_argument("--url", required=True)
    p.add_argument("--status-port", type=int)
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--settle", type=float, default=5)
    p.add_argument("--host-port", type=int)
    p.add_argument("--listen-port", type=int)
    p.add_argument("--autovol", type=int, default=20)
    p.add_argument("--autotime", type=int, default=3)
    p.add_argument("--period", type=int, default=15)
    p.add_argument("--tone", type=int, default=6)
    p.add_argument("--alarms", type=int, default=3)
    argv = sys.argv[1:]
    feed = argv[argv.index("--") + 1:] if "--" in argv else []
    a = p.parse_args(argv[:len(argv) - len(feed) - (1 if feed else 0)])
    a.feed = feed
    run_cpu(a) if a.mode == "cpu" else run_alarm(a)


if __name__ == "__main__":
    main()
