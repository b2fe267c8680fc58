#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the test configuration (address and undefined-behaviour
# sanitizers on) and runs the whole suite inside a private D-Bus session, X server, window
# manager, tray and keyring, all of which are stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

build=${GLIMRA_TEST_BUILD:-build-test}
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLIMRA_SANITIZE=ON \
    -DGLIMRA_WERROR=$werror -DGLIMRA_BUILD_TESTS=ON >/dev/null
cmake --build "$build"

exec dbus-run-session -- scripts/test-session.sh "$build" "$@"
