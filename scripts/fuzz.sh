#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a fuzzer with clang and runs it: scripts/fuzz.sh [SECONDS] [reply|server]
# (default 60 seconds, the client's reply decoders; "server" is glimra-server's request reading).
# Not part of CI. Findings (crash-*, leak-*, timeout-*) land in the build folder; the corpus
# it grows is kept there too, so later runs start where earlier ones stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
target=${2:-reply}
case "$target" in
    reply) fuzzer=glimra_reply_fuzzer seeds=fuzz/seeds max_len=8192 ;;
    server) fuzzer=glimra_server_request_fuzzer seeds=fuzz/server-seeds max_len=65536 ;;
    *) echo "usage: scripts/fuzz.sh [SECONDS] [reply|server]" >&2; exit 2 ;;
esac
build=${GLIMRA_FUZZ_BUILD:-build-fuzz}
scripts/deps.sh fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLIMRA_FUZZ=ON -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "$fuzzer"
corpus="$build/fuzz-corpus-$target" findings="$build/fuzz-findings-$target"
mkdir -p "$corpus" "$findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
exec "$build/bin/$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "$seeds"
