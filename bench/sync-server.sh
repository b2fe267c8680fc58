#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# glimra-server under load on loopback:
# - uploads per second from 8 parallel clients (each its own account and connection, ~1 MB of
#   distinct bytes per upload), beside the same run against an earlier commit (BASE, built in
#   a git worktree) when one is given;
# - the time to fetch and parse a listing of 10,000 records;
# - login+list pairs per second and their p99 latency for 32 clients, alone and while 500
#   connections trickle header bytes (from 13 loopback addresses);
# - the server's peak memory under header and form-field floods;
# - the uploads and the listing once more with the records in PostgreSQL 15 and the files in
#   an S3-compatible bucket (the tests' Node stand-in), beside SQLite and the data folder, each
#   with its server's peak memory, when PostgreSQL 15 and Node 20 are installed. PostgreSQL and
#   the stand-in share the machine's cores with the server and the clients; the stand-in's
#   processor time per upload, its own rate for bare PUTs of the same size and the ceilings
#   its processor time sets show how much of the gap is the stand-in.
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
s3pid=
pgdir=/tmp/glimra-bench-pg-$$
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    [ -n "$s3pid" ] && kill "$s3pid" 2>/dev/null && wait "$s3pid" 2>/dev/null || true
    [ ! -d "$pgdir" ] || server/tests/pg-cluster.sh stop "$pgdir"
    rm -rf "$work/data" "$work/s3"
}
trap cleanup EXIT

# Starts a server (default: this commit's; then any further arguments) on a free port with a
# fresh data folder.
start_server() {
    rm -rf "$work/data"
    local server=${1:-$bin/glimra-server}
    shift || true
    "$server" --listen 127.0.0.1:0 --data "$work/data" --access-log off "$@" >"$work/out" \
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
"$bin/glimra-server-bench" "$port" uploads 8 "$per_client" 1000000 | tee "$work/embedded"
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

echo "PostgreSQL 15 and an S3-compatible bucket (records and files), this commit:"
if [ ! -x /usr/lib/postgresql/15/bin/initdb ] ||
    ! node -e 'process.exit(parseInt(process.versions.node) >= 20 ? 0 : 1)' 2>/dev/null; then
    echo "  skipped: needs PostgreSQL 15 (postgresql-15) and Node 20 or later"
    exit 0
fi
standin=server/tests/s3
[ -d "$standin/node_modules" ] || npm ci --prefix "$standin" --no-audit --no-fund --loglevel=error
server/tests/pg-cluster.sh start "$pgdir" >/dev/null
export AWS_ACCESS_KEY_ID=GLIMRABENCH AWS_SECRET_ACCESS_KEY=glimra-bench-secret
NODE_OPTIONS=--openssl-legacy-provider node "$standin/stand-in.js" "$work/s3" bench \
    "$AWS_ACCESS_KEY_ID" "$AWS_SECRET_ACCESS_KEY" >"$work/s3.out" &
s3pid=$!
for _ in $(seq 100); do
    grep -q listening "$work/s3.out" 2>/dev/null && break
    sleep 0.1
done
s3url=http://127.0.0.1:$(sed -n 's/listening on //p' "$work/s3.out")
storage="s3://bench?endpoint=$s3url"
rate() { sed -n 's/.* = \([0-9.]*\) uploads\/s.*/\1/p' "$1"; }
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
for run in uploads listing; do
    psql -q "postgresql://postgres@/postgres?host=$pgdir" -c "CREATE DATABASE $run"
    start_server "" --database "postgresql://postgres@/$run?host=$pgdir" --storage "$storage"
    if [ "$run" = uploads ]; then
        before=$(cpu "$s3pid")
        "$bin/glimra-server-bench" "$port" uploads 8 "$per_client" 1000000 | tee "$work/team"
        standin_ms=$(echo "($(cpu "$s3pid") - $before) * 1000 / $(getconf CLK_TCK) / (8 * $per_client)" | bc -l)
        printf '  stand-in processor time: %.1f ms an upload\n' "$standin_ms"
    else
        "$bin/glimra-server-bench" "$port" listing "$records"
    fi
    stop_server
done
# The floor: the single-threaded stand-in alone taking the same PUTs from 8 connections of one
# curl, with no server, database or form in the way.
head -c 1000000 /dev/urandom >"$work/object"
puts=()
for i in $(seq $((8 * per_client))); do
    puts+=(-T "$work/object" "$s3url/bench/raw/$i")
done
start=$(date +%s.%N)
curl -sS -Z --parallel-max 8 --aws-sigv4 aws:amz:us-east-1:s3 \
    --user "$AWS_ACCESS_KEY_ID:$AWS_SECRET_ACCESS_KEY" -H "x-amz-content-sha256: UNSIGNED-PAYLOAD" \
    -o /dev/null -w '%{http_code}\n' "${puts[@]}" 2>/dev/null | grep -vc '^200$' >"$work/failed" || true
raw=$(echo "$((8 * per_client)) / ($(date +%s.%N) - $start)" | bc -l)
printf '  the stand-in alone: %.1f PUTs/s of 1 MB (%s failed)\n' "$raw" "$(cat "$work/failed")"
printf '  PostgreSQL + bucket: %.2fx the embedded mode, %.2fx the stand-in alone\n' \
    "$(echo "$(rate "$work/team") / $(rate "$work/embedded")" | bc -l)" \
    "$(echo "$(rate "$work/team") / $raw" | bc -l)"
# What the stand-in leaves possible: on its one thread it takes no more PUTs a second than
# 1000 ms over its time a PUT; given every core, the machine spends the embedded mode's time
# an upload plus the stand-in's.
busy() { sed -n 's/.*machine processor time: \([0-9.]*\) ms.*/\1/p' "$1"; }
embedded_rate=$(rate "$work/embedded")
printf '  ceilings the stand-in sets: %.2fx the embedded mode on its one thread, %.2fx on all %d cores\n' \
    "$(echo "1000 / $standin_ms / $embedded_rate" | bc -l)" \
    "$(echo "$(nproc) * 1000 / ($(busy "$work/embedded") + $standin_ms) / $embedded_rate" | bc -l)" \
    "$(nproc)"
