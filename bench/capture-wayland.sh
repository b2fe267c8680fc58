#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Wayland half of bench/capture.sh, run by it inside scripts/lib/wayland-session.sh:
# `glimra capture full` (Glimra running natively, PNG library, through the screenshot portal,
# which runs grim itself) against grim of the same output, and the bare tool beside them.
# Appends "wayland NAME median_ms user_ms system_ms bytes identical" rows to RESULTS.
#
# Usage: bench/capture-wayland.sh RUNS BIN DESKTOP_PNG RESULTS
set -euo pipefail
runs=$1 bin=$2 desktop=$3 results=$4
work=$(mktemp -d)

swaymsg "output * bg $desktop fill" >/dev/null
sleep 1
# The bare tool first: the app reads the text of every capture in the background, which
# would weigh on whatever runs beside it.
hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/tool.csv" \
    -n grim "grim $work/grim.png" \
    -n "glimra-capture" "$bin/glimra-capture -x $work/tool.png" >"$work/hyperfine.log" 2>&1
"$bin/glimra" >"$work/glimra.log" 2>&1 &
for _ in $(seq 100); do "$bin/glimra" list >/dev/null 2>&1 && break; sleep 0.1; done
hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/command.csv" \
    -n "glimra capture full" "$bin/glimra capture full" >>"$work/hyperfine.log" 2>&1
"$bin/glimra" quit >/dev/null 2>&1 || true

identical=no
[ "$(compare -metric AE "$work/tool.png" "$work/grim.png" null: 2>&1)" = 0 ] && identical=yes
awk -F, -v work="$work" -v identical="$identical" '
    FNR == 1 { next }
    {
        name = $1
        bytes = 0
        file = name == "grim" ? "grim" : name == "glimra-capture" ? "tool" : ""
        if (file != "") { cmd = "stat -c %s " work "/" file ".png"; cmd | getline bytes; close(cmd) }
        gsub(/ /, "_", name)
        printf "wayland %s %.1f %.1f %.1f %d %s\n", name, $4 * 1000, $5 * 1000, $6 * 1000,
            bytes, identical
    }' "$work/tool.csv" "$work/command.csv" >>"$results"
rm -rf "$work"
