#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Text recognition against its aims, with N screenshot-like 1920x1080 pictures (one in four
# without text). Prints each figure, the ratio to its peer measured in the same run, and PASS
# or FAIL for each aim:
#   - processor time per picture on one core through Glimra's helper, within 1.2x the
#     `tesseract` command on the same picture with the same settings (one thread, page
#     segmentation 3, 96 dpi); the command's figure is also given without its start-up;
#   - `glimra search` over an index of 2,000 screenshots filled through its own writer: median
#     under 50 ms (peer: `glimra status`, the bare round trip to the instance);
#   - peak RSS of Glimra and its helper together while reading: under 200 MB;
#   - `glimra capture full` and `glimra list` while the background pass reads, against the
#     same with recognition off: medians within 1.2x.
#
# Usage: bench/text.sh [N] [runs]     (defaults: 20 pictures, 10 runs)
# GLIMRA_BENCH_BUILD: an existing build folder configured with GLIMRA_BENCH=ON, used as it is.
# GLIMRA_BENCH_ONLY=busy: only capture and list while the library is read.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-20}
runs=${2:-10}
scripts/deps.sh bench

. scripts/lib/bench-build.sh
bench_build glimra glimra-instance glimra-text-reader glimra-capture glimra-bench-text
glimra=$bin/glimra

