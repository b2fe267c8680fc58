#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the test configuration (address and undefined-behaviour
# sanitizers on) and runs the whole suite inside a private D-Bus session, X server, window
# manager, tray and keyring, all of which are stopped afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
# The S3 stand-in some server tests store objects in; only for the tests, never installed.
# It needs Node 20 or later; without it those tests are skipped.
standin=server/tests/s3
if command -v npm >/dev/null && node -e 'process.exit(parseInt(process.versions.node) >= 20 ? 0 : 1)' &&
    [ ! "$standin/node_modules/.package-lock.json" -nt "$standin/package-lock.json" ]; then
    npm ci --prefix "$standin" --no-audit --no-fund --loglevel=error
fi

build=${GLIMRA_TEST_BUILD:-build-test}
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLIMRA_SANITIZE=ON \
    -DGLIMRA_WERROR=$werror -DGLIMRA_BUILD_TESTS=ON >/dev/null
cmake --build "$build"

exec dbus-run-session -- scripts/test-session.sh "$build" "$@"
