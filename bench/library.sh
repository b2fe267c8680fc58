#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The library at start-up and during an import burst, with N screenshot-like 1920x1080 PNGs
# (made once, kept in build-bench/libraries/N and linked into each fresh library). Prints
# each figure, the ratios measured in this run, and PASS or FAIL for each aim:
#   - the first answer of `glimra list --json`, listing all N, within 1 s of launch;
#   - "previewsPending" at 0 within 2 s with a warm thumbnail cache, and within 1.5x a plain
#     single-threaded decode of the same cache files;
#   - peak RSS under 150 MB, and under 30 MB more than with 100 screenshots;
#   - `glimra list` during a burst of 200 imports into the library: median under 200 ms.
#
# Usage: bench/library.sh [N] [runs]     (defaults: 2000 screenshots, 3 runs)
# GLIMRA_BENCH_BUILD: an existing build folder configured with GLIMRA_BENCH=ON, used as it is.
# GLIMRA_BENCH_ONLY=burst: only the import burst, into a library of N made once beforehand.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-2000}
runs=${2:-3}
small=100
burst=200
scripts/deps.sh bench

. scripts/lib/bench-build.sh
bench_build glimra glimra-bench-make-library glimra-bench-decode-cache
glimra=$bin/glimra

made_library() { # N: prints the folder holding N screenshots, making them the first time
    local dir=$PWD/$build/libraries/$1
    if [ ! -e "$dir.done" ]; then
        rm -rf "$dir" && mkdir -p "$dir"
        echo "Making $1 screenshots (kept for later runs)..." >&2
        "$bin/glimra-bench-make-library" "$dir" "$1" 2>/dev/null
        touch "$dir.done"
    fi
    echo "$dir"
}
sources=$(made_library "$count")
small_sources=$(made_library "$small")
burst_sources=$(made_library "$burst")

. scripts/lib/session.sh
session_begin glimra-libbench
work=$session
session_home
session_x
library=$XDG_DATA_HOME/Glimra
shots=$HOME/Pictures/Screenshots

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
listed() { "$glimra" list --json 2>/dev/null | grep -c '"path"' || true; }
pending() { "$glimra" status --json 2>/dev/null | sed -n 's/.*"previewsPending": *\([0-9]*\).*/\1/p'; }

