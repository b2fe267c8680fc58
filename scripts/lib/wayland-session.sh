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
# shellcheck source=desktop-session.sh
. "$(dirname "$(readlink -f "$0")")/desktop-session.sh"
desktop_enter "$@"
set -- "${desktop_args[@]}"

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

desktop_begin wayland
export XDG_CURRENT_DESKTOP=sway

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
wait_for 15 sway_socket || desktop_fail "sway did not start"
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -n 1)
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v '\.lock$' | head -n 1)")
export SWAYSOCK WAYLAND_DISPLAY
if ! wait_for 10 bash -c "[ \$(swaymsg -t get_outputs -r | grep -c '\"active\": true') -ge $outputs ]"
then
    desktop_fail "sway has fewer than $outputs outputs"
fi

# --- the portals: the wlroots one takes the pictures, the GTK one answers the access questions.
desktop_portal wlr Screenshot
desktop_portal gtk Access
mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr"
printf '[screencast]\nchooser_type=none\n' >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config"

# The bus starts after sway so that every service it activates inherits the display. The GTK
# portal would otherwise wait up to 25 s for the accessibility registry on some starts.
export NO_AT_BRIDGE=1 GTK_A11Y=none GTK_USE_PORTAL=0 GSETTINGS_BACKEND=memory
desktop_bus session
unset NO_AT_BRIDGE GTK_A11Y GTK_USE_PORTAL GSETTINGS_BACKEND

# The wlroots portal exits at once when PipeWire is not there, even for a screenshot.
pipewire >"$GLIMRA_WL_LOGS/pipewire.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || true

# The back ends start first: xdg-desktop-portal waits for each while it starts, and with both
# starting at once it sometimes waited out the full 25 s D-Bus timeout.
wait_for 25 dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.StartServiceByName string:org.freedesktop.impl.portal.desktop.gtk \
    uint32:0 || desktop_fail "the gtk portal did not start"
desktop_portal_ready wlr

export QT_QPA_PLATFORM=wayland
"$@"
