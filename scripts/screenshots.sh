#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's pictures of the popover from the real app: a private X server with
# openbox and trayer, a throw-away home, a local glimra-server with one account, a few
# captures; the popover is opened by clicking the tray icon and each picture is cropped to it.
#   scripts/screenshots.sh [BUILD_DIR]     (default: build, configured and built if needed)
# Writes docs/images/popover-*.png and docs/images/editor.png.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${1:-build}
if [ -z "${GLIMRA_SCREENSHOTS_BUS:-}" ]; then
    scripts/deps.sh test
    if [ ! -x "$build/bin/glimra" ]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DGLIMRA_BUILD_TESTS=OFF >/dev/null
    fi
    cmake --build "$build" -t glimra glimra-capture glimra-capture-select glimra-server
    # A D-Bus session of its own, so no desktop service of the caller's session takes part.
    exec dbus-run-session -- env GLIMRA_SCREENSHOTS_BUS=1 "$0" "$@"
fi
bin=$repo/$build/bin
out=$repo/docs/images
mkdir -p "$out"

. scripts/lib/session.sh
session_begin glimra-screenshots
session_home
# An unlocked keyring of its own, so signing in asks nobody for a password.
eval "$(printf 'glimra-screenshots' | gnome-keyring-daemon --unlock --components=secrets)"
eval "$(gnome-keyring-daemon --start --components=secrets)"
export GNOME_KEYRING_CONTROL
GLIMRA_SCREEN=1280x800 session_x openbox trayer
export ASAN_OPTIONS=detect_leaks=0
xsetroot -solid '#4d5a6a'

# The server on a free port, and Glimra pointed at it.
port=18787
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
"$bin/glimra-server" --listen "127.0.0.1:$port" --data "$session/server" \
    >"$session/server.log" 2>&1 &
pids+=($!)
mkdir -p "$XDG_CONFIG_HOME/Glimra"
printf '[General]\nserverOrigin=http://127.0.0.1:%s\n' "$port" >"$XDG_CONFIG_HOME/Glimra/Glimra.conf"
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

# The accessibility bus must be up before Glimra starts, or Glimra never joins it.
/usr/bin/python3 -c 'import pyatspi; pyatspi.Registry.getDesktop(0).childCount'
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$bin/glimra" >"$session/glimra.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do "$bin/glimra" list >/dev/null 2>&1 && break; sleep 0.2; done

# Something worth capturing: a few pictures on the screen, one capture of each.
picture() { # NAME FROM TO TEXT
    convert -size 560x360 "gradient:$2-$3" -font DejaVu-Sans -pointsize 40 -fill white \
        -gravity center -annotate 0 "$4" "$session/$1.png"
}
picture a '#2b5876' '#4e4376' 'Release notes'
picture b '#11998e' '#38ef7d' 'Design review'
picture c '#ee9ca7' '#ffdde1' 'Bug 4211'
for name in a b c; do
    display -geometry +300+180 -title "picture-$name" "$session/$name.png" &
    viewer=$!
    xdotool search --sync --name "picture-$name" >/dev/null
    sleep 0.5
    "$bin/glimra" capture full >/dev/null
    kill "$viewer"
    wait "$viewer" 2>/dev/null || true
done

# An account, so the server has something to show; the captures go up with the sync.
printf 'correct horse battery\n' | "$bin/glimra" register demo demo@example.org >/dev/null ||
    echo "could not register the demo account; the server pictures will be empty" >&2
"$bin/glimra" sync >/dev/null || true

tray_icon() { # the right end of trayer's widest window, where our one icon sits
    local id best=0 cx=0 cy=0
    for id in $(xdotool search --onlyvisible --class trayer); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$WIDTH" -gt "$best" ]; then
            best=$WIDTH cx=$((X + WIDTH - HEIGHT / 2)) cy=$((Y + HEIGHT / 2))
        fi
    done
    echo "$cx $cy"
}
for _ in $(seq 50); do [ "$(tray_icon)" != "0 0" ] && break; sleep 0.2; done
# The controls are found by the names a screen reader hears, as the tests find them.
/usr/bin/python3 scripts/lib/popover_pictures.py "$out" $(tray_icon)
# The editor on the oldest capture, marked up through the same names.
oldest=$("$bin/glimra" list --json | python3 -c 'import json, sys; print(json.load(sys.stdin)[-1]["path"])')
/usr/bin/python3 scripts/lib/editor_picture.py "$bin/glimra" "$oldest" "$out/editor.png"

"$bin/glimra" quit >/dev/null || true
