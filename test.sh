#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with a private
# PulseAudio server (nothing touches a real sound card).
#
# Four builds: the Release build in build/ runs every test (unit, widget,
# acceptance, robustness and a 5-minute soak); build-qtaudio/ builds sondral
# once more with the Qt Multimedia capture of other platforms, so that it
# keeps compiling (its capture is not run here); build-fuzz/ (clang) runs
# each libFuzzer target for 60 s; build-asan/ runs the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer. SONDRAL_SKIP_FUZZ=1 and
# SONDRAL_SKIP_SANITIZERS=1 skip those two locally.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/ensure-packages.sh"
"$root/scripts/build.sh" "$root/build"
echo "== Building sondral with the Qt Multimedia capture (build-qtaudio/)"
cmake -S "$root" -B "$root/build-qtaudio" -DCMAKE_BUILD_TYPE=Release -DSONDRAL_CAPTURE=qt \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-qtaudio" -j"$(nproc)" --target sondral

work=$(mktemp -d /tmp/sondral-test.XXXXXX)
cleanup() {
    "$root/tests/support/pulse-private.sh" stop "$work/pulse" || true
    rm -rf "$work"
}
trap cleanup EXIT
eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

status=0
ctest --test-dir "$root/build" --output-on-failure --timeout 600 -j2 </dev/null || status=1

if [ "${SONDRAL_SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzzing the INI access and the datagram handler, 60 s per target"
    "$root/scripts/fuzz.sh" 60 || status=1
fi

if [ "${SONDRAL_SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSONDRAL_SANITIZE=ON >/dev/null
    cmake --build "$root/build-asan" -j"$(nproc)"
    # Qt keeps some process-lifetime allocations on purpose; leaks are not
    # what this run looks for.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$root/build-asan" --output-on-failure --timeout 600 -LE 'acceptance|soak' </dev/null ||
        status=1
fi
exit $status
