#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on sway, inside scripts/lib/wayland-session.sh: `glimra tile` places the focused
# window (read back from sway's tree), `shortcuts --json` says each shortcut is for sway's own
# bindings, a copy reaches the clipboard while another window has the focus, and with a tray
# host the popover waits for a click on its icon.
# Usage: sway_desk.sh GLIMRA_BIN
set -euo pipefail
glimra=$1
window=org.freedesktop.weston.eventdemo # takes any size it is given
fail() { echo "FAIL: $*"; exit 1; }
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}
# The focused window as "app_id x y width height", from sway's own tree.
focused() {
    swaymsg -t get_tree -r | python3 -c 'import json, sys
def walk(n):
    if n.get("focused"):
        r = n["rect"]; print(n.get("app_id"), r["x"], r["y"], r["width"], r["height"])
    for c in n.get("nodes", []) + n.get("floating_nodes", []): walk(c)
walk(json.load(sys.stdin))'
}
is_focused() { [ "$(focused)" = "$*" ]; }
app_focused() { [[ $(focused) == "$1 "* ]]; }

weston-eventdemo >/dev/null 2>&1 &
"$glimra" >"$GLIMRA_WL_LOGS/glimra.log" 2>&1 &
# With no tray host the popover opens at start and takes the focus; the terminal gets it back.
wait_for 10 app_focused glimra-instance || fail "no popover at start without a tray: $(focused)"
swaymsg "[app_id=\"$window\"] focus" >/dev/null
wait_for 5 app_focused $window || fail "focus: $(focused)"
popover_gone() { ! swaymsg -t get_tree | grep -q '"app_id": "glimra-instance"'; }
wait_for 5 popover_gone || fail "the popover stayed open without the focus"

"$glimra" tile left-half || fail "glimra tile left-half exited $?"
wait_for 5 is_focused $window 0 0 640 720 ||
    fail "left half left $(focused)"
"$glimra" tile bottom-right
wait_for 5 is_focused $window 640 360 640 360 ||
    fail "bottom right left $(focused)"

# sway has no shortcuts portal: once the portal has said so, every row names its command.
bind_in_sway() {
    "$glimra" shortcuts --json | python3 -c 'import json, sys
rows = {s["id"]: s for s in json.load(sys.stdin)}
want = "Set this shortcut in your desktop'"'"'s keyboard settings: glimra "
assert rows[2]["reason"] == want + "capture area", rows[2]
assert rows[11]["reason"] == want + "tile maximize", rows[11]
assert not any(s["registered"] or s["via"] for s in rows.values()), rows'
}
wait_for 10 bind_in_sway 2>/dev/null || bind_in_sway || fail "shortcuts --json"

# A screenshot the desktop saved is moved into the library and copied.
python3 -c 'import base64, sys; sys.stdout.buffer.write(base64.b64decode(
"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC"))' \
    >"$HOME/shot.png"
mv "$HOME/shot.png" "$HOME/Pictures/Screenshots/Screenshot from sway.png"
has_png() { timeout 3 wl-paste -l 2>/dev/null | grep -qx image/png; }
wait_for 10 has_png || fail "wl-paste -l lists no image/png"
app_focused $window || fail "the copy took the focus: $(focused)"
"$glimra" quit
not_running() { ! "$glimra" list >/dev/null 2>&1; }
wait_for 10 not_running || fail "glimra quit did not end it"

# With a tray host the icon is a StatusNotifierItem: no popover at start, a click opens it.
/usr/bin/python3 "$(dirname "$0")/sni_watcher.py" >"$HOME/items" &
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
echo PASS
