#!/usr/bin/env bash
# Builds the reply-decoder fuzzer with clang and runs it: scripts/fuzz.sh [SECONDS] (default 60).
# Not part of CI. Findings (crash-*, leak-*, timeout-*) land in the build folder; the corpus
# it grows is kept there too, so later runs start where earlier ones stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${GLIMRA_FUZZ_BUILD:-build-fuzz}
scripts/deps.sh fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLIMRA_FUZZ=ON -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target glimra_reply_fuzzer
mkdir -p "$build/fuzz-corpus" "$build/fuzz-findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
exec "$build/bin/glimra_reply_fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -artifact_prefix="$build/fuzz-findings/" -print_final_stats=1 "$build/fuzz-corpus" fuzz/seeds
