#!/usr/bin/env bash
# Installs the Debian packages from scripts/packages.txt that are not
# installed yet: every untagged one, and those tagged with an "@NAME" given
# as an argument (ensure-packages.sh @fuzz). With --build first, only those
# marked "+build" (what building needs). Needs root for apt-get; works with
# no standard input and no display.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
buildOnly=0
if [ "${1:-}" = --build ]; then
    buildOnly=1
    shift
fi
tags=" $* "
wanted=()
while read -r pkg tag _; do
    case $pkg in '' | '#'*) continue ;; esac
    if [ "${tag:-}" = +build ] || { [ $buildOnly = 0 ] && { [ -z "${tag:-}" ] || [[ $tags == *" $tag "* ]]; }; }; then
        wanted+=("$pkg")
    fi
done <"$here/packages.txt"
for arg in "$@"; do
    [[ $arg == @* ]] || { echo "ensure-packages: $arg is no @NAME of packages.txt" >&2; exit 2; }
    grep -q -E "^[^#]+ $arg\b" "$here/packages.txt" ||
        { echo "ensure-packages: no package in packages.txt is tagged $arg" >&2; exit 2; }
done
missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing Debian packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo=(sudo -n); else
        echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q </dev/null
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
