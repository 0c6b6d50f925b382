#!/usr/bin/env bash
# Install, update and uninstall into a temporary HOME and folder (with a
# space in its name): every file is laid out, the unit and the desktop entry
# pass their validators, and an existing sondral.ini and sondral.log come
# through byte for byte. No user systemd is reachable here on purpose, so
# nothing is enabled on the machine running the test.
#   tst_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
tmp=$(mktemp -d /tmp/sondral-install.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
unset XDG_CONFIG_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
dir="$tmp/station pc/sondral"
unit=$HOME/.config/systemd/user/sondral.service
desktop=$HOME/.local/share/applications/sondral.desktop
icons=$HOME/.local/share/icons/hicolor
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Settings and log as a station has them: CR LF, Latin-1, no final line end.
mkdir -p "$dir"
printf '[Audio]\r\nLog=1\r\nAutoVol=20\r\n[InterPC]\r\nRemoteName=pl\xe9yout\r\nHostPort=5000' >"$dir/sondral.ini"
printf '08/12/2026  10:00:00  Program started Up\r\n' >"$dir/sondral.log"
cp "$dir/sondral.ini" "$tmp/ini.orig"
cp "$dir/sondral.log" "$tmp/log.orig"
# An old program from an earlier install that this build no longer has.
printf 'sondral\nsondral-old\n' >"$dir/.sondral-programs"
touch "$dir/sondral-old"

settings_kept() {
    cmp -s "$dir/sondral.ini" "$tmp/ini.orig" || fail "$1: sondral.ini changed"
    cmp -s "$dir/sondral.log" "$tmp/log.orig" || fail "$1: sondral.log changed"
}

for round in install update; do
    "$src/scripts/install.sh" install "$build" "$dir" >"$tmp/out.txt" 2>&1 ||
        fail "$round: install.sh exited $?: $(cat "$tmp/out.txt")"
    settings_kept "$round"
    while IFS= read -r program; do
        [ -x "$build/$program" ] || continue
        cmp -s "$build/$program" "$dir/$program" || fail "$round: $program not installed"
    done <"$build/programs.txt"
    [ ! -e "$dir/sondral-old" ] || fail "$round: a program of an earlier install was left"
    [ -f "$unit" ] || fail "$round: no unit"
    [ -f "$desktop" ] || fail "$round: no desktop entry"
    for size in 16 32 48 256; do
        [ -f "$icons/${size}x$size/apps/sondral.png" ] || fail "$round: no ${size}px icon"
    done
    [ -f "$icons/scalable/apps/sondral.svg" ] || fail "$round: no scalable icon"
    grep -q 'loginctl enable-linger' "$tmp/out.txt" || fail "$round: no word on lingering"
    grep -q 'journalctl --user -u sondral' "$tmp/out.txt" || fail "$round: no word on the journal"
    grep -q 'systemctl --user enable --now sondral.service' "$tmp/out.txt" ||
        fail "$round: no word on enabling without a user systemd"
done

# The validators say nothing at all about a good file (systemd-analyze
# only warns about unknown keys and values, with exit status 0).
verify=$(systemd-analyze --user verify "$unit" 2>&1) || fail "systemd-analyze verify exited $?"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"
validate=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate exited $?"
[ -z "$validate" ] || fail "desktop-file-validate: $validate"
grep -qx "ExecStart=\"$dir/sondral\"" "$unit" || fail "unit does not start $dir/sondral"

"$src/scripts/install.sh" uninstall "$dir" >"$tmp/out.txt" 2>&1 ||
    fail "uninstall exited $?: $(cat "$tmp/out.txt")"
settings_kept uninstall
left=$(find "$HOME" "$dir" \( -type f -o -type l \) | grep -v -e '/sondral.ini$' -e '/sondral.log$' || true)
[ -z "$left" ] || fail "uninstall left: $left"

# Without settings or log, the folder itself goes as well.
"$src/scripts/install.sh" install "$build" "$tmp/bare" >/dev/null 2>&1 || fail "bare install"
"$src/scripts/install.sh" uninstall "$tmp/bare" >/dev/null 2>&1 || fail "bare uninstall"
[ ! -e "$tmp/bare" ] || fail "uninstall left an empty folder"

# A folder name the unit cannot hold unescaped is refused, not mangled.
if "$src/scripts/install.sh" install "$build" "$tmp/100%" >/dev/null 2>&1; then
    fail "a folder with % was accepted"
fi

[ "$failures" -eq 0 ] && echo "PASS: install, update and uninstall"
exit $((failures > 0))
