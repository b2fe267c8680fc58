#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on GNOME Shell 43 with the GNOME portal: `glimra capture full` and an area capture
# each add one library file showing exactly the window on screen, leave no portal file, and
# reach the clipboard without a focused Glimra window; when the user has refused screenshots to
# applications, a capture fails and leaves nothing. (The shortcut rows and tiling there are
# checked by wayland_desk.sh.)
# Usage: wayland_gnome_capture.py GLIMRA. Skipped (77) when a part of the desktop is missing.

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wayland_desktop as desk  # noqa: E402

desk.enter("gnome", ["gnome-shell", "/usr/libexec/xdg-desktop-portal-gnome", "wl-paste",
                     "compare"])
glimra = sys.argv[1]
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
    desk.check_clipboard(desk.check_capture(lambda: desk.run(glimra, "capture", "full"), expected,
                                            portal_files))
    desk.check_area(glimra, expected, portal_files)
    allow_screenshots("no")
    before = desk.library()
    refused = desk.run(glimra, "capture", "full", check=False)
    # The portal answers a refusal as it answers a failure; Glimra tells them apart.
    assert (refused.returncode, refused.stderr) == (2, "Capture failed: the desktop's privacy "
                                                    "settings do not allow programs to take "
                                                    "screenshots\n"), refused
    assert desk.library() == before and not desk.glob_files(portal_files), refused
finally:
    desk.run(glimra, "quit", check=False)
    app.wait(30)
print("GNOME Shell: all checks passed")
