#!/usr/bin/env bash
# Times glimra-capture against scrot and maim on the same busy 1920x1080 screen: median wall
# time over many runs and the size of the PNG each writes. Runs in a private Xvfb, so the
# desktop it measures on is always the same.
#
# Usage: bench/capture.sh [runs]     (default 20 runs per tool, after 3 warm-up runs)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
scripts/deps.sh bench

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target glimra-capture glimra >/dev/null
tool=$PWD/$build/bin/glimra-capture

. scripts/lib/session.sh
session_begin glimra-bench
work=$session
session_x openbox

# A desktop that looks like a working day: a flat panel and wallpaper with a UI card, a dark
# terminal full of text, a photo and a light terminal. Everything shown is fixed (seeded
# noise, licence texts that ship with Debian), so figures from different days compare.
convert -size 1920x1080 xc:'#2b303b' \
    -fill '#1f232b' -draw 'rectangle 0,1040 1920,1080' \
    -fill '#3b4252' -draw 'roundrectangle 1480,700 1880,1010 12,12' \
    -fill '#88c0d0' -draw 'rectangle 1500,720 1860,750' \
    -fill '#eceff4' -draw 'rectangle 1500,770 1860,990' \
    "$work/wallpaper.png"
convert -seed 4 -size 900x600 plasma:'#4a7a3a'-'#c8a070' -blur 0x1 \
    \( -seed 9 -size 900x600 plasma:fractal -blur 0x3 \) -compose overlay -composite \
    "$work/photo.png"
display -window root "$work/wallpaper.png" &
pids+=($!)
sleep 0.5
licenses=/usr/share/common-licenses
xterm -geometry 118x62+0+0 -fa 'DejaVu Sans Mono' -fs 9 \
    -e sh -c "head -300 $licenses/GPL-3; sleep 100000" &
pids+=($!)
xterm -geometry 84x20+760+700 -bg '#fafafa' -fg '#303030' -fa 'DejaVu Sans Mono' -fs 10 \
    -e sh -c "head -120 $licenses/Apache-2.0; sleep 100000" &
pids+=($!)
display -geometry +880+60 -title photo "$work/photo.png" &
pids+=($!)
for _ in $(seq 100); do xdotool search --name '^photo$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1.5
import -window root "$work/screen.png"
[ -n "${GLIMRA_BENCH_KEEP_SCREEN:-}" ] && cp "$work/screen.png" "$GLIMRA_BENCH_KEEP_SCREEN"

hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/times.csv" \
    -n glimra-capture "$tool -x $work/glimra.png" \
    -n scrot "scrot -o $work/scrot.png" \
    -n maim "maim $work/maim.png" >"$work/hyperfine.log" 2>&1

median_ms() { awk -F, -v n="$1" '$1 == n { printf "%.1f", $4 * 1000 }' "$work/times.csv"; }
size_of() { stat -c %s "$work/$1.png"; }

# The whole road of a shortcut: `glimra capture full` until the item is in the library and on
# the clipboard, against a running instance with a private home.
session_home
glimra=$PWD/$build/bin/glimra
"$glimra" >"$work/glimra.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do "$glimra" list >/dev/null 2>&1 && break; sleep 0.1; done
hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/command.csv" \
    -n "glimra capture full" "$glimra capture full" >"$work/hyperfine-command.log" 2>&1
c_ms=$(awk -F, -v n="glimra capture full" '$1 == n { printf "%.1f", $4 * 1000 }' "$work/command.csv")
"$glimra" quit >/dev/null 2>&1 || true

g_ms=$(median_ms glimra-capture) s_ms=$(median_ms scrot) m_ms=$(median_ms maim)
g_b=$(size_of glimra) s_b=$(size_of scrot) m_b=$(size_of maim)
identical=no
[ "$(compare -metric AE "$work/glimra.png" "$work/scrot.png" null: 2>&1)" = 0 ] && identical=yes

echo
echo "Screen 1920x1080, $runs runs per tool, $(nproc) cores"
printf '%-16s %12s %12s %10s %10s\n' tool 'median ms' 'PNG bytes' 'time/scrot' 'size/scrot'
for row in "glimra-capture $g_ms $g_b" "scrot $s_ms $s_b" "maim $m_ms $m_b"; do
    set -- $row
    printf '%-16s %12s %12s %10s %10s\n' "$1" "$2" "$3" \
        "$(awk -v a="$2" -v b="$s_ms" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="$3" -v b="$s_b" 'BEGIN { printf "%.2f", a / b }')"
done
echo "glimra-capture and scrot images pixel-identical: $identical"
echo "glimra capture full (command to item in library and clipboard): median $c_ms ms"
awk -v g="$g_ms" -v s="$s_ms" -v gb="$g_b" -v sb="$s_b" -v c="$c_ms" 'BEGIN {
    ok = (g <= 0.8 * s) && (gb <= 1.3 * sb) && (c <= 250)
    printf "targets (time <= 0.80 x scrot, size <= 1.30 x scrot, command <= 250 ms): %s\n", ok ? "met" : "MISSED"
    exit ok ? 0 : 1
}'
