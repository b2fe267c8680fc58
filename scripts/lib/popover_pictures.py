#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Opens the running Glimra's popover from the tray and saves a picture of each view, cropped
to the popover and any popup it has open: popover-local, -server, -settings, -account, -sign-in.
Usage: popover_pictures.py OUT_FOLDER TRAY_X TRAY_Y"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from desktop_user import App, centre, click, click_at, key, wait_for, xdotool  # noqa: E402

import pyatspi  # noqa: E402

out, tray = sys.argv[1], (int(sys.argv[2]), int(sys.argv[3]))
app = App()


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.x + e.width, e.y + e.height


def shoot(name, *windows):
    xdotool("mousemove", 5, 700)  # no hover highlight in the picture
    time.sleep(0.8)
    boxes = [extents(w) for w in windows]
    x0, y0 = min(b[0] for b in boxes), min(b[1] for b in boxes)
    x1, y1 = max(b[2] for b in boxes), max(b[3] for b in boxes)
    path = os.path.join(out, f"popover-{name}.png")
    subprocess.run(["import", "-window", "root", "-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}",
                    "+repage", path], check=True)
    print(path)


def popup_of(control):
    acc = control
    while acc.parent is not None and acc.parent.getRoleName() != "application":
        acc = acc.parent
    return acc


wait_for(app.root, 30, "glimra on the accessibility bus")
click_at(*tray)
popover = app.find("Glimra", "filler")
time.sleep(1.5)  # previews load in the background
shoot("local", popover)

click(app.find("Server", "page tab"))
app.find("Glimra_*", "list item", timeout=30)
shoot("server", popover)

click(app.find("Settings", "push button"))
shoot("settings", popover, popup_of(app.find("Screenshot Shortcuts", "label")))
key("Escape")

click(app.find("Local", "page tab"))
click(app.find("Account", "push button"))
shoot("account", popover, popup_of(app.find("Sign Out", "push button")))
click(app.find("Sign Out", "push button"))
shoot("sign-in", popover, popup_of(app.find("Username")))
key("Escape")
