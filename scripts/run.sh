#!/usr/bin/env bash
# Installs what is missing, builds Glimra and starts it in the current desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build build
exec build/bin/glimra "$@"
