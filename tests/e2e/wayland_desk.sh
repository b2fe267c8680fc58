#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on a Wayland desktop, checked through the desktop's own view of its windows:
#   sway (run inside scripts/lib/wayland-session.sh): `glimra tile` places the focused window,
#     every shortcut row names the command to bind in sway, and with a tray host the popover
#     waits for the icon's click;
#   kwin (inside scripts/lib/kwin-session.sh): the shortcuts are bound through the
#     GlobalShortcuts portal, and those fired through kglobalaccel tile the focused window and
#     take a capture.
# On sway and KWin, with no tray host the popover opens at start and closes when another window takes
# the focus, and a full-screen capture reaches the clipboard while another window keeps it.
#   gnome (inside scripts/lib/gnome-session.sh): the rows name the commands to bind, and
#     tiling is refused in words.
# Usage: wayland_desk.sh sway|kwin|gnome GLIMRA_BIN
set -euo pipefail
desktop=$1
glimra=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
fail() {
    echo "FAIL: $*"
    grep -v FRAME "$GLIMRA_WL_LOGS"/*.log | grep -iE "script|js:" | tail -5
    exit 1
}
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}

if [ "$desktop" = kwin ]; then
    kwin_script() { # runs a script in KWin; what it prints goes to KWin's log
        printf '%s\n' "$1" >"$GLIMRA_WL_LOGS/probe.js"
        local id
        id=$(dbus-send --session --print-reply=literal --dest=org.kde.KWin /Scripting \
            org.kde.kwin.Scripting.loadScript string:"$GLIMRA_WL_LOGS/probe.js" string:probe$RANDOM |
            awk '{print $2}')
        dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run \
            >/dev/null
    }
    focused() {
        kwin_script 'var w = workspace.activeClient, g = w.frameGeometry;
print("FRAME " + w.resourceClass + " " + g.x + " " + g.y + " " + g.width + " " + g.height);'
        sleep 0.1
        grep -o 'FRAME .*' "$GLIMRA_WL_LOGS/kwin.log" | tail -1 | cut -d' ' -f2-
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

# What the shortcuts are bound through, once the portal has answered.
shortcuts_are() {
    "$glimra" shortcuts --json | python3 -c 'import json, sys
rows, kwin = {s["id"]: s for s in json.load(sys.stdin)}, sys.argv[1] == "kwin"
want = "Set this shortcut in your desktop'"'"'s keyboard settings: glimra "
no_tiles = "Window tiling is not available on this desktop"
assert kwin or rows[2]["reason"] == want + "capture area", rows[2]
assert kwin or rows[11]["reason"] == (no_tiles if sys.argv[1] == "gnome" else want + "tile maximize")
assert all(s["registered"] == kwin and s["via"] == ("portal" if kwin else None)
           for s in rows.values()), rows
assert rows[11]["desktopKeys"] == ("Ctrl+Alt+F" if kwin else None), rows[11]' "$desktop"
}
if [ "$desktop" = gnome ]; then
    # No shortcuts portal in GNOME 43 and no window moved for another program. Its headless
    # seat has no keyboard, so no client can offer a clipboard there: that is checked by hand.
    "$glimra" >"$GLIMRA_WL_LOGS/glimra.log" 2>&1 &
    wait_for 20 shortcuts_are 2>/dev/null || shortcuts_are || fail "shortcuts --json"
    refusal=$("$glimra" tile left-half 2>&1) && fail "glimra tile succeeded"
    [ "$refusal" = "Window tiling is not available on this desktop" ] || fail "tile: $refusal"
    "$glimra" quit
    echo PASS
    exit 0
fi

weston-eventdemo >/dev/null 2>&1 & # takes any size it is given
"$glimra" >"$GLIMRA_WL_LOGS/glimra.log" 2>&1 &
wait_for 10 app_focused glimra-instance || fail "no popover at start without a tray: $(focused)"
wait_for 5 focus_and_check $window || fail "focus: $(focused)"
wait_for 5 popover_gone || fail "the popover stayed open without the focus"
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

# A full-screen capture lands in the library and on the clipboard; the window keeps the focus.
count() { "$glimra" list | wc -l; }
before=$(count)
if [ "$desktop" = kwin ]; then
    dbus-send --session --print-reply --dest=org.kde.kglobalaccel /component/glimra \
        org.kde.kglobalaccel.Component.invokeShortcut string:1 >/dev/null
    one_more() { [ "$(count)" -eq $((before + 1)) ]; }
    wait_for 20 one_more || fail "the capture shortcut added no screenshot"
else
    "$glimra" capture full >/dev/null || fail "glimra capture full exited $?"
fi
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
