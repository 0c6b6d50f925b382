#!/usr/bin/env bash
# Installs what is missing, builds Sondral and starts it.
#   ./run.sh          build and start build/sondral
#   ./run.sh --demo   a whole simulated station in one command
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/ensure-packages.sh"
"$root/scripts/build.sh" "$root/build" sondral sondral-sim
if [ "${1:-}" = "--demo" ]; then
    exec "$root/scripts/demo.sh" "$root/build"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY zijn leeg): Sondral draait zonder venster (QT_QPA_PLATFORM=offscreen) en bewaakt gewoon door."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$root/build/sondral"
