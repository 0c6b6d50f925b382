#!/usr/bin/env bash
# Install, update and uninstall into a temporary HOME: two chains side by
# side (one folder with a space in its name), each with a service of its own;
# a program list in DIR that names files outside it; the layout `cmake
# --install` makes by itself. Every unit and menu entry passes its validator,
# and an existing sondral.ini and sondral.log come through byte for byte. No
# user systemd is reachable here on purpose, so nothing is enabled on the
# machine running the test.
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
units=$HOME/.config/systemd/user
applications=$HOME/.local/share/applications
icons=$HOME/.local/share/icons/hicolor
icon_files="16x16/apps/sondral.png 32x32/apps/sondral.png 48x48/apps/sondral.png
    256x256/apps/sondral.png scalable/apps/sondral.svg"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
install_sh() {
    "$src/scripts/install.sh" "$@" >"$tmp/out.txt" 2>&1
}

# The first chain, where the station had it: settings and log as a station
# has them (CR LF, Latin-1, no final line end).
fm="$tmp/station pc/sondral"
mkdir -p "$fm"
printf '[Audio]\r\nLog=1\r\nAutoVol=20\r\n[InterPC]\r\nRemoteName=pl\xe9yout\r\nHostPort=5000' >"$fm/sondral.ini"
printf '08/12/2026  10:00:00  Program started Up\r\n' >"$fm/sondral.log"
cp "$fm/sondral.ini" "$tmp/ini.orig"
cp "$fm/sondral.log" "$tmp/log.orig"
# The list an earlier install left: an old program this build no longer
# has, and lines that are no plain file name in DIR. Only the old program
# may go.
mkdir -p "$fm/sub" "$tmp/station pc/keep"
touch "$fm/sondral-old" "$fm/sub/x" "$tmp/station pc/outside" "$tmp/station pc/keep/y"
printf '%s\n' sondral sondral-old ../outside sub/x "$tmp/station pc/keep/y" . .. sondral.ini \
    sondral.log ../keep >"$fm/.sondral-programs"
outside_kept() {
    for f in "$fm/sub/x" "$tmp/station pc/outside" "$tmp/station pc/keep/y"; do
        [ -e "$f" ] || fail "$1: $f was removed"
    done
    [ -d "$tmp/station pc/keep" ] || fail "$1: a folder outside DIR was removed"
}
settings_kept() {
    cmp -s "$fm/sondral.ini" "$tmp/ini.orig" || fail "$1: sondral.ini changed"
    cmp -s "$fm/sondral.log" "$tmp/log.orig" || fail "$1: sondral.log changed"
}
programs_in() {
    while IFS= read -r program; do
        [ -x "$build/$program" ] || continue
        cmp -s "$build/$program" "$2/$program" || fail "$1: $program not installed in $2"
    done <"$build/programs.txt"
    # The stream input's module goes beside the programs (and an uninstall
    # that leaves an empty folder proves it went again).
    cmp -s "$build/sondral-stream.so" "$2/sondral-stream.so" ||
        fail "$1: sondral-stream.so not installed in $2"
}
icons_there() {
    for icon in $icon_files; do
        [ -f "$icons/$icon" ] || fail "$1: no icon $icon"
    done
}
# name folder: a service and a menu entry of that name that run the
# Sondral in folder and pass their validators.
instance_there() {
    local name=$1 folder=$2 unit=$units/$1.service desktop=$applications/$1.desktop
    [ -f "$unit" ] || {
        fail "no $name.service"
        return
    }
    [ -f "$desktop" ] || fail "no $name.desktop"
    grep -qx "ExecStart=\"$folder/sondral\"" "$unit" || fail "$name.service does not start $folder/sondral"
    grep -qx "WorkingDirectory=$folder" "$unit" || fail "$name.service does not run in $folder"
    grep -qx "SyslogIdentifier=$name" "$unit" || fail "$name.service has not its own journal identifier"
    # Closing the window ends with status 0: it must restart after that too.
    grep -qx "Restart=always" "$unit" || fail "$name.service does not restart after every end"
    grep -qx "Exec=\"$folder/sondral\"" "$desktop" || fail "$name.desktop does not start $folder/sondral"
    # The validators say nothing at all about a good file (systemd-analyze
    # only warns about unknown keys and values, with exit status 0).
    local said
    said=$(systemd-analyze --user verify "$unit" 2>&1) || fail "systemd-analyze verify $name exited $?"
    [ -z "$said" ] || fail "systemd-analyze verify $name: $said"
    said=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate $name exited $?"
    [ -z "$said" ] || fail "desktop-file-validate $name: $said"
}

