#!/usr/bin/env bash
# Runs inside dbus-run-session: starts the desktop parts the tests need, then ctest.
set -euo pipefail
build=$1
shift

session=$(mktemp -d /tmp/glimra-test-session.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$session"
}
trap cleanup EXIT

# The keyring and everything else the session writes stays in a throw-away home.
export HOME=$session/home XDG_DATA_HOME=$session/home/.local/share
export XDG_CONFIG_HOME=$session/home/.config XDG_RUNTIME_DIR=$session/run
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# An unlocked login keyring so the Secret Service answers without a prompt.
eval "$(printf 'glimra-test' | gnome-keyring-daemon --unlock --components=secrets)"
eval "$(gnome-keyring-daemon --start --components=secrets)"
export GNOME_KEYRING_CONTROL

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$session/display" 2>"$session/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$session/display" ] && break; sleep 0.05; done
export DISPLAY=:$(cat "$session/display")
openbox --sm-disable >"$session/openbox.log" 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 24 --transparent false \
    >"$session/trayer.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 && break; sleep 0.05; done

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 "$@"
