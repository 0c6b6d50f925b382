#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with a private
# PulseAudio server (nothing touches a real sound card).
#
# Three builds. The Release build in build/ runs the tests: unit, widget,
# acceptance, robustness and a one-minute soak (docs/testing.md lists the
# labels; tests labelled "slow" are left to the scripts that run them).
# Those tests mostly wait in real time, so beside them, at the lowest CPU
# priority, build-asan/ is built with AddressSanitizer and
# UndefinedBehaviorSanitizer (only the tests it runs: sanitizer_tests in
# tests/CMakeLists.txt), then build-fuzz/ (clang) runs each libFuzzer target
# for 60 s. The tests but the acceptance, soak, slow and layout ones then run
# again under the sanitizers.
# SONDRAL_SKIP_FUZZ=1 and SONDRAL_SKIP_SANITIZERS=1 skip those two locally.
# The time of each stage is printed at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fuzz=$([ "${SONDRAL_SKIP_FUZZ:-0}" = 1 ] && echo 0 || echo 1)
sanitizers=$([ "${SONDRAL_SKIP_SANITIZERS:-0}" = 1 ] && echo 0 || echo 1)

work=$(mktemp -d /tmp/sondral-test.XXXXXX)
times=$work/times
background=
cleanup() {
    [ -z "$background" ] || kill -- -"$background" 2>/dev/null || true
    "$root/tests/support/pulse-private.sh" stop "$work/pulse" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# stage NAME COMMAND...: runs the command and notes its wall-clock seconds
# and whether it passed; returns the command's status.
stage() {
    local name=$1 start=$SECONDS rc=0
    shift
    echo "== $name"
    "$@" || rc=$?
    printf '%s\t%d\t%s\n' "$name" $((SECONDS - start)) "$([ $rc = 0 ] && echo ok || echo FAILED)" >>"$times"
    return $rc
}

# The packages in two apt-get runs: what the build needs, then the rest.
tags=()
[ "$fuzz" = 0 ] || tags=(@fuzz)
stage "packages for the build" "$root/scripts/ensure-packages.sh" --build
# The rest (the tests' tools, clang for the fuzzing) installs beside the
# Release build; on a fresh machine that is most of the download.
"$root/scripts/ensure-packages.sh" "${tags[@]}" >"$work/packages.log" 2>&1 </dev/null &
packages=$!
stage "Release build" "$root/scripts/build.sh" "$root/build"
packages_installed() {
    wait "$packages" || {
        cat "$work/packages.log" >&2
        return 1
    }
    cat "$work/packages.log"
}
stage "packages for the tests (beside the build; the rest of the wait)" packages_installed

# The sanitizer build and the fuzzing, beside the Release tests. Their
# output goes to a log of its own, shown when something there fails.
sideLog=$root/build/test-side.log
side() {
    local status=0
    if [ "$sanitizers" = 1 ]; then
        # Only what its tests need (the target sanitizer_tests).
        stage "ASan build (beside the tests)" bash -c '
            cmake -S "$1" -B "$1/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSONDRAL_SANITIZE=ON >/dev/null &&
            cmake --build "$1/build-asan" -j"$(nproc)" --target sanitizer_tests' _ "$root" &&
            : >"$work/asan-built" || status=1
    fi
    if [ "$fuzz" = 1 ]; then
        stage "fuzzing, 60 s per target (beside the tests)" "$root/scripts/fuzz.sh" 60 || status=1
    fi
    return $status
}
: >"$sideLog"
# A process group of its own, so that an interrupted run stops all of it.
setsid nice -n 19 bash -c "$(declare -f stage side); times='$times' root='$root' work='$work' \
    sanitizers=$sanitizers fuzz=$fuzz side" >"$sideLog" 2>&1 </dev/null &
background=$!

eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

# The tests mostly wait in real time (sound servers, sockets, the tick), so
# twice as many run at once as there are cores.
jobs=$((2 * $(nproc)))
status=0
stage "Release tests" ctest --test-dir "$root/build" --output-on-failure --timeout 600 -j"$jobs" \
    -LE slow </dev/null || status=1

sideStatus=0
wait "$background" || sideStatus=$?
background=
if [ "$sideStatus" != 0 ]; then
    status=1
    echo "== The sanitizer build or the fuzzing failed; the end of $sideLog:" >&2
    tail -n 60 "$sideLog" >&2
else
    grep -E '^(== |stat::|Done)' "$sideLog" || true
fi

if [ -e "$work/asan-built" ]; then
    # Qt keeps some process-lifetime allocations on purpose; leaks are not
    # what this run looks for.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        stage "ASan tests" ctest --test-dir "$root/build-asan" --output-on-failure --timeout 600 \
        -j"$jobs" -LE "$(cat "$root/build-asan/tests/not-sanitized.txt")" </dev/null || status=1
fi

echo "== Stage times (wall clock; the stages marked 'beside the tests' overlap the Release tests)"
awk -F'\t' '{ printf "%-50s %4d min %02d s  %s\n", $1, $2 / 60, $2 % 60, $3 }' "$times"
printf '%-50s %4d min %02d s\n' "total" $((SECONDS / 60)) $((SECONDS % 60))
exit $status
