# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash disable=SC2034
# Sourced by the launchers that run one command inside a private headless desktop
# (wayland-session.sh for sway, kwin-session.sh, gnome-session.sh): the namespaces, a private
# home and runtime folder, a private session bus, a portal folder pinned to the wanted back
# ends, and the logs printed when a part cannot start.
#
# The desktop runs in its own user, mount and process namespaces: a throw-away /tmp, uid 1000,
# and when the command ends (or the launcher is killed) the kernel ends every process the
# desktop started. Running as root is not only refused by some compositors: here kwin_wayland
# carries a file capability (cap_sys_resource) outside the machine's bounding set, so the
# kernel refuses to execute it at all unless init's root is unmapped, which the inner user
# namespace does.

self=$(readlink -f "$0")

# desktop_enter "$@": re-executes the launcher in the namespaces; returns in the last stage
# with the launcher's own arguments left in desktop_args.
desktop_enter() {
    if [ "${1:-}" != --inside ] && [ "${1:-}" != --as-user ]; then
        exec unshare --user --map-root-user --mount --pid --fork --kill-child --mount-proc \
            "$self" --inside "$@"
    fi
    if [ "$1" = --inside ]; then
        shift
        # The sources and the caller's folder stay where they were, also when they lie in /tmp.
        local keep=() dir
        for dir in "$(dirname "$(dirname "$(dirname "$self")")")" "$PWD"; do
            case $dir in /tmp/?*) keep+=("$dir") ;; esac
        done
        exec 3</tmp
        mount -t tmpfs -o mode=1777 glimra-desktop /tmp
        for dir in "${keep[@]}"; do
            mkdir -p "$dir"
            # Without --no-canonicalize mount would bind the link's text, a path now in the tmpfs.
            mount --no-canonicalize --bind "/proc/self/fd/3/${dir#/tmp/}" "$dir"
        done
        exec 3<&-
        exec unshare --user --map-user=1000 --map-group=1000 "$self" --as-user "$@"
    fi
    shift
    desktop_args=("$@")
}

# desktop_begin NAME: the session folder, its logs, a private home, and the clean-up.
desktop_begin() {
    desktop_name=$1
    session=$(mktemp -d "/tmp/glimra-$1.XXXXXX")
    pids=()
    export GLIMRA_WL_LOGS=$session/logs
    mkdir -p "$GLIMRA_WL_LOGS"
    trap desktop_finish EXIT

    export HOME=$session/home XDG_RUNTIME_DIR=$session/run
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
    export XDG_STATE_HOME=$HOME/.local/state XDG_CACHE_HOME=$HOME/.cache
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" \
        "$XDG_CACHE_HOME" "$HOME/Pictures/Screenshots"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS \
        XAUTHORITY QT_QPA_PLATFORM
    export XDG_SESSION_TYPE=wayland
}

desktop_finish() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    exit "$status"
}

# desktop_fail MESSAGE: says what did not start, prints every log, exits 2.
desktop_fail() {
    echo "$desktop_name-session: $*" >&2
    local log
    for log in "$GLIMRA_WL_LOGS"/*.log; do
        echo "--- $(basename "$log")" >&2
        tail -n 30 "$log" >&2
    done
    exit 2
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds.
wait_for() {
    local tries=$(($1 * 20))
    shift
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

# desktop_bus session|system: a private bus of that kind; services the session bus starts
# inherit the environment of this moment. The system bus starts none: the machine's services
# (logind first) would go through a setuid helper, which a user namespace cannot run, and a
# service that is simply unknown is what the desktops are written to live without.
desktop_bus() {
    local address=unix:path=$XDG_RUNTIME_DIR/$1-bus config=(--session)
    if [ "$1" = system ]; then
        printf '%s\n' '<busconfig><type>system</type><auth>EXTERNAL</auth>' \
            "<listen>$address</listen>" '<policy context="default">' \
            '<allow user="*"/><allow own="*"/>' \
            '<allow send_type="method_call"/><allow send_type="signal"/>' \
            '<allow send_requested_reply="true"/><allow receive_requested_reply="true"/>' \
            '</policy></busconfig>' >"$session/system-bus.conf"
        config=(--config-file="$session/system-bus.conf")
    fi
    dbus-daemon "${config[@]}" --nofork --nopidfile --address="$address" \
        >"$GLIMRA_WL_LOGS/$1-bus.log" 2>&1 &
    pids+=($!)
    if [ "$1" = session ]; then
        export DBUS_SESSION_BUS_ADDRESS=$address
    else
        export DBUS_SYSTEM_BUS_ADDRESS=$address
    fi
    wait_for 10 dbus-send "--bus=$address" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetId || desktop_fail "the $1 bus did not start"
}

# desktop_portal BACKEND INTERFACE...: xdg-desktop-portal 1.16 reads no portals.conf and takes
# the first back end that offers an interface, so the folder it reads holds only the wanted
# ones, one file each.
desktop_portal() {
    local backend=$1 interfaces
    shift
    interfaces=$(printf 'org.freedesktop.impl.portal.%s;' "$@")
    export XDG_DESKTOP_PORTAL_DIR=$session/portals
    mkdir -p "$XDG_DESKTOP_PORTAL_DIR"
    printf '[portal]\nDBusName=org.freedesktop.impl.portal.desktop.%s\nInterfaces=%s\nUseIn=%s;\n' \
        "$backend" "$interfaces" "$XDG_CURRENT_DESKTOP" >"$XDG_DESKTOP_PORTAL_DIR/$backend.portal"
}

# desktop_portal_ready BACKEND: the back end and xdg-desktop-portal's Screenshot answer.
desktop_portal_ready() {
    wait_for 25 dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.StartServiceByName "string:org.freedesktop.impl.portal.desktop.$1" \
        uint32:0 || desktop_fail "the $1 portal did not start"
    wait_for 25 gdbus call --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop \
        --method org.freedesktop.DBus.Properties.Get org.freedesktop.portal.Screenshot version ||
        desktop_fail "the screenshot portal did not start"
}
