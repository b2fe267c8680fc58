#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times glimra-capture against scrot and maim on the same busy screen, at 1920x1080 and at
# 3840x2160: median wall time and the user and system time of each tool, and the size of the
# PNG each writes. Then the whole road of a shortcut, `glimra capture full`, against the tool's
# own time in the same run. Runs in a private Xvfb, so the desktop it measures on is always
# the same. "wayland" does the same on a headless sway at 1920x1080: `glimra capture full`
# through the screenshot portal against grim (bench/capture-wayland.sh). Prints the ratios and
# PASS or FAIL for each aim; exits 1 when one is missed.
#
# Usage: bench/capture.sh [runs] [sizes...]
#        (default 20 runs per tool after 3 warm-up runs, sizes 1920x1080 3840x2160 wayland)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
shift || true
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1920x1080 3840x2160 wayland)
scripts/deps.sh bench

# GLIMRA_BENCH_BUILD: an existing release build folder, used as it is.
. scripts/lib/bench-build.sh
bench_build glimra-capture glimra-capture-select glimra
tool=$bin/glimra-capture
glimra=$bin/glimra

. scripts/lib/session.sh

# Draws a working day's desktop on $DISPLAY, scaled to the screen: a flat panel and wallpaper
# with a UI card, a dark terminal full of text, a photo and a light terminal. Everything shown
# is fixed (seeded noise, licence texts that ship with Debian), so figures from different days
# compare.
draw_desktop() {
    local w=$1 h=$2 work=$3
    local s=$((w / 1920))
    convert -size "${w}x${h}" xc:'#2b303b' \
        -fill '#1f232b' -draw "rectangle 0,$((h - 40 * s)) $w,$h" \
        -fill '#3b4252' \
        -draw "roundrectangle $((1480 * s)),$((700 * s)) $((1880 * s)),$((1010 * s)) 12,12" \
        -fill '#88c0d0' -draw "rectangle $((1500 * s)),$((720 * s)) $((1860 * s)),$((750 * s))" \
        -fill '#eceff4' -draw "rectangle $((1500 * s)),$((770 * s)) $((1860 * s)),$((990 * s))" \
        "$work/wallpaper.png"
    convert -seed 4 -size "$((900 * s))x$((600 * s))" plasma:'#4a7a3a'-'#c8a070' -blur 0x1 \
        \( -seed 9 -size "$((900 * s))x$((600 * s))" plasma:fractal -blur 0x3 \) \
        -compose overlay -composite "$work/photo.png"
    display -window root "$work/wallpaper.png" &
    pids+=($!)
    sleep 0.5
    local licenses=/usr/share/common-licenses
    xterm -geometry 118x62+0+0 -fa 'DejaVu Sans Mono' -fs $((9 * s)) \
        -e sh -c "head -300 $licenses/GPL-3; sleep 100000" &
    pids+=($!)
    xterm -geometry "84x20+$((760 * s))+$((700 * s))" -bg '#fafafa' -fg '#303030' \
        -fa 'DejaVu Sans Mono' -fs $((10 * s)) \
        -e sh -c "head -120 $licenses/Apache-2.0; sleep 100000" &
    pids+=($!)
    display -geometry "+$((880 * s))+$((60 * s))" -title photo "$work/photo.png" &
    pids+=($!)
    for _ in $(seq 100); do
        xdotool search --name '^photo$' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 1.5
}

# One screen size in its own session; appends "size tool median_ms user_ms system_ms bytes"
# rows to $results.
bench_size() {
    local size=$1
    session_begin glimra-bench
    local work=$session
    GLIMRA_SCREEN=$size session_x openbox
    draw_desktop "${size%x*}" "${size#*x}" "$work"
    [ -n "${GLIMRA_BENCH_KEEP_SCREEN:-}" ] &&
        import -window root "$GLIMRA_BENCH_KEEP_SCREEN.$size.png"

    hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/times.csv" \
        -n glimra-capture "$tool -x $work/glimra.png" \
        -n scrot "scrot -o $work/scrot.png" \
        -n maim "maim $work/maim.png" >"$work/hyperfine.log" 2>&1

    # `glimra capture full` until the item is in the library and on the clipboard, against a
    # running instance with a private home, timed beside the bare tool once more so both see
    # the same machine.
    session_home
    "$glimra" >"$work/glimra.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do "$glimra" list >/dev/null 2>&1 && break; sleep 0.1; done
    hyperfine --style basic -N -w 3 -r "$runs" --export-csv "$work/command.csv" \
        -n "glimra capture full" "$glimra capture full" \
        -n "tool beside it" "$tool -x $work/again.png" >"$work/hyperfine-command.log" 2>&1
    "$glimra" quit >/dev/null 2>&1 || true

    local identical=no
    [ "$(compare -metric AE "$work/glimra.png" "$work/scrot.png" null: 2>&1)" = 0 ] && identical=yes
    awk -F, -v size="$size" -v work="$work" -v identical="$identical" '
        FNR == 1 { next }
        {
            name = $1
            file = name == "glimra-capture" ? "glimra" : name
            bytes = 0
            if (name == "glimra-capture" || name == "scrot" || name == "maim") {
                cmd = "stat -c %s " work "/" file ".png"; cmd | getline bytes; close(cmd)
            }
            gsub(/ /, "_", name)
            printf "%s %s %.1f %.1f %.1f %d %s\n", size, name, $4 * 1000, $5 * 1000, $6 * 1000,
                bytes, identical
        }' "$work/times.csv" "$work/command.csv" >>"$results"
    session_end
    trap - EXIT
}

