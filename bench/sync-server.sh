#!/usr/bin/env bash
# glimra-server under load on loopback: uploads per second from 8 parallel clients (each its
# own account and connection, ~1 MB of distinct bytes per upload), the time to fetch and parse
# a listing of 10,000 records, and the server's peak resident memory for each run.
#
# Usage: bench/sync-server.sh [UPLOADS_PER_CLIENT] [RECORDS]   (defaults: 40, 10000)
set -euo pipefail
cd "$(dirname "$0")/.."
per_client=${1:-40}
records=${2:-10000}
scripts/deps.sh bench

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF \
    -DGLIMRA_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target glimra-server glimra-server-bench >/dev/null
bin=$PWD/$build/bin

work=$(mktemp -d /tmp/glimra-server-bench.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a server on a free port with a fresh data folder; sets pid and port.
start_server() {
    rm -rf "$work/data"
    "$bin/glimra-server" --listen 127.0.0.1:0 --data "$work/data" >"$work/out" 2>"$work/err" &
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
    wait "$pid"
    pid=
    echo "  server peak RSS: $((peak / 1024)) MB"
}

echo "Data on $(df --output=source,fstype "$work" | tail -1)"
start_server
"$bin/glimra-server-bench" "$port" uploads 8 "$per_client" 1000000
stop_server

start_server
"$bin/glimra-server-bench" "$port" listing "$records"
stop_server
