#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (Release, stripped, dependencies from dpkg-shlibdeps) and checks
# it with lintian, and the system unit's confinement with systemd-analyze. The package lands in
# the build folder (default build-deb).
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package

build=${1:-build-deb}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "${GLIMRA_JOBS:-2}"
(cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
echo "$deb"
# Errors fail the script; warnings and notes are printed for whoever wants to look.
lintian --fail-on error "$deb"
# The system unit must stay tightly confined (exposure below 3.0 of 10). Judged from the file:
# systemd need not be running as init.
systemd-analyze security --offline=true --threshold=30 server/glimra-server.service | tail -n 1
