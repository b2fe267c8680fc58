#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a throw-away DESTDIR and checks that everything a desktop needs is
# where it looks for it, and that the desktop entry and the AppStream metadata are valid.
#   install-test.sh BUILD_DIR APP_ID WITH_SERVER(ON|OFF)
set -euo pipefail
build=$1 id=$2 with_server=$3
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null

expected=(usr/bin/glimra usr/libexec/glimra/glimra-instance usr/bin/glimra-capture
    usr/libexec/glimra/glimra-capture-select
    usr/libexec/glimra/glimra-text-reader
    "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/doc/glimra/copyright usr/share/doc/glimra/changelog.gz
    usr/share/man/man1/glimra.1.gz usr/share/man/man1/glimra-capture.1.gz)
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("usr/share/icons/hicolor/${s}x${s}/apps/$id.png"); done
[ "$with_server" = ON ] && expected+=(usr/bin/glimra-server usr/lib/systemd/user/glimra-server.service
    usr/lib/systemd/system/glimra-server.service usr/share/man/man1/glimra-server.1.gz)

failed=0
fail() { echo "FAIL: $*"; failed=1; }
for f in "${expected[@]}"; do [ -f "$dest/$f" ] || fail "missing $f"; done
for f in usr/bin/glimra usr/libexec/glimra/glimra-instance usr/bin/glimra-capture \
    usr/libexec/glimra/glimra-text-reader; do [ -x "$dest/$f" ] || fail "$f not executable"; done

# A PNG's width and height are big-endian words at bytes 16 and 20.
for s in "${sizes[@]}"; do
    png=$dest/usr/share/icons/hicolor/${s}x${s}/apps/$id.png
    [ -f "$png" ] || continue
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
    [ "$w x $h" = "$s x $s" ] || fail "$png is ${w}x${h}"
done
grep -q '<svg' "$dest/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the SVG icon is no SVG"

if [ "$with_server" = ON ]; then
    for kind in user system; do
        grep -qx 'ExecStart=/usr/bin/glimra-server .*' "$dest/usr/lib/systemd/$kind/glimra-server.service" ||
            fail "the $kind unit does not start the installed server"
    done
fi
# Installed, each program finds the helper it hands over to in libexec/glimra: without a
# display the helper starts and fails, where a missing one would not start at all.
run=$(mktemp -d)
HOME=$run XDG_RUNTIME_DIR=$run DISPLAY= WAYLAND_DISPLAY= timeout 20 "$dest/usr/bin/glimra" 2>&1 |
    grep 'could not be started' && fail "glimra did not find glimra-instance"
DISPLAY= timeout 20 "$dest/usr/bin/glimra-capture" -w "$run/x.png" 2>&1 |
    grep 'cannot start' && fail "glimra-capture did not find glimra-capture-select"
rm -rf "$run"
grep -qx 'Exec=glimra' "$dest/usr/share/applications/$id.desktop" || fail "Exec is not glimra"
grep -qx "Icon=$id" "$dest/usr/share/applications/$id.desktop" || fail "Icon is not $id"

desktop-file-validate "$dest/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$dest/usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate"
exit $failed
