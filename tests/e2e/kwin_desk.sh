#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on KWin (kwin_wayland --virtual) with the KDE portal: the shortcuts are bound through
# the GlobalShortcuts portal, one fired through kglobalaccel tiles the focused window, as does
# `glimra tile`, and a copy reaches the clipboard without a focused Glimra window.
# Usage: kwin_desk.sh GLIMRA_BIN. Exit 77 (skipped) without KWin or its portal.
set -euo pipefail
glimra=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in kwin_wayland weston-eventdemo wl-paste \
    /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
# KWin, like sway, is run as an unprivileged user: a user namespace maps root away.
if [ "$(id -u)" = 0 ]; then
    exec unshare --user --map-user=65534 --map-group=65534 dbus-run-session -- "$0" "$@"
fi

. "$here/../../scripts/lib/session.sh"
session_begin glimra-kwin
session_home
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
# QPainter compositing: OpenGL through llvmpipe would take a core of its own.
KWIN_COMPOSE=Q QT_QPA_PLATFORM=offscreen kwin_wayland --virtual --width 1280 --height 720 \
    --socket glimra-kwin --no-lockscreen >"$session/kwin.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$XDG_RUNTIME_DIR/glimra-kwin" ] && break; sleep 0.1; done
export WAYLAND_DISPLAY=glimra-kwin
unset DISPLAY QT_QPA_PLATFORM
# The portal is started by the bus, with the bus's environment.
dbus-update-activation-environment WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland \
    XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR HOME KDE_FULL_SESSION KDE_SESSION_VERSION

fail() {
    echo "FAIL: $*"
    grep -i "scripting\|js:" "$session/kwin.log" | tail -5
    exit 1
}
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.2; done
}
# Runs a KWin script and prints what it printed.
kwin_script() {
    printf '%s\n' "$1" >"$session/probe.js"
    local id mark=$RANDOM
    id=$(dbus-send --session --print-reply=literal --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.loadScript string:"$session/probe.js" string:probe$mark |
        awk '{print $2}')
    dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run >/dev/null
    dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.unloadScript string:probe$mark >/dev/null
}
active_frame() {
    kwin_script 'var w = workspace.activeClient, g = w.frameGeometry;
print("FRAME " + w.resourceClass + " " + g.x + " " + g.y + " " + g.width + " " + g.height);'
    sleep 0.2
    grep -o 'FRAME .*' "$session/kwin.log" | tail -1 | cut -d' ' -f2-
}
focus_demo() {
    kwin_script 'var cs = workspace.clientList();
for (var i = 0; i < cs.length; ++i)
    if (String(cs[i].resourceClass).indexOf("eventdemo") >= 0) workspace.activeClient = cs[i];'
}
is_active() { [ "$(active_frame)" = "$*" ]; }

weston-eventdemo >/dev/null 2>&1 & # takes any size it is given
pids+=($!)
"$glimra" >"$session/glimra.log" 2>&1 &
pids+=($!)
json() { "$glimra" shortcuts --json; }
all_via_portal() { json | python3 -c 'import json, sys
sys.exit(0 if all(s["via"] == "portal" and s["registered"] for s in json.load(sys.stdin)) else 1)'; }
wait_for 30 all_via_portal || { json; fail "shortcuts not bound through the portal"; }

# With no tray host the popover opens at start and takes the focus; the window gets it back.
popover_active() { [[ $(active_frame) == glimra* ]]; }
demo_active() { focus_demo; [[ $(active_frame) == *eventdemo* ]]; }
wait_for 10 popover_active || fail "no popover at start without a tray: $(active_frame)"
wait_for 5 demo_active || fail "the window did not take the focus"
dbus-send --session --print-reply --dest=org.kde.kglobalaccel /component/glimra \
    org.kde.kglobalaccel.Component.invokeShortcut string:11 >/dev/null
demo=$(active_frame | cut -d' ' -f1)
wait_for 5 is_active "$demo" 0 0 1280 720 || fail "the maximise shortcut left $(active_frame)"
"$glimra" tile left-half || fail "glimra tile left-half exited $?"
wait_for 5 is_active "$demo" 0 0 640 720 || fail "left half left $(active_frame)"

# A screenshot the desktop saved is moved into the library and copied, with no Glimra window.
python3 -c 'import base64, sys; sys.stdout.buffer.write(base64.b64decode(
"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC"))' \
    >"$session/shot.png"
mv "$session/shot.png" "$HOME/Pictures/Screenshots/Screenshot from kwin.png"
has_png() { timeout 3 wl-paste -l 2>/dev/null | grep -qx image/png; }
wait_for 10 has_png || fail "wl-paste -l lists no image/png"
"$glimra" quit
echo "PASS"
