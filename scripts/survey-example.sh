#!/usr/bin/env bash
# Makes the example survey picture of docs/settings.md: a synthetic 150-second programme
# (music, speech, a quiet passage, two fade-outs into the chain's hiss at
# about -54 dBFS) played into a private PulseAudio server and surveyed there.
#   scripts/survey-example.sh [BUILD [PICTURE]]
# Needs python3 for the programme and a built sondral-survey.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
picture=${2:-$root/docs/survey-example.png}
source "$root/scripts/lib.sh"
work=$(mktemp -d)
pids=()
trap remove_work EXIT
eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"

python3 - "$work/programme.wav" <<'PY'
import math, random, struct, sys, wave
random.seed(7)
rate = 48000
hiss = 32767 * 10 ** (-54 / 20) / 4.4  # noise whose peak per second is about -54 dBFS
out = bytearray()
def db(x): return 10 ** (x / 20)
def piece(seconds, envelope):
    """envelope(t) gives the (left, right) amplitude at t seconds into the piece."""
    phase = 0.0
    for i in range(int(seconds * rate)):
        t = i / rate
        l, r = envelope(t)
        phase += 2 * math.pi * (220 + 110 * math.sin(t * 0.7)) / rate
        tone = math.sin(phase) * 0.7 + math.sin(3.01 * phase) * 0.3
        out.extend(struct.pack('<hh',
            max(-32768, min(32767, int(32767 * l * tone + random.gauss(0, hiss)))),
            max(-32768, min(32767, int(32767 * r * tone + random.gauss(0, hiss))))))
def music(seconds, low=-18, high=-6):
    steps = [(random.uniform(low, high), random.uniform(low, high)) for _ in range(int(seconds * 4) + 1)]
    piece(seconds, lambda t: tuple(db(x) for x in steps[int(t * 4)]))
def speech(seconds):
    words, t = [], 0.0
    while t < seconds:
        on = random.uniform(0.3, 0.8); off = random.uniform(0.2, 0.6)
        words.append((t, t + on, db(random.uniform(-16, -10)))); t += on + off
    def env(t):
        for a, b, amp in words:
            if a <= t < b: return (amp, amp * 0.8)
        return (0.0, 0.0)
    piece(seconds, env)
def fade(seconds, start=-10, end=-66):
    piece(seconds, lambda t: (db(start + (end - start) * t / seconds),) * 2)
def gap(seconds): piece(seconds, lambda t: (0.0, 0.0))
def quiet(seconds, level=-39):
    piece(seconds, lambda t: (db(level + 2 * math.sin(t)), db(level - 1 + 2 * math.cos(t))))
quiet(5); music(35); fade(6); gap(2); speech(32); gap(2); quiet(13)
music(25); fade(6); gap(3); music(24)
with wave.open(sys.argv[1], 'wb') as f:
    f.setnchannels(2); f.setsampwidth(2); f.setframerate(rate); f.writeframes(out)
PY

start_stream "$work/programme.wav" "$work/paplay.txt"
"$build/sondral-survey" --card 0 --minutes 2.5 --plot "$picture"
