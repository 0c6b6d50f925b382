#!/usr/bin/env bash
# Configures and builds a Release build into build/ (or the folder given).
#   scripts/build.sh [DIR [TARGET...]]   no targets: everything, tests included
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
else
    cmake --build "$dir" -j"$(nproc)"
fi
