#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one command inside a private headless GNOME Shell desktop and removes it afterwards:
#
#   scripts/lib/gnome-session.sh [--] COMMAND [ARG...]
#
# GNOME Shell on mutter's headless backend with one virtual monitor of GLIMRA_WL_OUTPUT
# (default 1280x720), private session and system buses, settings kept in memory, and
# xdg-desktop-portal pinned to the GNOME back end (Screenshot) and the GTK one (Access).
# COMMAND gets WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, a private HOME,
# XDG_CURRENT_DESKTOP=GNOME and QT_QPA_PLATFORM=wayland, and no DISPLAY; the exit status is
# COMMAND's. Logs of every part are in $GLIMRA_WL_LOGS, printed when the shell or the portal
# cannot be started.
set -euo pipefail
# shellcheck source=desktop-session.sh
. "$(dirname "$(readlink -f "$0")")/desktop-session.sh"
desktop_enter "$@"
set -- "${desktop_args[@]}"

[ "${1:-}" != -- ] || shift
[ $# -gt 0 ] || { echo "gnome-session: no command given" >&2; exit 2; }

desktop_begin gnome
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome GSETTINGS_BACKEND=keyfile
export WAYLAND_DISPLAY=wayland-glimra QT_QPA_PLATFORM=wayland NO_AT_BRIDGE=1 GTK_A11Y=none
# Settings every process of the session shares, for a desktop that stays still.
mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings" "$XDG_DATA_HOME/gnome-shell"
printf '[org/gnome/desktop/interface]\nenable-animations=false\n' \
    >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
# Without a display manager the shell says once, in a notice over every window until someone
# touches the desktop, that it cannot lock the screen. This file tells it the notice was seen.
touch "$XDG_DATA_HOME/gnome-shell/lock-warning-shown"
desktop_portal gnome Screenshot
desktop_portal gtk Access
desktop_bus system
desktop_bus session

env -u QT_QPA_PLATFORM gnome-shell --wayland --headless --no-x11 \
    --wayland-display "$WAYLAND_DISPLAY" \
    --virtual-monitor "${GLIMRA_WL_OUTPUT:-1280x720}" >"$GLIMRA_WL_LOGS/gnome-shell.log" 2>&1 &
pids+=($!)
shell_ready() {
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
        gdbus call --session --dest org.gnome.Shell.Screenshot \
            --object-path /org/gnome/Shell/Screenshot \
            --method org.freedesktop.DBus.Peer.Ping
}
wait_for 30 shell_ready || desktop_fail "GNOME Shell did not start"
# The shell ends its start in the overview, where windows show as small pictures; the
# command's windows should be seen as a user sees them. Left before the shell has shown it,
# the overview would open over them.
overview() {
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method \
        "org.freedesktop.DBus.Properties.$1" org.gnome.Shell OverviewActive "${@:2}"
}
wait_for 10 eval 'overview Get | grep -q true' || true
overview Set '<false>' >/dev/null
wait_for 5 eval 'overview Get | grep -q false' || desktop_fail "GNOME Shell kept its overview"
desktop_portal_ready gnome

# A headless GNOME has no keyboard, and on a seat without one no program has a clipboard. A
# remote-desktop session of mutter's own adds a virtual keyboard with its first key (Shift,
# which does nothing alone), and lasts as long as the process that asked for it.
/usr/bin/python3 - >"$GLIMRA_WL_LOGS/keyboard.log" 2>&1 <<'EOF' &
import sys
import dbus
import dbus.mainloop.glib
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
name, interface = "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.RemoteDesktop.Session"
bus = dbus.SessionBus()
session = bus.get_object(name, bus.get_object(name, "/org/gnome/Mutter/RemoteDesktop")
                         .CreateSession(dbus_interface=name))


def started():
    for down in (True, False):
        session.NotifyKeyboardKeycode(dbus.UInt32(42), down, dbus_interface=interface)
    print("keyboard ready", flush=True)


session.Start(dbus_interface=interface, reply_handler=started, error_handler=sys.exit)
GLib.MainLoop().run()
EOF
pids+=($!)
wait_for 10 grep -q "keyboard ready" "$GLIMRA_WL_LOGS/keyboard.log" ||
    desktop_fail "mutter gave no virtual keyboard"

"$@"
