#!/usr/bin/env bash
# Installs a finished build for the current user, as a systemd user service
# with a menu entry; ./run.sh --install builds first and then calls this.
#
#   scripts/install.sh install BUILD_DIR DIR
#   scripts/install.sh uninstall DIR
#
# `cmake --install BUILD_DIR --prefix DIR` lays out the files (see
# cmake/install.cmake): the programs in DIR, the unit, the menu entry and the
# icons under XDG_CONFIG_HOME and XDG_DATA_HOME (~/.config, ~/.local/share).
# This script does what CMake cannot: it keeps the list of the programs it
# put in DIR (so that an update or an uninstall removes exactly those),
# enables and restarts the service, and undoes it all again. sondral.ini and
# sondral.log live in DIR too and are never written, replaced or removed.
#
# Each folder is a Sondral of its own, a service named after the folder
# (cmake/instancename.cmake): ~/sondral is sondral.service, /srv/sondral-dab
# sondral-dab.service, ~/fm sondral-fm.service. Installing into a second
# folder adds a second service beside the first; uninstalling removes only
# the one of the folder given.
#
# Without a reachable user systemd (CI, root without a user bus) every file
# is still laid out and the script says how to enable the unit.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

config_home=${XDG_CONFIG_HOME:-$HOME/.config}
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
icons=$data_home/icons/hicolor
icon_files="16x16/apps/sondral.png 32x32/apps/sondral.png 48x48/apps/sondral.png
    256x256/apps/sondral.png scalable/apps/sondral.svg"
# In DIR: the programs the last install put there.
manifest_name=.sondral-programs

usage() {
    echo "usage: $0 install BUILD_DIR DIR | uninstall DIR" >&2
    exit 2
}

have_user_systemd() {
    command -v systemctl >/dev/null 2>&1 && systemctl --user show-environment >/dev/null 2>&1
}

instance_name() {
    cmake -DSONDRAL_DIR="$1" -P "$root/cmake/instancename.cmake"
}

