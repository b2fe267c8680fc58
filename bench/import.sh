#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Desktop import burst: N screenshot-like 1920x1080 PNGs (1-3 MB each) dropped at once into
# the desktop's screenshot folder of a running glimra (one rename each, as a file manager
# moves them); time from the drop until `glimra list` shows all N and the folder is empty.
# Prints PASS when the burst takes under the aim.
#
# Usage: bench/import.sh [N] [aim-seconds]     (defaults: 300 screenshots, 5 s)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-300}
aim=${2:-5}
scripts/deps.sh bench

# GLIMRA_BENCH_BUILD: an existing build folder configured with GLIMRA_BENCH=ON, used as it is.
. scripts/lib/bench-build.sh
bench_build glimra glimra-bench-make-library
glimra=$bin/glimra

. scripts/lib/session.sh
session_begin glimra-importbench
work=$session
session_home
drop=$HOME/Pictures/Screenshots
# Made beside the desktop's folder, on the same file system, so the drop is renames only.
staging=$HOME/Pictures/staging
mkdir -p "$XDG_DATA_HOME/Glimra" "$staging"

echo "Making $count screenshots..."
"$bin/glimra-bench-make-library" "$staging" "$count" 2>/dev/null
du -sm "$staging" | awk -v n="$count" '{printf "burst: %d files, %d MB\n", n, $1}'

session_x

now() { date +%s.%N; }
# glimra's own processor time so far (user + system), in seconds: on a busy machine the wall
# time says more about the neighbours than about glimra.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$1/stat"; }

"$glimra" >"$work/glimra.log" 2>&1 &
pid=$!
pids+=("$pid")
until "$glimra" list >/dev/null 2>&1; do sleep 0.05; done

cpu_start=$(cpu "$pid")
start=$(now)
# One process renames them all: a loop of mv commands takes longer on a busy machine than the
# import itself (about 40 ms a command), and would be what this measures.
perl -e 'my $i = 0;
    for my $file (sort glob("$ARGV[0]/*.png")) {
        $i++;
        rename($file, "$ARGV[1]/Screenshot $i.png") or die "$file: $!\n";
    }' "$staging" "$drop"
until [ "$("$glimra" list 2>/dev/null | wc -l)" -ge "$count" ] &&
    [ -z "$(ls -A "$drop")" ]; do sleep 0.05; done
end=$(now)
cpu_end=$(cpu "$pid")
seconds=$(echo "$end - $start" | bc)
cpu_seconds=$(echo "$cpu_end - $cpu_start" | bc)
imported=$(find "$XDG_DATA_HOME/Glimra" -maxdepth 1 -name 'Glimra_*.png' | wc -l)
"$glimra" quit || true
wait "$pid" || true

verdict=FAIL
[ "$imported" -eq "$count" ] && [ "$(echo "$seconds < $aim" | bc)" -eq 1 ] && verdict=PASS
printf '\n%-36s %10s %10s\n' "N=$count" "seconds" "aim"
printf '%-36s %10.2f %10s  %s\n' "burst: drop to all listed, folder empty" "$seconds" "< $aim" \
    "$verdict"
printf '%-36s %10.2f\n' "glimra processor time in the burst" "$cpu_seconds"
printf '%-36s %10d\n' "library files after the burst" "$imported"
