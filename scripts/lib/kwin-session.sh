#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one command inside a private headless KDE Plasma desktop and removes it afterwards:
#
#   scripts/lib/kwin-session.sh [--outputs N] [--] COMMAND [ARG...]
#
# KWin on its virtual backend (no GPU, no input devices, QPainter rendering), with its own
# global shortcut service, a private D-Bus session bus, and xdg-desktop-portal pinned to the
# KDE back end (Screenshot, GlobalShortcuts). COMMAND gets WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, a private HOME, XDG_CURRENT_DESKTOP=KDE and
# QT_QPA_PLATFORM=wayland, and no DISPLAY; the exit status is COMMAND's.
#
# Outputs are GLIMRA_WL_OUTPUT (default 1280x720) each, side by side. Logs of every part are in
# $GLIMRA_WL_LOGS, printed when KWin or the portal cannot be started.
set -euo pipefail
# shellcheck source=desktop-session.sh
. "$(dirname "$(readlink -f "$0")")/desktop-session.sh"
desktop_enter "$@"
set -- "${desktop_args[@]}"

outputs=1
while [ $# -gt 0 ]; do
    case $1 in
        --outputs) outputs=$2; shift 2 ;;
        --) shift; break ;;
        -*) echo "kwin-session: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "kwin-session: no command given" >&2; exit 2; }

desktop_begin kwin
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
# The bus starts first, as KWin registers on it; everything the bus starts later must find
# the display, whose name is fixed here before it exists.
export WAYLAND_DISPLAY=wayland-glimra QT_QPA_PLATFORM=wayland
desktop_portal kde Screenshot GlobalShortcuts Access
desktop_bus session

size=${GLIMRA_WL_OUTPUT:-1280x720}
# KWin composites with OpenGL, through llvmpipe here, although QPainter would cost less: its
# screenshot effect, which the portal uses, takes no pictures without OpenGL, and the portal
# then answers as if the user had cancelled.
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM kwin_wayland --virtual --width "${size%x*}" \
    --height "${size#*x}" --output-count "$outputs" --socket "$WAYLAND_DISPLAY" \
    --no-lockscreen --no-kactivities >"$GLIMRA_WL_LOGS/kwin.log" 2>&1 &
pids+=($!)
kwin_ready() {
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
        dbus-send --session --print-reply --dest=org.kde.KWin /KWin \
            org.freedesktop.DBus.Peer.Ping
}
wait_for 20 kwin_ready || desktop_fail "KWin did not start"
desktop_portal_ready kde

"$@"
