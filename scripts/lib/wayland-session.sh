#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one command inside a private headless Wayland desktop and removes it afterwards:
#
#   scripts/lib/wayland-session.sh [--outputs 1|2] [--background PNG] [--] COMMAND [ARG...]
#
# sway on the headless wlroots backend (no GPU, no input devices), a private D-Bus session bus,
# PipeWire, and xdg-desktop-portal pinned to the wlroots back end (Screenshot) and the GTK one
# (Access), so a non-interactive portal screenshot needs no one at the screen. COMMAND gets
# WAYLAND_DISPLAY, SWAYSOCK, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, a private HOME and
# QT_QPA_PLATFORM=wayland, and no DISPLAY; the exit status is COMMAND's.
#
# Outputs are GLIMRA_WL_OUTPUT (default 1280x720) each; with --outputs 2 the second one stands
# to the right of the first at scale 2, so the layout is 1280+640 logical pixels wide. Logs of
# every part are in $GLIMRA_WL_LOGS, printed when sway or the portal cannot be started.
#
# sway refuses to run as root, and the wlroots portal always writes its picture to
# /tmp/out.png, which two sessions on one machine would share. So the session runs in its own
# user, mount and process namespaces: a throw-away /tmp, uid 1000 (files of the real user look
# like its own), and when the command ends (or the launcher is killed) the kernel ends every
# process the session started. Of the real /tmp only the sources' folder and the current one
# stay visible.
set -euo pipefail

self=$(readlink -f "$0")

# Stage one, as whoever calls: new namespaces, root inside them for the mount.
if [ "${1:-}" != --inside ] && [ "${1:-}" != --as-user ]; then
    exec unshare --user --map-root-user --mount --pid --fork --kill-child --mount-proc \
        "$self" --inside "$@"
fi

# Stage two, process 1 of the namespace: a private /tmp, then drop to an ordinary user while
# staying process 1, so the session's end is the namespace's end.
if [ "$1" = --inside ]; then
    shift
    # The sources and the caller's folder stay where they were, also when they lie in /tmp.
    keep=()
    for dir in "$(dirname "$(dirname "$(dirname "$self")")")" "$PWD"; do
        case $dir in /tmp/?*) keep+=("$dir") ;; esac
    done
    exec 3</tmp
    mount -t tmpfs -o mode=1777 glimra-wayland /tmp
    for dir in "${keep[@]}"; do
        mkdir -p "$dir"
        mount --no-canonicalize --bind "/proc/self/fd/3/${dir#/tmp/}" "$dir"
    done
    exec 3<&-
    exec unshare --user --map-user=1000 --map-group=1000 "$self" --as-user "$@"
fi
shift

outputs=1
background=""
while [ $# -gt 0 ]; do
    case $1 in
        --outputs) outputs=$2; shift 2 ;;
        --background) background=$(readlink -f "$2"); shift 2 ;;
        --) shift; break ;;
        -*) echo "wayland-session: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "wayland-session: no command given" >&2; exit 2; }

session=$(mktemp -d /tmp/glimra-wayland.XXXXXX)
pids=()
export GLIMRA_WL_LOGS=$session/logs
mkdir -p "$GLIMRA_WL_LOGS"

finish() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    exit "$status"
}
trap finish EXIT