. scripts/lib/session.sh
session_begin glimra-textbench
work=$session
session_home
session_x
library=$XDG_DATA_HOME/Glimra
failed=0
verdict() { # NAME OK(1|0)
    if [ "$2" = 1 ]; then echo "PASS $1"; else echo "FAIL $1"; failed=1; fi
}
calc() { python3 -c "print($1)"; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
pending() { "$glimra" status --json 2>/dev/null | sed -n 's/.*"textPending": *\([0-9]*\).*/\1/p'; }
start() { # starts the instance, waits for it to answer
    QT_QPA_PLATFORM=offscreen "$glimra" >"$work/glimra.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    until "$glimra" status >/dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || { echo "Glimra did not start:"; cat "$work/glimra.log"; exit 1; }
        sleep 0.05
    done
}
stop() { "$glimra" quit >/dev/null; wait "$pid" || true; }
hwm() { awk '/VmHWM/ {print int($2/1024)}' "/proc/$1/status" 2>/dev/null || echo 0; }

"$bin/glimra-bench-text" make "$work/pictures" "$count"
echo "load average at start: $(load)"

if [ "${GLIMRA_BENCH_ONLY:-}" != busy ]; then
# 1. One picture at a time on core 0, ours through the helper, theirs as the command.
taskset -c 0 "$bin/glimra-bench-text" read "$bin/glimra-text-reader" "$work/pictures" \
    >"$work/ours"
convert -size 64x64 xc:white "$work/blank.png"
command_time() { # FILE: processor seconds of one `tesseract` run
    OMP_THREAD_LIMIT=1 taskset -c 0 /usr/bin/time -f "%U %S" -o "$work/t" \
        tesseract "$1" - --psm 3 --dpi 96 -l eng >"$work/words" 2>/dev/null
    awk '{print $1 + $2}' "$work/t"
}
startup=$(for _ in 1 2 3; do command_time "$work/blank.png"; done | median)
for f in "$work"/pictures/*.png; do
    echo "$(command_time "$f") $(wc -w <"$work/words")"
done >"$work/theirs"
ours_ms=$(awk '{s += $3} END {printf "%.0f", s / NR}' "$work/ours")
ours_wall=$(awk '{s += $2} END {printf "%.0f", s / NR}' "$work/ours")
theirs_ms=$(awk '{s += $1} END {printf "%.0f", 1000 * s / NR}' "$work/theirs")
bare_ms=$(calc "round($theirs_ms - 1000 * $startup)")
echo "per picture (processor ms, one core): ours $ours_ms (wall $ours_wall on a shared core)," \
    "tesseract $theirs_ms, without its $(calc "round(1000 * $startup)") ms start-up $bare_ms"
echo "words read: ours $(awk '{s += $4} END {print s}' "$work/ours")," \
    "tesseract $(awk '{s += $2} END {print s}' "$work/theirs")"
echo "ratio: $(calc "round($ours_ms / $theirs_ms, 2)") (to the command without start-up:" \
    "$(calc "round($ours_ms / $bare_ms, 2)"))"
verdict "time per picture within 1.2x the tesseract command" \
    "$(calc "int($ours_ms <= 1.2 * $theirs_ms)")"

# 2. Search over 2,000 screenshots whose text is in the index.
"$bin/glimra-bench-text" tiny "$library" 2000
"$bin/glimra-bench-text" fill "$XDG_CACHE_HOME/Glimra/text.sqlite" "$library"
start
until [ "$("$glimra" list | wc -l)" -ge 2000 ] && [ "$(pending)" = 0 ]; do sleep 0.1; done
# Two words in the text of about a quarter of the library, and a word of every file name.
echo "matches: 'invoice payment' $("$glimra" search invoice payment | wc -l)," \
    "'glimra' $("$glimra" search glimra | wc -l) of 2000"
hyperfine -N --warmup 3 --runs 30 --export-json "$work/search.json" \
    "$glimra search invoice payment" "$glimra search glimra" "$glimra status" >/dev/null
read -r search_ms all_ms status_ms < <(python3 -c "import json; r = json.load(open('$work/search.json'))['results']
print(*(round(x['median'] * 1000, 1) for x in r))")
echo "glimra search: $search_ms ms median, $all_ms ms when all match;" \
    "glimra status: $status_ms ms (load $(load))"
verdict "search over 2,000 under 50 ms" "$(calc "int(max($search_ms, $all_ms) < 50)")"
stop

# 3. Peak memory while the library of N is read from scratch.
rm -rf "$library" "$XDG_CACHE_HOME/Glimra" && mkdir -p "$library"
ln "$work"/pictures/*.png "$library"/
start
helper=
waited=0
# At idle priority on a busy machine this may take long: at most 10 minutes.
until [ "$(pending)" = 0 ] || [ $waited -ge 3000 ]; do
    [ -z "$helper" ] && helper=$(pgrep -P "$pid" glimra-text-rea || true)
    sleep 0.2
    waited=$((waited + 1))
done
app_mb=$(hwm "$pid") helper_mb=$(hwm "${helper:-0}")
echo "peak RSS while reading ($(pending) of $count left): Glimra $app_mb MB + helper" \
    "$helper_mb MB = $((app_mb + helper_mb)) MB"
verdict "peak RSS of both under 200 MB" "$((app_mb + helper_mb < 200))"
stop
fi

# 4. Capture and list while the pass reads 10 copies of each picture, and with it off.
around() { # LABEL: median ms of `glimra capture full` and of `glimra list`, into $work/LABEL
    local captures=() lists=() t
    start
    for _ in $(seq "$runs"); do
        sleep 4 # a capture holds the pass back for 3 s: let it read again first
        t=$(date +%s%N) && "$glimra" capture full >/dev/null && captures+=($((($(date +%s%N) - t) / 1000000)))
        t=$(date +%s%N) && "$glimra" list >/dev/null && lists+=($((($(date +%s%N) - t) / 1000000)))
    done
    echo "$1 $(printf '%s\n' "${captures[@]}" | median) $(printf '%s\n' "${lists[@]}" | median) $(pending)" \
        >"$work/$1"
    stop
}
rm -rf "$library" "$XDG_CACHE_HOME/Glimra" && mkdir -p "$library"
for copy in $(seq 10); do
    for f in "$work"/pictures/*.png; do ln "$f" "$library/$(basename "$f" .png)_$copy.png"; done
done
around on
read -r _ cap_on list_on left <"$work/on"
mkdir -p "$XDG_CONFIG_HOME/Glimra"
echo "[General]" >"$XDG_CONFIG_HOME/Glimra/Glimra.conf"
echo "recogniseText=false" >>"$XDG_CONFIG_HOME/Glimra/Glimra.conf"
around off
read -r _ cap_off list_off _ <"$work/off"
echo "capture full: $cap_on ms while reading ($left left), $cap_off ms with recognition off;" \
    "list: $list_on ms, $list_off ms (load $(load))"
verdict "capture within 1.2x" "$(calc "int($cap_on <= 1.2 * $cap_off)")"
verdict "list within 1.2x" "$(calc "int($list_on <= 1.2 * max($list_off, 1))")"
exit $failed