for round in install update; do
    install_sh install "$build" "$fm" || fail "$round: install.sh exited $?: $(cat "$tmp/out.txt")"
    settings_kept "$round"
    outside_kept "$round"
    programs_in "$round" "$fm"
    [ ! -e "$fm/sondral-old" ] || fail "$round: a program of an earlier install was left"
    instance_there sondral "$fm"
    icons_there "$round"
    grep -q 'loginctl enable-linger' "$tmp/out.txt" || fail "$round: no word on lingering"
    grep -q 'journalctl --user -u sondral ' "$tmp/out.txt" || fail "$round: no word on the journal"
    grep -q 'systemctl --user enable --now sondral.service' "$tmp/out.txt" ||
        fail "$round: no word on enabling without a user systemd"
    grep -q 'systemctl --user stop sondral$' "$tmp/out.txt" || fail "$round: no word on stopping"
    # Tests and CI run as root: it still installs, but says what root lacks.
    if [ "$(id -u)" -eq 0 ]; then
        grep -q 'root has no user sound server' "$tmp/out.txt" || fail "$round: no warning for root"
        grep -q 'run ./run.sh --install \[DIR\] there' "$tmp/out.txt" ||
            fail "$round: the warning does not say how to install for the station's user"
    elif grep -q 'root has no user sound server' "$tmp/out.txt"; then
        fail "$round: the root warning for $(id -un)"
    fi
done
grep -qx sondral "$fm/.sondral-programs" || fail "the program list does not name sondral"
if grep -q / "$fm/.sondral-programs"; then fail "the program list names a path"; fi

# A second chain beside the first: a service, identifier and menu entry of
# its own; the first stays as it was.
dab=$tmp/srv/sondral-dab
cp "$units/sondral.service" "$tmp/unit.fm"
install_sh install "$build" "$dab" || fail "second chain: install.sh exited $?: $(cat "$tmp/out.txt")"
instance_there sondral-dab "$dab"
programs_in "second chain" "$dab"
grep -q 'systemctl --user enable --now sondral-dab.service' "$tmp/out.txt" ||
    fail "second chain: the wrong service to enable"
cmp -s "$units/sondral.service" "$tmp/unit.fm" || fail "second chain: the first chain's unit changed"
grep -qx 'Name=Sondral (sondral-dab)' "$applications/sondral-dab.desktop" ||
    fail "second chain: its menu entry is not told apart"

# A folder of the same name elsewhere would take the second chain's service
# over: refused, nothing laid out.
same=$tmp/elsewhere/sondral-dab
cp "$units/sondral-dab.service" "$tmp/unit.dab"
if install_sh install "$build" "$same"; then fail "a second folder named sondral-dab was accepted"; fi
grep -q "already runs the Sondral in $dab" "$tmp/out.txt" || fail "the refusal does not say why: $(cat "$tmp/out.txt")"
cmp -s "$units/sondral-dab.service" "$tmp/unit.dab" || fail "the refused install changed the unit"
[ ! -e "$same/sondral" ] || fail "the refused install put a program in $same"
if install_sh uninstall "$same"; then fail "uninstalling $same removed the other folder's service"; fi
[ -f "$units/sondral-dab.service" ] || fail "uninstalling $same removed sondral-dab.service"

# Uninstalling one chain leaves the other whole.
install_sh uninstall "$dab" || fail "uninstall of the second chain exited $?: $(cat "$tmp/out.txt")"
[ ! -e "$units/sondral-dab.service" ] || fail "uninstall left sondral-dab.service"
[ ! -e "$applications/sondral-dab.desktop" ] || fail "uninstall left sondral-dab.desktop"
[ ! -e "$dab" ] || fail "uninstall left $dab, which held nothing else"
instance_there sondral "$fm"
programs_in "after the second chain's uninstall" "$fm"
icons_there "after the second chain's uninstall"

install_sh uninstall "$fm" || fail "uninstall exited $?: $(cat "$tmp/out.txt")"
settings_kept uninstall
outside_kept uninstall
left=$(find "$HOME" "$fm" \( -type f -o -type l \) | grep -v -e '/sondral.ini$' -e '/sondral.log$' \
    -e '/sub/x$' || true)
[ -z "$left" ] || fail "uninstall left: $left"

# A folder name the unit cannot hold unescaped is refused, not mangled.
if install_sh install "$build" "$tmp/100%"; then fail "a folder with % was accepted"; fi
[ ! -e "$tmp/100%/sondral" ] || fail "the refused folder got a program"

# `cmake --install` by itself lays out every file (install.sh only adds
# the program list and the service manager's part); the folder's name
# names the service.
plain=$tmp/fm
cmake --install "$build" --prefix "$plain" >"$tmp/out.txt" 2>&1 || fail "cmake --install exited $?: $(cat "$tmp/out.txt")"
programs_in "cmake --install" "$plain"
instance_there sondral-fm "$plain"
icons_there "cmake --install"
[ ! -e "$plain/sondral.ini" ] || fail "cmake --install wrote a sondral.ini"

[ "$failures" -eq 0 ] && echo "PASS: two chains installed, updated and uninstalled"
exit $((failures > 0))