# The Wayland session has a /tmp of its own, so what it reads and writes lies in bench/out.
bench_wayland() {
    local out=$PWD/bench/out licenses=/usr/share/common-licenses
    mkdir -p "$out"
    : >"$out/wayland-results"
    convert -size 1920x1080 xc:'#2b303b' -fill '#1f232b' -draw 'rectangle 0,0 760,1040' \
        -font DejaVu-Sans-Mono -pointsize 12 -fill '#d8dee9' -annotate +8+16 "$(head -80 $licenses/GPL-3)" \
        \( -seed 4 -size 900x600 plasma:'#4a7a3a'-'#c8a070' -blur 0x1 \) -geometry +880+60 \
        -composite "$out/wayland-desktop.png"
    GLIMRA_WL_OUTPUT=1920x1080 scripts/lib/wayland-session.sh -- bench/capture-wayland.sh \
        "$runs" "$bin" "$out/wayland-desktop.png" "$out/wayland-results"
    cat "$out/wayland-results" >>"$results"
}

results=$(mktemp /tmp/glimra-bench-results.XXXXXX)
for size in "${sizes[@]}"; do
    if [ "$size" = wayland ]; then bench_wayland; else bench_size "$size"; fi
done

echo
echo "$runs runs per tool, $(nproc) cores; times are medians (wall) and means (user, system)"
status=0
awk -v runs="$runs" '
    { t[$1, $2] = $3; u[$1, $2] = $4; s[$1, $2] = $5; b[$1, $2] = $6; same[$1] = $7
      if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
    function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
    function verdict(ok) { failed += !ok; return ok ? "PASS" : "FAIL" }
    END {
        for (i = 1; i <= n; i++) {
            z = order[i]
            if (z == "wayland") {
                printf "\nsway, headless, 1920x1080, through the screenshot portal\n"
                printf "%-20s %9s %9s %9s %11s %10s\n", "command", "wall ms", "user ms",
                    "sys ms", "PNG bytes", "wall/grim"
                split("grim glimra_capture_full glimra-capture", names, " ")
                for (k = 1; k <= 3; k++) {
                    c = names[k]
                    printf "%-20s %9.1f %9.1f %9.1f %11s %10s\n", c, t[z, c], u[z, c], s[z, c],
                        b[z, c] ? b[z, c] : "-", ratio(t[z, c], t[z, "grim"])
                }
                printf "glimra-capture and grim images pixel-identical: %s\n", same[z]
                g = t[z, "glimra_capture_full"]; gr = t[z, "grim"]
                printf "aim: glimra capture full <= 1.5 x grim: %.2f x  %s\n", g / gr,
                    verdict(g <= 1.5 * gr)
                continue
            }
            printf "\nScreen %s\n", z
            printf "%-20s %9s %9s %9s %11s %10s %10s\n", "command", "wall ms", "user ms",
                "sys ms", "PNG bytes", "wall/scrot", "size/scrot"
            split("glimra-capture scrot maim glimra_capture_full tool_beside_it", names, " ")
            for (k = 1; k <= 5; k++) {
                c = names[k]
                printf "%-20s %9.1f %9.1f %9.1f %11s %10s %10s\n", c, t[z, c], u[z, c], s[z, c],
                    b[z, c] ? b[z, c] : "-", ratio(t[z, c], t[z, "scrot"]),
                    b[z, c] ? ratio(b[z, c], b[z, "scrot"]) : "-"
            }
            printf "glimra-capture and scrot images pixel-identical: %s\n", same[z]
            g = t[z, "glimra-capture"]; sc = t[z, "scrot"]
            printf "aim: capture wall <= 0.40 x scrot: %.2f x  %s\n", g / sc, verdict(g <= 0.4 * sc)
            gs = s[z, "glimra-capture"]; ss = s[z, "scrot"]
            printf "aim: capture system time < scrot: %.1f ms vs %.1f ms  %s\n", gs, ss,
                verdict(gs < ss)
            extra = t[z, "glimra_capture_full"] - t[z, "tool_beside_it"]
            printf "aim: glimra capture full <= tool + 40 ms: %.1f vs %.1f (+%.1f)  %s\n",
                t[z, "tool_beside_it"], t[z, "glimra_capture_full"], extra, verdict(extra <= 40)
        }
        exit failed ? 1 : 0
    }' "$results" || status=$?
rm -f "$results"
exit $status
