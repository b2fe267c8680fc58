#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Glimra and starts it in the current desktop session.
# When nothing answers on the default web service address (127.0.0.1:8787), a local
# glimra-server is started in the background first, so an account can be made at once; it
# keeps running after Glimra quits (stop it with: pkill -x glimra-server).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build build

if ! (exec 3<>/dev/tcp/127.0.0.1/8787) 2>/dev/null; then
    log_dir=${XDG_STATE_HOME:-$HOME/.local/state}/glimra-server
    mkdir -p "$log_dir"
    setsid nohup build/bin/glimra-server --listen 127.0.0.1:8787 \
        >>"$log_dir/server.log" 2>&1 </dev/null &
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/8787) 2>/dev/null && break
        sleep 0.1
    done
    echo "Started glimra-server on http://127.0.0.1:8787 (log: $log_dir/server.log)"
fi
exec build/bin/glimra "$@"
