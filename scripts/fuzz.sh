#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 in build-fuzz/ and runs each of
# them for the given number of seconds (default 60), starting from the seed
# corpus in fuzz/corpus/<target>/. Exits non-zero when a target finds a crash,
# a hang (an input taking more than 5 s) or a failed check; the input that did
# it is left in build-fuzz/artifacts/ and can be replayed with
#   build-fuzz/fuzz/<target> build-fuzz/artifacts/<file>
#
# Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_inifile fuzz_datagram)

"$root/scripts/ensure-packages.sh" @fuzz

build=$root/build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DSONDRAL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
    # The corpus grows in the build directory; the seeds in the repository
    # stay as they are.
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    echo "== $target for $seconds s"
    # Qt keeps a few allocations for the life of the process on purpose.
    if ! ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:max_malloc_fill_size=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/$target" "$corpus" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=5 -max_len=16384 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        >"$build/$target.log" 2>&1; then
        echo "$target FAILED; see $build/$target.log and $build/artifacts/" >&2
        tail -n 40 "$build/$target.log" >&2
        status=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done' "$build/$target.log" || true
    fi
done
exit $status
