#!/usr/bin/env bash
# Installs what is missing, builds Sondral and starts it.
#   ./run.sh                    build and start build/sondral
#   ./run.sh --demo             a whole simulated station in one command
#   ./run.sh --install [DIR]    build and install for this user as a systemd
#                               user service (DIR defaults to ~/sondral); each
#                               folder is a service of its own, named after it
#   ./run.sh --uninstall [DIR]  remove that folder's again; settings and log stay
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
case "${1:-}" in
--uninstall)
    exec "$root/scripts/install.sh" uninstall "${2:-$HOME/sondral}"
    ;;
--install)
    "$root/scripts/ensure-packages.sh"
    "$root/scripts/build.sh" "$root/build" sondral
    # Whatever programs belong beside sondral, as the build lists them.
    mapfile -t programs <"$root/build/programs.txt"
    "$root/scripts/build.sh" "$root/build" "${programs[@]}"
    exec "$root/scripts/install.sh" install "$root/build" "${2:-$HOME/sondral}"
    ;;
esac
"$root/scripts/ensure-packages.sh"
"$root/scripts/build.sh" "$root/build" sondral sondral-sim sondral-survey
if [ "${1:-}" = "--demo" ]; then
    exec "$root/scripts/demo.sh" "$root/build"
fi
# Without DISPLAY and WAYLAND_DISPLAY Sondral runs offscreen by itself.
exec "$root/build/sondral"
