#!/usr/bin/env bash
# Library start-up: N screenshot-like 1920x1080 PNGs (1-3 MB each) in a fresh library; time
# from launching glimra until `glimra list` returns all N, and glimra's peak resident memory.
# Beside it, vipsthumbnail making the same row-sized previews of the same files: a tool built
# for exactly that work, to show what decoding N files costs on this machine.
#
# Usage: bench/library.sh [N] [runs]     (defaults: 500 screenshots, 3 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-500}
runs=${2:-3}
scripts/deps.sh bench

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF \
    -DGLIMRA_BENCH=ON >/dev/null
cmake --build "$build" --target glimra glimra-bench-make-library >/dev/null
glimra=$PWD/$build/bin/glimra

. scripts/lib/session.sh
session_begin glimra-libbench
work=$session
session_home
mkdir -p "$XDG_DATA_HOME/Glimra"

echo "Making $count screenshots..."
"$build/bin/glimra-bench-make-library" "$XDG_DATA_HOME/Glimra" "$count" 2>/dev/null
du -sm "$XDG_DATA_HOME/Glimra" | awk -v n="$count" '{printf "library: %d files, %d MB\n", n, $1}'

session_x

now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

times=() rss=()
for run in $(seq "$runs"); do
    sync
    start=$(now)
    "$glimra" >"$work/glimra.log" 2>&1 &
    pid=$!
    until [ "$("$glimra" list 2>/dev/null | wc -l)" -ge "$count" ]; do sleep 0.02; done
    end=$(now)
    times+=("$(echo "$end - $start" | bc)")
    rss+=("$(awk '/VmHWM/ {print int($2/1024)}' /proc/$pid/status)")
    "$glimra" quit
    wait "$pid" || true
done

peer_times=() peer_rss=()
mkdir -p "$work/thumbs"
for run in $(seq "$runs"); do
    start=$(now)
    /usr/bin/time -f %M -o "$work/peer-rss" vipsthumbnail --size 160x100 \
        -o "$work/thumbs/%s.png" "$XDG_DATA_HOME"/Glimra/*.png
    end=$(now)
    peer_times+=("$(echo "$end - $start" | bc)")
    peer_rss+=("$(awk '{print int($1/1024)}' "$work/peer-rss")")
done

printf '\n%-28s %16s %16s\n' "N=$count, $runs runs (median)" "seconds" "peak RSS (MB)"
printf '%-28s %16.2f %16d\n' "glimra: launch to full list" \
    "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${rss[@]}" | median)"
printf '%-28s %16.2f %16d\n' "vipsthumbnail: previews" \
    "$(printf '%s\n' "${peer_times[@]}" | median)" "$(printf '%s\n' "${peer_rss[@]}" | median)"