# A line of the program list that this script may act on: a plain file name
# in DIR. Anything else ("../x", "a/b", "/etc/x", ".", "..") is never
# removed, and neither are the settings, the log, the state a restart
# resumes from, or the list itself.
plain_program_name() {
    case "$1" in
    "" | . | .. | */* | sondral.ini | sondral.log | sondral.state | "$manifest_name") return 1 ;;
    esac
    return 0
}

# The programs the list in DIR names, plain names only, one a line.
listed_programs() {
    local dir=$1 name
    [ -f "$dir/$manifest_name" ] || return 0
    while IFS= read -r name || [ -n "$name" ]; do
        if plain_program_name "$name"; then
            printf '%s\n' "$name"
        elif [ -n "$name" ]; then
            echo "note: ignoring \"$name\" in $dir/$manifest_name: not a plain file name" >&2
        fi
    done <"$dir/$manifest_name"
}

# The folder an installed unit runs Sondral in, or nothing.
unit_folder() {
    [ -f "$1" ] && sed -n 's/^WorkingDirectory=//p' "$1" | head -n 1
}

warn_if_root() {
    [ "$(id -u)" -eq 0 ] || return 0
    cat >&2 <<'EOF'
warning: installing as root. root has no user sound server of its own, so
the service would capture nothing, and every source armed for monitoring
would raise a false alarm. Install Sondral for the station's user instead:
log in as that user (or run `sudo machinectl shell USER@`, which gives that
user a session with its own systemd) and run ./run.sh --install [DIR] there.
Only `sudo loginctl enable-linger USER` needs root. Installing for root anyway.
EOF
}

do_install() {
    local build=$1 dir=$2
    [ -f "$build/cmake_install.cmake" ] && [ -x "$build/sondral" ] || {
        echo "no finished build in $build: build first (scripts/build.sh $build)" >&2
        exit 1
    }
    warn_if_root
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    local name
    name=$(instance_name "$dir")
    local unit=$config_home/systemd/user/$name.service
    local desktop=$data_home/applications/$name.desktop

    local previous
    previous=$(listed_programs "$dir")
    # CMake replaces each program by a new file, so a running Sondral keeps
    # its old one until the restart below. It refuses a folder whose name
    # the unit cannot hold, or whose service name another folder's Sondral
    # already has, before it touches anything.
    cmake --install "$build" --prefix "$dir" >"$build/install.log" || {
        cat "$build/install.log" >&2
        rmdir -- "$dir" 2>/dev/null || true
        exit 1
    }

    # What CMake put in DIR (its manifest lists every file it installed).
    local programs=() path
    # Its last line has no line end.
    while IFS= read -r path || [ -n "$path" ]; do
        path=${path//\/.\//\/}
        if [ "$(dirname -- "$path")" = "$dir" ] && plain_program_name "$(basename -- "$path")"; then
            programs+=("$(basename -- "$path")")
        fi
    done <"$build/install_manifest.txt"
    # Programs an earlier install put here that this build no longer has.
    local old
    while IFS= read -r old; do
        [ -n "$old" ] || continue
        case " ${programs[*]} " in *" $old "*) ;; *) rm -f -- "${dir:?}/$old" ;; esac
    done <<<"$previous"
    printf '%s\n' "${programs[@]}" >"$dir/$manifest_name"

    echo "Installed Sondral for $(id -un) as $name:"
    echo "  programs      $dir/ (${programs[*]})"
    echo "  settings, log $dir/sondral.ini, $dir/sondral.log (kept as they are)"
    echo "  service       $unit"
    echo "  menu entry    $desktop"
    echo "  icons         $icons/{16x16,32x32,48x48,256x256,scalable}/apps/"
    if have_user_systemd; then
        systemctl --user daemon-reload
        systemctl --user enable "$name.service"
        # restart, not start: an update replaces a running Sondral.
        systemctl --user restart "$name.service"
        echo "Service enabled and started:"
        systemctl --user --no-pager --lines=0 status "$name.service" || true
    else
        echo "No user systemd reachable here (no user session bus), so the service"
        echo "is not enabled yet. As $(id -un), in a login session, run:"
        echo "  systemctl --user daemon-reload"
        echo "  systemctl --user enable --now $name.service"
    fi
    echo
    echo "To start Sondral at boot without anyone logging in:"
    echo "  sudo loginctl enable-linger $(id -un)"
    echo "Its messages and event-log lines are in the journal:"
    echo "  journalctl --user -u $name -f"
    echo "  systemctl --user status $name"
    echo "To stop monitoring (closing the window restarts it):"
    echo "  systemctl --user stop $name"
}

do_uninstall() {
    local dir=$1
    [ -d "$dir" ] && dir=$(cd "$dir" && pwd)
    local name
    name=$(instance_name "$dir")
    local unit=$config_home/systemd/user/$name.service
    local desktop=$data_home/applications/$name.desktop
    local installed
    installed=$(unit_folder "$unit" || true)
    if [ -n "$installed" ] && [ "$installed" != "$dir" ]; then
        echo "$name.service runs the Sondral in $installed, not in $dir: nothing removed." >&2
        exit 1
    fi

    if have_user_systemd; then
        systemctl --user disable --now "$name.service" 2>/dev/null || true
    fi
    rm -f -- "$unit" "$desktop"
    if have_user_systemd; then
        systemctl --user daemon-reload || true
    fi
    # The icons are every chain's: they go with the last menu entry.
    if ! compgen -G "$data_home/applications/sondral*.desktop" >/dev/null; then
        local icon
        for icon in $icon_files; do
            rm -f -- "$icons/$icon"
        done
    fi

    if [ -d "$dir" ]; then
        local program
        while IFS= read -r program; do
            [ -n "$program" ] && rm -f -- "${dir:?}/$program"
        done <<<"$(listed_programs "$dir")"
        rm -f -- "$dir/$manifest_name"
        # Only when nothing is left: settings and log stay, and so does DIR.
        rmdir -- "$dir" 2>/dev/null || true
    fi
    echo "Removed the $name service, menu entry and programs."
    if [ -e "$dir/sondral.ini" ] || [ -e "$dir/sondral.log" ]; then
        echo "Kept: $(ls -d "$dir"/sondral.ini "$dir"/sondral.log 2>/dev/null | tr '\n' ' ')"
    fi
}

case "${1:-}" in
install)
    [ $# -eq 3 ] || usage
    do_install "$2" "$3"
    ;;
uninstall)
    [ $# -eq 2 ] || usage
    do_uninstall "$2"
    ;;
*) usage ;;
esac
