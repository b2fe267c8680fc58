#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The editor against its aims on a 4K (3840x2160) screen-like picture, in a private X server.
# Prints each figure, the ratio to its peer measured in the same run, and PASS or FAIL:
#   - opening (decoding the file, building the window, its first painted frame): under 300 ms;
#   - frame time while a mark is dragged at 1:1: median under 16 ms;
#   - a save (rendering the marks and encoding): within 1.2x of glimra-capture's own PNG
#     encode of the same picture; Qt's PNG writer is shown as a peer too.
#
# Usage: bench/editor.sh [runs]     (default: 5)
# GLIMRA_BENCH_BUILD: an existing build folder configured with GLIMRA_BENCH=ON, used as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scripts/deps.sh bench

. scripts/lib/bench-build.sh
bench_build glimra-bench-editor
bench=$bin/glimra-bench-editor

. scripts/lib/session.sh
session_begin glimra-editorbench
session_home
GLIMRA_SCREEN=1920x1080 session_x openbox
failed=0
verdict() { # NAME OK(1|0)
    if [ "$2" = 1 ]; then echo "PASS $1"; else echo "FAIL $1"; failed=1; fi
}
calc() { python3 -c "print($1)"; }
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

"$bench" "$runs" >"$session/figures"
figure() { awk -v n="$1" '$1 == n {print $2}' "$session/figures"; }
open=$(figure open_to_first_frame_ms)
frame=$(figure drag_frame_median_ms)
save=$(figure save_render_and_encode_ms)
capture=$(figure capture_encode_ms)
qt=$(figure qt_png_writer_ms)
echo "open to first frame: $open ms"
echo "drag frame: median $frame ms, 95th percentile $(figure drag_frame_p95_ms) ms"
echo "save (render and encode): $save ms; glimra-capture's encode $capture ms" \
    "(ratio $(calc "round($save / $capture, 2)")); Qt's PNG writer $qt ms" \
    "(ratio $(calc "round($save / $qt, 2)"))"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
verdict "open under 300 ms" "$(calc "int($open < 300)")"
verdict "drag frame under 16 ms" "$(calc "int($frame < 16)")"
verdict "save within 1.2x of the capture encode" "$(calc "int($save <= 1.2 * $capture)")"
exit $failed
