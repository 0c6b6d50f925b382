#!/usr/bin/env bash
# Long runs of the steady-signal detector, with figures, without judging
# them against anything but the tests' own limits:
#   1. every test signal, FLAT_CHECK_SECONDS long (default 600), straight
#      through the dynamics meter: how many seconds were steady, the longest
#      steady run, the spread and repeat figures;
#   2. the same signals through a private PulseAudio server and the real
#      capture, read once a second as the tick reads them;
#   3. the real program with AutoFlat=10: a 50 Hz hum at -30 dBFS raises the
#      alarm (seconds after the player started), and FLAT_CHECK_SECONDS of the
#      limited music raise none.
#
#   scripts/flat-check.sh [BUILD_DIR]      (default: build; built when missing)
#   FLAT_CHECK_SECONDS=120 FLAT_CHECK_PARTS="1 3" for a shorter look.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd || echo "${1:-$root/build}")
seconds=${FLAT_CHECK_SECONDS:-600}
read -ra parts <<<"${FLAT_CHECK_PARTS:-1 2 3}"

"$root/scripts/ensure-packages.sh"
tests=(tst_dynamicsmeter tst_flatsignals tst_acceptance_noise)
for t in "${tests[@]}"; do
    if [ -z "$(find "$build/tests" -name "$t" -type f -perm -u+x 2>/dev/null)" ]; then
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$build" -j2 --target "${tests[@]}" >/dev/null
        break
    fi
done
binary() { find "$build/tests" -name "$1" -type f -perm -u+x | head -n 1; }
# The figures the tests print, one line each, without QtTest's prefix.
figures() { sed -n -e 's/^QINFO  : [^)]*) //p' -e '/^FAIL!/,+2p' -e 's/^Totals: /  totals: /p'; }

export QT_QPA_PLATFORM=offscreen SONDRAL_SIGNAL_SECONDS=$seconds
# A test function may take the whole length of its signal and more.
export QTEST_FUNCTION_TIMEOUT=$(((seconds + 300) * 1000))
for part in "${parts[@]}"; do
    case "$part" in
    1)
        echo "== 1. the dynamics meter alone, ${seconds} s of each signal"
        "$(binary tst_dynamicsmeter)" signalFiles 2>&1 | figures
        ;;
    2)
        echo "== 2. through a private PulseAudio server, read once a second (steady signals 14 s)"
        "$(binary tst_flatsignals)" 2>&1 | figures
        ;;
    3)
        echo "== 3. the real program, AutoFlat=10"
        SONDRAL_NOISE_FLAT=10 "$(binary tst_acceptance_noise)" 2>&1 | figures
        ;;
    esac
done
