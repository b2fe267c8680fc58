#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A fresh client's first full sync: N screenshot-like PNGs of about 1 MB each wait on a
# glimra-server on loopback; a new glimra signs in and fetches them all. Beside it, curl
# --parallel fetching the same N files from the same server. Prints the times to the last
# file in place and to a `glimra list --json` that shows every one, glimra's peak resident
# memory, their ratios to curl, and PASS or FAIL for each aim. Then runs the server's own
# benchmark (bench/sync-server.sh) unless SKIP_SERVER_BENCH is set.
#
# Usage: bench/sync.sh [N]     (default 500)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-500}
scripts/deps.sh bench

build=${GLIMRA_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMRA_BUILD_TESTS=OFF \
    -DGLIMRA_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target glimra glimra-server >/dev/null
bin=$PWD/$build/bin

. scripts/lib/session.sh
session_begin glimra-syncbench
work=$session
session_home
# No session bus: the token goes to the private file of this throw-away home.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/glimra-no-bus
library=$XDG_DATA_HOME/Glimra
mkdir -p "$library" "$work/pngs" "$work/curl"

now() { date +%s.%N; }
peak_mb() { awk '/VmHWM/ {print int($2 / 1024)}' "/proc/$1/status"; }

echo "Making $count PNGs..."
python3 - "$work/pngs" "$count" <<'PY'
# 1280x800: flat window areas and text-like stripes that compress, a noisy photo band that
# does not; about 1 MB each, every file different.
import os, random, struct, sys, zlib
folder, count = sys.argv[1], int(sys.argv[2])
w, h = 1280, 800
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
for i in range(count):
    rng = random.Random(i)
    flat = bytes([rng.randrange(256) for _ in range(3)]) * w
    rows = []
    for y in range(h):
        if 500 <= y < 500 + 250:
            rows.append(b"\0" + os.urandom(w * 3))
        elif y % 18 < 3:
            rows.append(b"\0" + bytes(rng.randrange(256) for _ in range(64)) * (w * 3 // 64))
        else:
            rows.append(b"\0" + flat)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    with open(os.path.join(folder, "Glimra_2024-01-01_00-00-%04d.png" % i), "wb") as f:
        f.write(png)
PY
du -sm "$work/pngs" | awk -v n="$count" '{printf "files: %d, %d MB\n", n, $1}'

"$bin/glimra-server" --listen 127.0.0.1:0 --data "$work/server" >"$work/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/server.out" 2>/dev/null && break; sleep 0.05; done
origin=$(sed -n 's/.*listening on \(http:[^ ]*\).*/\1/p' "$work/server.out")
sync_url=$origin/glimra/api/sync.php

password='bench password 1'
token=$(curl -s "$origin/glimra/api/auth.php" -H 'Content-Type: application/json' \
    -d "{\"action\":\"register\",\"username\":\"bench\",\"email\":\"bench@example.org\",\"password\":\"$password\"}" |
    python3 -c 'import json, sys; print(json.load(sys.stdin)["token"])')
echo "Uploading..."
find "$work/pngs" -name '*.png' -print0 | xargs -0 -P 4 -I{} sh -c \
    'curl -sf -o /dev/null -F "token=$1" -F action=upload -F capture_type=fullscreen \
        -F "original_filename=$(basename "$2")" -F "file=@$2;type=image/png" "$3"' \
    _ "$token" {} "$sync_url"

# curl: every file of the listing, as many at once as curl likes.
curl -s "$sync_url" -H 'Content-Type: application/json' \
    -d "{\"action\":\"list\",\"token\":\"$token\"}" |
    python3 -c '
import json, sys, urllib.parse
token, url = sys.argv[1], sys.argv[2]
for r in json.load(sys.stdin)["screenshots"]:
    q = urllib.parse.urlencode({"action": "download", "token": token, "id": r["id"]})
    print("url = \"%s?%s\"\noutput = \"%s\"" % (url, q, r["original_filename"]))
' "$token" "$sync_url" >"$work/curl.conf"
sync
start=$(now)
/usr/bin/time -f %M -o "$work/curl.rss" curl -s --parallel --output-dir "$work/curl" \
    -K "$work/curl.conf"
curl_time=$(echo "$(now) - $start" | bc)
[ "$(ls "$work/curl" | wc -l)" -eq "$count" ] || { echo "curl fetched too few files"; exit 1; }

# glimra: a new client in an empty home signs in; its first full sync does the rest.
session_x
mkdir -p "$XDG_CONFIG_HOME/Glimra"
printf '[General]\nserverOrigin=%s\n' "$origin" >"$XDG_CONFIG_HOME/Glimra/Glimra.conf"
"$bin/glimra" >"$work/glimra.log" 2>&1 &
glimra_pid=$!
pids+=($glimra_pid)
until "$bin/glimra" list >/dev/null 2>&1; do sleep 0.05; done
sync
start=$(now)
printf '%s\n' "$password" | "$bin/glimra" login bench >/dev/null
files_time= list_time=
while [ -z "$list_time" ]; do
    if [ -z "$files_time" ] &&
        [ "$(find "$library" -maxdepth 1 -name '*.png' | wc -l)" -ge "$count" ]; then
        files_time=$(echo "$(now) - $start" | bc)
    fi
    if [ -n "$files_time" ] &&
        [ "$("$bin/glimra" list --json | grep -c '"syncStatus": "synced"')" -ge "$count" ]; then
        list_time=$(echo "$(now) - $start" | bc)
    fi
    sleep 0.05
done
glimra_rss=$(peak_mb "$glimra_pid")
cmp -s <(cd "$work/curl" && cat $(ls)) <(cd "$library" && cat $(ls)) ||
    echo "warning: glimra's files differ from curl's"
"$bin/glimra" quit

verdict() { awk -v v="$1" -v lim="$2" 'BEGIN {print (v <= lim ? "PASS" : "FAIL")}'; }
files_ratio=$(echo "scale=2; $files_time / $curl_time" | bc)
list_ratio=$(echo "scale=2; $list_time / $curl_time" | bc)
printf '\n%-40s %10s %14s\n' "full sync of $count files" "seconds" "peak RSS (MB)"
printf '%-40s %10.2f %14d\n' "curl --parallel: all files" "$curl_time" \
    "$(awk '{print int($1 / 1024)}' "$work/curl.rss")"
printf '%-40s %10.2f %14d\n' "glimra: last file in place" "$files_time" "$glimra_rss"
printf '%-40s %10.2f\n' "glimra: every item in list --json" "$list_time"
printf '\n%-52s %8s  %s\n' "last file in place, x curl (aim <= 1.5)" "$files_ratio" \
    "$(verdict "$files_ratio" 1.5)"
printf '%-52s %8s  %s\n' "every item listed, x curl (aim <= 3)" "$list_ratio" \
    "$(verdict "$list_ratio" 3)"
printf '%-52s %8s  %s\n' "glimra peak RSS in MB (aim < 150)" "$glimra_rss" \
    "$(verdict "$glimra_rss" 149)"

if [ -z "${SKIP_SERVER_BENCH:-}" ] && [ -x bench/sync-server.sh ]; then
    echo
    bench/sync-server.sh
fi
