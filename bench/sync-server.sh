#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# glimra-server under load on loopback:
# - uploads per second from 8 parallel clients (each its own account and connection, ~1 MB of
#   distinct bytes per upload), beside the same run against an earlier commit (BASE, built in
#   a git worktree) when one is given;
# - the time to fetch and parse a listing of 10,000 records;
# - login+list pairs per second and their p99 latency for 32 clients, alone and while 500
#   connections trickle header bytes (from 13 loopback addresses);
# - the server's peak memory under header and form-field floods.
#
# Usage: BASE=<commit> bench/sync-server.sh [UPLOADS_PER_CLIENT] [RECORDS] [SECONDS]
#        (defaults: 40, 10000, 20; BASE empty: no comparison)
set -euo pipefail
cd "$(dirname "$0")/.."
per_client=${1:-40}
records=${2:-10000}
seconds=${3:-20}
scripts/deps.sh bench

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF \
    -DGLIMRA_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target glimra-server glimra-server-bench glimra-server-hostile \
    >/dev/null
bin=$PWD/$build/bin

work=$(mktemp -d /tmp/glimra-server-bench.XXXXXX)
base_bin=
if [ -n "${BASE:-}" ]; then
    tree=${BASE_TREE:-$work/base}
    [ -d "$tree" ] || git worktree add --detach "$tree" "$BASE" >/dev/null
    cmake -S "$tree" -B "$tree/$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DGLIMRA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$tree/$build" -j2 --target glimra-server >/dev/null
    base_bin=$tree/$build/bin/glimra-server
fi
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work/data"
}
trap cleanup EXIT

# Starts a server (default: this commit's) on a free port with a fresh data folder.
start_server() {
    rm -rf "$work/data"
    "${1:-$bin/glimra-server}" --listen 127.0.0.1:0 --data "$work/data" >"$work/out" \
        2>"$work/err" &
    pid=$!
    for _ in $(seq 100); do
        grep -q listening "$work/out" 2>/dev/null && break
        sleep 0.05
    done
    port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/out")
}
stop_server() {
    local peak
    peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" || true
    pid=
    echo "  server peak RSS: $((peak / 1024)) MB"
}

echo "Data on $(df --output=source,fstype "$work" | tail -1); load $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$base_bin" ]; then
    echo "$BASE:"
    start_server "$base_bin"
    "$bin/glimra-server-bench" "$port" uploads 8 "$per_client" 1000000
    stop_server
    echo "this commit:"
fi
start_server
"$bin/glimra-server-bench" "$port" uploads 8 "$per_client" 1000000
stop_server

start_server
"$bin/glimra-server-bench" "$port" listing "$records"
stop_server

start_server
"$bin/glimra-server-hostile" "$port" loginlist 32 "$seconds"
"$bin/glimra-server-hostile" "$port" slow 500 $((seconds + 15)) &
slow=$!
sleep 10
"$bin/glimra-server-hostile" "$port" loginlist 32 "$seconds"
wait "$slow"
stop_server

for kind in header fields; do
    start_server
    if [ "$kind" = header ]; then
        "$bin/glimra-server-hostile" "$port" flood header 4 300
    else
        "$bin/glimra-server-hostile" "$port" flood fields 8 60
    fi
    stop_server
done
