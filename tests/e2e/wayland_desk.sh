#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on a Wayland desktop, checked through the desktop's own view of its windows:
#   sway (run inside scripts/lib/wayland-session.sh): `glimra tile` places the focused window,
#     every shortcut row names the command to bind in sway, and with a tray host the popover
#     waits for the icon's click;
#   kwin (starts kwin_wayland --virtual itself; exit 77 without KWin or its portal): the
#     shortcuts are bound through the GlobalShortcuts portal, and one fired through
#     kglobalaccel tiles the focused window, as does `glimra tile`.
# On both, with no tray host the popover opens at start and closes when another window takes
# the focus, and a copy reaches the clipboard while another window has the focus.
# Usage: wayland_desk.sh sway|kwin GLIMRA_BIN
set -euo pipefail
desktop=$1
glimra=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; grep -v FRAME "$GLIMRA_WL_LOGS"/*.log | grep -iE "script|js:" | tail -5; exit 1; }
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}

if [ "$desktop" = kwin ]; then
    for tool in kwin_wayland /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde; do
        command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
    done
    # KWin, like sway, runs as an unprivileged user: a user namespace maps root away.
    if [ "$(id -u)" = 0 ]; then
        exec unshare --user --map-user=65534 --map-group=65534 dbus-run-session -- "$0" "$@"
    fi
    . "$here/../../scripts/lib/session.sh"
    session_begin glimra-kwin
    session_home
    export GLIMRA_WL_LOGS=$session XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true
    # QPainter compositing: OpenGL through llvmpipe would take a core of its own.
    KWIN_COMPOSE=Q QT_QPA_PLATFORM=offscreen kwin_wayland --virtual --width 1280 --height 720 \
        --socket glimra-kwin --no-lockscreen >"$session/kwin.log" 2>&1 &
    pids+=($!)
    wait_for 10 test -e "$XDG_RUNTIME_DIR/glimra-kwin" || fail "KWin did not start"
    export WAYLAND_DISPLAY=glimra-kwin
    unset DISPLAY QT_QPA_PLATFORM
    # The portal is started by the bus, with the bus's environment.
    dbus-update-activation-environment WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland \
        XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR HOME KDE_FULL_SESSION
    kwin_script() { # runs a script in KWin; what it prints goes to KWin's log
        printf '%s\n' "$1" >"$session/probe.js"
        local id
        id=$(dbus-send --session --print-reply=literal --dest=org.kde.KWin /Scripting \
            org.kde.kwin.Scripting.loadScript string:"$session/probe.js" string:probe$RANDOM |
            awk '{print $2}')
        dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run \
            >/dev/null
    }
    focused() {
        kwin_script 'var w = workspace.activeClient, g = w.frameGeometry;
print("FRAME " + w.resourceClass + " " + g.x + " " + g.y + " " + g.width + " " + g.height);'
        sleep 0.1
        grep -o 'FRAME .*' "$session/kwin.log" | tail -1 | cut -d' ' -f2-
    }
    focus() {
        kwin_script "var cs = workspace.clientList();
for (var i = 0; i < cs.length; ++i) if (cs[i].resourceClass == '$1') workspace.activeClient = cs[i];"
    }
    popover_gone() { ! app_focused glimra-instance; }
else
    focused() { # the focused window as "app_id x y width height", from sway's own tree
        swaymsg -t get_tree -r | python3 -c 'import json, sys
def walk(n):
    if n.get("focused"):
        r = n["rect"]; print(n.get("app_id"), r["x"], r["y"], r["width"], r["height"])
    for c in n.get("nodes", []) + n.get("floating_nodes", []): walk(c)
walk(json.load(sys.stdin))'
    }
    focus() { swaymsg "[app_id=\"$1\"] focus" >/dev/null; }
    popover_gone() { ! swaymsg -t get_tree | grep -q '"app_id": "glimra-instance"'; }
fi
window=org.freedesktop.weston.eventdemo
is_focused() { [ "$(focused)" = "$*" ]; }
app_focused() { [[ $(focused) == "$1 "* ]]; }
focus_and_check() { focus "$1"; app_focused "$1"; }

weston-eventdemo >/dev/null 2>&1 & # takes any size it is given
"$glimra" >"$GLIMRA_WL_LOGS/glimra.log" 2>&1 &
wait_for 10 app_focused glimra-instance || fail "no popover at start without a tray: $(focused)"
wait_for 5 focus_and_check $window || fail "focus: $(focused)"
wait_for 5 popover_gone || fail "the popover stayed open without the focus"

# What the shortcuts are bound through, once the portal has answered.
shortcuts_are() {
    "$glimra" shortcuts --json | python3 -c 'import json, sys
rows, kwin = {s["id"]: s for s in json.load(sys.stdin)}, sys.argv[1] == "kwin"
want = "Set this shortcut in your desktop'"'"'s keyboard settings: glimra "
assert kwin or rows[2]["reason"] == want + "capture area", rows[2]
assert kwin or rows[11]["reason"] == want + "tile maximize", rows[11]
assert all(s["registered"] == kwin and s["via"] == ("portal" if kwin else None)
           for s in rows.values()), rows' "$desktop"
}
wait_for 20 shortcuts_are 2>/dev/null || shortcuts_are || fail "shortcuts --json"

if [ "$desktop" = kwin ]; then
    dbus-send --session --print-reply --dest=org.kde.kglobalaccel /component/glimra \
        org.kde.kglobalaccel.Component.invokeShortcut string:11 >/dev/null
    wait_for 5 is_focused $window 0 0 1280 720 || fail "the maximise shortcut left $(focused)"
fi
"$glimra" tile left-half || fail "glimra tile left-half exited $?"
wait_for 5 is_focused $window 0 0 640 720 || fail "left half left $(focused)"
"$glimra" tile bottom-right
wait_for 5 is_focused $window 640 360 640 360 || fail "bottom right left $(focused)"

# A screenshot the desktop saved is moved into the library and copied.
python3 -c 'import base64, sys; sys.stdout.buffer.write(base64.b64decode(
"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC"))' \
    >"$HOME/shot.png"
mv "$HOME/shot.png" "$HOME/Pictures/Screenshots/Screenshot from $desktop.png"
has_png() { timeout 3 wl-paste -l 2>/dev/null | grep -qx image/png; }
wait_for 10 has_png || fail "wl-paste -l lists no image/png"
app_focused $window || fail "the copy took the focus: $(focused)"
"$glimra" quit
not_running() { ! "$glimra" list >/dev/null 2>&1; }
wait_for 10 not_running || fail "glimra quit did not end it"

if [ "$desktop" = sway ]; then
    # With a tray host the icon is a StatusNotifierItem: no popover at start, a click opens it.
    /usr/bin/python3 "$here/sni_watcher.py" >"$HOME/items" &
    wait_for 5 dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher / \
        org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1
    "$glimra" >>"$GLIMRA_WL_LOGS/glimra.log" 2>&1 &
    wait_for 10 test -s "$HOME/items" || fail "no tray item registered"
    wait_for 10 "$glimra" list >/dev/null # launched: the item's click has a popover to open
    app_focused $window || fail "a popover opened beside a tray: $(focused)"
    read -r item path <"$HOME/items"
    dbus-send --session --print-reply --dest="$item" "$path" \
        org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null
    wait_for 5 app_focused glimra-instance || fail "the tray click opened nothing: $(focused)"
    wtype -k Escape
    wait_for 5 popover_gone || fail "Escape left the popover open"
    "$glimra" quit
fi
echo PASS
