# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test and benchmark scripts: a throw-away folder whose background processes
# are stopped, and which is removed, when the script exits; a private home in it; and a
# private X server.

# session_begin NAME: makes $session and arms the clean-up. Add background pids to pids.
session_begin() {
    session=$(mktemp -d "/tmp/$1.XXXXXX")
    pids=()
    trap session_end EXIT
}

session_end() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$session"
}

# Everything Glimra, the keyring and the desktop tools write stays inside $session.
session_home() {
    export HOME=$session/home XDG_DATA_HOME=$session/home/.local/share
    export XDG_CONFIG_HOME=$session/home/.config XDG_STATE_HOME=$session/home/.local/state
    export XDG_CACHE_HOME=$session/home/.cache
    export XDG_RUNTIME_DIR=$session/run
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" \
        "$HOME/Pictures/Screenshots"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# session_x [openbox] [trayer]: a 1920x1080 X server (or $GLIMRA_SCREEN, WIDTHxHEIGHT) on a
# free display, with the window manager and tray when asked for; exports DISPLAY.
session_x() {
    Xvfb -displayfd 3 -screen 0 "${GLIMRA_SCREEN:-1920x1080}x24" -nolisten tcp \
        3>"$session/display" \
        2>"$session/xvfb.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$session/display" ] && break; sleep 0.05; done
    export DISPLAY=:$(cat "$session/display")
    for part in "$@"; do
        case $part in
            openbox) openbox --sm-disable >"$session/openbox.log" 2>&1 & ;;
            # trayer, a GTK 2 program, exits on an X error such as an icon window that is
            # destroyed while it embeds it, which tests that start and quit Glimra quickly can
            # cause; every later tray test would then fail. It is started again.
            trayer) while :; do
                    trayer --edge top --align right --widthtype request --height 24 \
                        --transparent false >>"$session/trayer.log" 2>&1
                    sleep 0.2
                done & ;;
        esac
        pids+=($!)
    done
    for _ in $(seq 100); do
        [[ " $* " != *" openbox "* ]] && break
        xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 && break
        sleep 0.05
    done
}
