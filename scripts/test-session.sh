#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs inside dbus-run-session: starts the desktop parts the tests need, then ctest.
set -euo pipefail
build=$1
shift

. "$(dirname "$0")/lib/session.sh"
session_begin glimra-test-session
# The keyring and everything else the session writes stays in a throw-away home.
session_home

# An unlocked login keyring so the Secret Service answers without a prompt.
eval "$(printf 'glimra-test' | gnome-keyring-daemon --unlock --components=secrets)"
eval "$(gnome-keyring-daemon --start --components=secrets)"
export GNOME_KEYRING_CONTROL

session_x openbox trayer

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 "$@"
