#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on GNOME Shell 43 with the GNOME portal, which has no shortcuts portal and lets no
# client move windows: every shortcut row says what the user can do instead, and `glimra tile`
# says it cannot; `glimra capture full` adds one library file showing exactly the window on
# screen, leaves no portal file and reaches the clipboard; when the user has refused screenshots to applications, a
# capture fails and leaves nothing.
# Usage: wayland_gnome_capture.py GLIMRA. Skipped (77) when a part of the desktop is missing.

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wayland_desktop as desk  # noqa: E402

desk.enter("gnome", ["gnome-shell", "/usr/libexec/xdg-desktop-portal-gnome", "wl-paste",
                     "compare"])
glimra = sys.argv[1]
SET = "Set this shortcut in your desktop's keyboard settings: glimra "
NO_TILING = "Window tiling is not available on this desktop"
ROWS = {1: SET + "capture full", 2: SET + "capture area", 3: SET + "capture window",
        4: NO_TILING, 11: NO_TILING}
portal_files = ["~/Screenshot*.png", "~/Pictures/*.png", "~/Pictures/Screenshots/*"]


# What GNOME's portal asks the user once, answered ahead.
def allow_screenshots(answer):
    desk.run("gdbus", "call", "--session", "--dest", "org.freedesktop.impl.portal.PermissionStore",
             "--object-path", "/org/freedesktop/impl/portal/PermissionStore", "--method",
             "org.freedesktop.impl.portal.PermissionStore.SetPermission", "screenshot", "true",
             "screenshot", "", f"['{answer}']")


allow_screenshots("yes")
expected = desk.show_colours()
app = desk.start_glimra(glimra)
try:
    rows = lambda: desk.shortcuts(glimra)
    desk.wait_for(lambda: all(rows()[i]["reason"] == r for i, r in ROWS.items()), "the rows' reasons")
    assert not any(row["registered"] or row["via"] for row in rows().values()), rows()
    tile = desk.run(glimra, "tile", "left-half", check=False)
    assert (tile.returncode, tile.stderr + tile.stdout) == (1, NO_TILING + "\n"), tile
    desk.check_clipboard(desk.check_capture(lambda: desk.run(glimra, "capture", "full"), expected,
                                            portal_files))
    desk.check_area(glimra, expected, portal_files)
    allow_screenshots("no")
    before = desk.library()
    refused = desk.run(glimra, "capture", "full", check=False)
    # The portal answers a stored refusal as a failure (2), not as the user's cancel (1).
    assert refused.returncode == 2 and refused.stderr.startswith("Capture failed: "), refused
    assert desk.library() == before and not desk.glob_files(portal_files), refused
finally:
    desk.run(glimra, "quit", check=False)
    app.wait(30)
print("GNOME Shell: all checks passed")