fill_library() { # FOLDER
    rm -rf "$library" && mkdir -p "$library"
    ln "$1"/*.png "$library"/
}

# One launch: seconds to the first full list, seconds until no preview is pending, peak RSS.
launch() { # N cold|warm
    [ "$2" = cold ] && rm -rf "$XDG_CACHE_HOME/thumbnails"
    sync
    local start list_s
    start=$(now)
    "$glimra" >"$work/glimra.log" 2>&1 &
    pid=$!
    until [ "$(listed)" -ge "$1" ]; do :; done
    list_s=$(since "$start")
    until [ "$(pending)" = 0 ]; do sleep 0.01; done
    printf '%s %s %s\n' "$list_s" "$(since "$start")" \
        "$(awk '/VmHWM/ {print int($2/1024)}' /proc/$pid/status)"
}
stop() { "$glimra" quit >/dev/null; wait "$pid" || true; }

column() { awk -v c="$1" '{print $c}' | median; }

measure() { # N FOLDER: sets <mode>_list, <mode>_pending, <mode>_rss (medians)
    fill_library "$2"
    launch "$1" cold >"$work/cold"
    stop
    : >"$work/warm"
    for _ in $(seq "$runs"); do
        launch "$1" warm >>"$work/warm"
        stop
    done
    cold_list=$(column 1 <"$work/cold") cold_pending=$(column 2 <"$work/cold")
    cold_rss=$(column 3 <"$work/cold")
    warm_list=$(column 1 <"$work/warm") warm_pending=$(column 2 <"$work/warm")
    warm_rss=$(column 3 <"$work/warm")
}

if [ "${GLIMRA_BENCH_ONLY:-}" = burst ]; then
    fill_library "$sources"
    launch "$count" cold >/dev/null
    stop
else
    echo "Library of $small..."
    measure "$small" "$small_sources"
    small_rss=$(( cold_rss > warm_rss ? cold_rss : warm_rss ))

    echo "Library of $count..."
    measure "$count" "$sources"
    big_rss=$(( cold_rss > warm_rss ? cold_rss : warm_rss ))
    reference=$("$bin/glimra-bench-decode-cache" "$XDG_CACHE_HOME/thumbnails/large" |
        cut -d' ' -f1)
fi

echo "Importing $burst while listing..."
"$glimra" >"$work/glimra.log" 2>&1 &
pid=$!
until [ "$(listed)" -ge "$count" ]; do sleep 0.02; done
until [ "$(pending)" = 0 ]; do sleep 0.02; done
i=0
for f in "$burst_sources"/*.png; do
    i=$((i + 1))
    cp "$f" "$shots/.part" && mv "$shots/.part" "$shots/Screenshot $i.png"
done &
copier=$!
: >"$work/list-times"
deadline=$(( $(date +%s) + 120 ))
while :; do
    start=$(now)
    n=$("$glimra" list | wc -l)
    since "$start" >>"$work/list-times"
    [ "$n" -ge $((count + burst)) ] && ! kill -0 "$copier" 2>/dev/null && break
    [ "$(date +%s)" -ge "$deadline" ] && break
done
wait "$copier" || true
imported=$(( $("$glimra" list | wc -l) - count ))
list_median=$(median <"$work/list-times")
stop

verdict() { [ "$(echo "$1" | bc)" = 1 ] && echo PASS || echo FAIL; }
if [ "${GLIMRA_BENCH_ONLY:-}" = burst ]; then
    printf '\n%-52s %10.3f\n' "glimra list during $burst imports ($imported done): median" \
        "$list_median"
    printf '%-64s %s\n' "glimra list during the burst, median under 200 ms" \
        "$(verdict "$list_median < 0.2")"
    exit 0
fi
printf '\n%-52s %10s %10s\n' "N=$count (median of $runs warm runs)" "seconds" "RSS (MB)"
printf '%-52s %10.2f %10d\n' "cold cache: first full list" "$cold_list" "$cold_rss"
printf '%-52s %10.2f\n' "cold cache: no preview pending" "$cold_pending"
printf '%-52s %10.2f %10d\n' "warm cache: first full list" "$warm_list" "$warm_rss"
printf '%-52s %10.2f\n' "warm cache: no preview pending" "$warm_pending"
printf '%-52s %10.2f\n' "plain decode loop of the $count cache files" "$reference"
printf '%-52s %10s %10d\n' "N=$small: peak RSS" "" "$small_rss"
printf '%-52s %10.3f\n' "glimra list during $burst imports ($imported done): median" \
    "$list_median"
echo
ratio=$(echo "scale=2; $warm_pending / $reference" | bc)
printf '%-64s %s\n' "first full list within 1 s ($warm_list s warm, $cold_list s cold)" \
    "$(verdict "$warm_list < 1 && $cold_list < 1")"
printf '%-64s %s\n' "no preview pending within 2 s, warm ($warm_pending s)" \
    "$(verdict "$warm_pending < 2")"
printf '%-64s %s\n' "... and within 1.5x the decode loop (${ratio}x)" "$(verdict "$ratio <= 1.5")"
printf '%-64s %s\n' "peak RSS under 150 MB ($big_rss MB)" "$(verdict "$big_rss < 150")"
printf '%-64s %s\n' "under 30 MB more than with $small ($((big_rss - small_rss)) MB more)" \
    "$(verdict "$big_rss - $small_rss < 30")"
printf '%-64s %s\n' "glimra list during the burst, median under 200 ms" \
    "$(verdict "$list_median < 0.2")"
