#!/usr/bin/env bash
# Installs a finished build for the current user, as a systemd user service
# with a desktop entry; ./run.sh --install builds first and then calls this.
#
#   scripts/install.sh install BUILD_DIR DIR
#   scripts/install.sh uninstall DIR
#
# DIR gets the programs (the list the build writes to programs.txt);
# sondral.ini and sondral.log live there too and are never written, replaced
# or removed here. The unit goes to ~/.config/systemd/user, the desktop entry
# and icons to ~/.local/share (or the XDG_CONFIG_HOME / XDG_DATA_HOME given).
# Without a reachable user systemd (CI, root without a user bus) every file
# is still laid out and the script says how to enable the unit.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

config_home=${XDG_CONFIG_HOME:-$HOME/.config}
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
unit=$config_home/systemd/user/sondral.service
desktop=$data_home/applications/sondral.desktop
icons=$data_home/icons/hicolor
icon_sizes="16 32 48 256"
# In DIR: the programs the last install copied, so that an update or an
# uninstall removes exactly those.
manifest_name=.sondral-programs

usage() {
    echo "usage: $0 install BUILD_DIR DIR | uninstall DIR" >&2
    exit 2
}

have_user_systemd() {
    command -v systemctl >/dev/null 2>&1 && systemctl --user show-environment >/dev/null 2>&1
}

# DIR goes into the unit and the desktop entry inside double quotes; these
# characters would need escaping there, in two different ways, and no
# station folder needs them.
check_dir_name() {
    case "$1" in
    *[\"\`\$\\%]* | *$'\n'*)
        echo "the folder name must not contain \", \`, \$, \\, % or a line break: $1" >&2
        exit 1
        ;;
    esac
}

write_unit() {
    local dir=$1
    mkdir -p "$(dirname "$unit")"
    cat >"$unit.new" <<EOF
[Unit]
Description=Sondral dead-air monitor
# Capture needs the user's sound server: PipeWire's PulseAudio service or
# PulseAudio itself, whichever this PC has. Ordering only; Sondral copes
# with a sound server that comes later or goes away.
After=pipewire-pulse.service pulseaudio.service
# Never give up restarting: an unattended monitor that stopped is worse
# than one that keeps trying every few seconds.
StartLimitIntervalSec=0

[Service]
Type=notify
ExecStart="$dir/sondral"
WorkingDirectory=$dir
# A crash, a kill by a signal, a non-zero exit or a missed watchdog ping
# (the UI thread, where the monitoring runs, stuck for 10 s) restarts it.
Restart=on-failure
RestartSec=2
WatchdogSec=10
TimeoutStopSec=15

[Install]
WantedBy=default.target
EOF
    mv -f "$unit.new" "$unit"
}

write_desktop_entry() {
    local dir=$1
    mkdir -p "$(dirname "$desktop")"
    cat >"$desktop.new" <<EOF
[Desktop Entry]
Type=Application
Version=1.0
Name=Sondral
GenericName=Stiltebewaking
Comment=Bewaakt het programma op stilte en alarmeert de playout-server
Exec="$dir/sondral"
Path=$dir
Icon=sondral
Terminal=false
Categories=AudioVideo;Audio;
EOF
    mv -f "$desktop.new" "$desktop"
}

install_icons() {
    local size
    for size in $icon_sizes; do
        install -D -m 644 "$root/resources/icons/sondral-$size.png" \
            "$icons/${size}x$size/apps/sondral.png"
    done
    install -D -m 644 "$root/resources/icons/sondral.svg" "$icons/scalable/apps/sondral.svg"
    # Desktops read the cache when there is one; there usually is none in ~.
    if command -v gtk-update-icon-cache >/dev/null 2>&1 && [ -f "$icons/index.theme" ]; then
        gtk-update-icon-cache -q "$icons" || true
    fi
}

do_install() {
    local build=$1 dir=$2
    [ -f "$build/programs.txt" ] || {
        echo "no programs.txt in $build: build first (scripts/build.sh $build)" >&2
        exit 1
    }
    check_dir_name "$dir"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    check_dir_name "$dir"

    local programs=() name
    while IFS= read -r name; do
        [ -n "$name" ] || continue
        if [ -x "$build/$name" ]; then
            programs+=("$name")
        else
            echo "note: $name is not in $build; not installed" >&2
        fi
    done <"$build/programs.txt"
    [ -x "$build/sondral" ] || {
        echo "$build/sondral is missing: build first" >&2
        exit 1
    }

    # Copy under a temporary name and rename: a running program keeps its
    # old file, and DIR never holds half a program.
    for name in "${programs[@]}"; do
        cp "$build/$name" "$dir/.$name.new"
        chmod 755 "$dir/.$name.new"
        mv -f "$dir/.$name.new" "$dir/$name"
    done
    # Programs an earlier install put here that this build no longer has.
    if [ -f "$dir/$manifest_name" ]; then
        while IFS= read -r name; do
            case " ${programs[*]} " in *" $name "*) ;; *) rm -f -- "${dir:?}/$name" ;; esac
        done <"$dir/$manifest_name"
    fi
    printf '%s\n' "${programs[@]}" >"$dir/$manifest_name"

    write_unit "$dir"
    write_desktop_entry "$dir"
    install_icons

    echo "Installed Sondral for $(id -un):"
    echo "  programs      $dir/ (${programs[*]})"
    echo "  settings, log $dir/sondral.ini, $dir/sondral.log (kept as they are)"
    echo "  service       $unit"
    echo "  menu entry    $desktop"
    echo "  icons         $icons/{16x16,32x32,48x48,256x256,scalable}/apps/"
    if have_user_systemd; then
        systemctl --user daemon-reload
        systemctl --user enable sondral.service
        # restart, not start: an update replaces a running Sondral.
        systemctl --user restart sondral.service
        echo "Service enabled and started:"
        systemctl --user --no-pager --lines=0 status sondral.service || true
    else
        echo "No user systemd reachable here (no user session bus), so the service"
        echo "is not enabled yet. As $(id -un), in a login session, run:"
        echo "  systemctl --user daemon-reload"
        echo "  systemctl --user enable --now sondral.service"
    fi
    echo
    echo "To start Sondral at boot without anyone logging in:"
    echo "  sudo loginctl enable-linger $(id -un)"
    echo "Its messages and event-log lines are in the journal:"
    echo "  journalctl --user -u sondral -f"
    echo "  systemctl --user status sondral"
}

do_uninstall() {
    local dir=$1 name
    if have_user_systemd; then
        systemctl --user disable --now sondral.service 2>/dev/null || true
    fi
    rm -f -- "$unit" "$desktop"
    local size
    for size in $icon_sizes; do
        rm -f -- "$icons/${size}x$size/apps/sondral.png"
    done
    rm -f -- "$icons/scalable/apps/sondral.svg"
    if have_user_systemd; then
        systemctl --user daemon-reload || true
    fi
    if [ -d "$dir" ]; then
        if [ -f "$dir/$manifest_name" ]; then
            while IFS= read -r name; do
                [ -n "$name" ] && rm -f -- "${dir:?}/$name"
            done <"$dir/$manifest_name"
            rm -f -- "$dir/$manifest_name"
        fi
        # Only when nothing is left: settings and log stay, and so does DIR.
        rmdir -- "$dir" 2>/dev/null || true
    fi
    echo "Removed the Sondral service, menu entry, icons and programs."
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