show_logs() {
    for log in "$GLIMRA_WL_LOGS"/*.log; do
        echo "--- $(basename "$log")" >&2
        tail -n 30 "$log" >&2
    done
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds.
wait_for() {
    local tries=$(($1 * 20))
    shift
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

export HOME=$session/home XDG_RUNTIME_DIR=$session/run
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
export XDG_STATE_HOME=$HOME/.local/state XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" \
    "$XDG_CACHE_HOME" "$HOME/Pictures/Screenshots"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XAUTHORITY
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland

# --- the compositor
size=${GLIMRA_WL_OUTPUT:-1280x720}
width=${size%x*}
{
    echo "xwayland disable"
    echo "output HEADLESS-1 mode ${size} position 0 0 scale 1"
    if [ "$outputs" -ge 2 ]; then
        echo "output HEADLESS-2 mode ${size} position ${width} 0 scale 2"
    fi
    [ -n "$background" ] && echo "output * bg ${background} fill"
    # Windows open where the test expects them and look the same on every run.
    echo "default_border none"
    echo "focus_follows_mouse no"
} >"$session/sway.conf"

WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    WLR_HEADLESS_OUTPUTS=$outputs sway -c "$session/sway.conf" >"$GLIMRA_WL_LOGS/sway.log" 2>&1 &
pids+=($!)
sway_socket() {
    local socket
    socket=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1)
    [ -n "$socket" ] && [ -n "$(ls "$XDG_RUNTIME_DIR"/wayland-* 2>/dev/null)" ] || return 1
    SWAYSOCK=$socket swaymsg -t get_outputs >/dev/null
}
if ! wait_for 15 sway_socket; then
    echo "wayland-session: sway did not start" >&2
    show_logs
    exit 2
fi
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v '\.lock$' | head -n 1)")
export SWAYSOCK WAYLAND_DISPLAY
if ! wait_for 10 bash -c "[ \$(swaymsg -t get_outputs -r | grep -c '\"active\": true') -ge $outputs ]"
then
    echo "wayland-session: sway has fewer than $outputs outputs" >&2
    show_logs
    exit 2
fi

# --- the portals. xdg-desktop-portal 1.16 reads no portals.conf: it takes the first back end
# that offers an interface, so the folder it reads holds exactly the two wanted here.
export XDG_DESKTOP_PORTAL_DIR=$session/portals
mkdir -p "$XDG_DESKTOP_PORTAL_DIR"
printf '[portal]\nDBusName=%s\nInterfaces=%s\nUseIn=sway;\n' \
    org.freedesktop.impl.portal.desktop.wlr 'org.freedesktop.impl.portal.Screenshot;' \
    >"$XDG_DESKTOP_PORTAL_DIR/wlr.portal"
printf '[portal]\nDBusName=%s\nInterfaces=%s\nUseIn=sway;\n' \
    org.freedesktop.impl.portal.desktop.gtk 'org.freedesktop.impl.portal.Access;' \
    >"$XDG_DESKTOP_PORTAL_DIR/gtk.portal"
mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr"
printf '[screencast]\nchooser_type=none\n' >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config"

# The bus starts after sway so that every service it activates inherits the display. The GTK
# portal would otherwise wait up to 25 s for the accessibility registry on some starts.
NO_AT_BRIDGE=1 GTK_A11Y=none GTK_USE_PORTAL=0 GSETTINGS_BACKEND=memory dbus-daemon --session --nofork --nopidfile --address="unix:path=$XDG_RUNTIME_DIR/bus" \
    >"$GLIMRA_WL_LOGS/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
if ! wait_for 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetId; then
    echo "wayland-session: the session bus did not start" >&2
    show_logs
    exit 2
fi

# The wlroots portal exits at once when PipeWire is not there, even for a screenshot.
pipewire >"$GLIMRA_WL_LOGS/pipewire.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || true

# The back ends start first: xdg-desktop-portal waits for each while it starts, and with both
# starting at once it sometimes waited out the full 25 s D-Bus timeout.
portal_answers() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.StartServiceByName "string:$1" uint32:0
}
for backend in wlr gtk; do
    if ! wait_for 25 portal_answers "org.freedesktop.impl.portal.desktop.$backend"; then
        echo "wayland-session: the $backend portal did not start" >&2
        show_logs
        exit 2
    fi
done
portal_has_screenshot() {
    gdbus call --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop \
        --method org.freedesktop.DBus.Properties.Get org.freedesktop.portal.Screenshot version
}
if ! wait_for 25 portal_has_screenshot; then
    echo "wayland-session: the screenshot portal did not start" >&2
    show_logs
    exit 2
fi

export QT_QPA_PLATFORM=wayland
"$@"
