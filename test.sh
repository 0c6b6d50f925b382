#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with a private
# PulseAudio server (nothing touches a real sound card).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/ensure-packages.sh"
"$root/scripts/build.sh" "$root/build"

work=$(mktemp -d /tmp/sondral-test.XXXXXX)
cleanup() {
    "$root/tests/support/pulse-private.sh" stop "$work/pulse" || true
    rm -rf "$work"
}
trap cleanup EXIT
eval "$("$root/tests/support/pulse-private.sh" start "$work/pulse")"
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

ctest --test-dir "$root/build" --output-on-failure --timeout 600 </dev/null
