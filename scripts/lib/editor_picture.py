#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Opens a screenshot in the running Glimra's editor, draws a few marks with the mouse as a
person would (an arrow, a box, two step numbers and a redaction) and saves a
picture of the editor window.
Usage: editor_picture.py GLIMRA PICTURE OUT_PNG"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from desktop_user import App, click, click_at, xdotool  # noqa: E402

import pyatspi  # noqa: E402

glimra, picture, out = sys.argv[1:4]
app = App()
if app.shown("Full Screen"):
    subprocess.run([glimra], check=True, timeout=60)  # closes the popover, which stays on top
subprocess.run([glimra, "edit", picture], check=True, timeout=60)
canvas = app.find("Picture")
e = canvas.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def at(fx, fy):
    return e.x + int(e.width * fx), e.y + int(e.height * fy)


def drag(start, end):
    xdotool("mousemove", "--sync", *start)
    xdotool("mousedown", 1)
    for step in range(1, 8):
        xdotool("mousemove", "--sync", start[0] + (end[0] - start[0]) * step // 7,
                start[1] + (end[1] - start[1]) * step // 7)
    xdotool("mouseup", 1)


click(app.find("Rectangle"))
drag(at(0.22, 0.2), at(0.68, 0.68))
click(app.find("Arrow"))
drag(at(0.86, 0.86), at(0.66, 0.6))
click(app.find("Step Number"))
click_at(*at(0.2, 0.18))
click_at(*at(0.9, 0.9))
click(app.find("Redact"))
drag(at(0.72, 0.1), at(0.95, 0.16))
xdotool("mousemove", 5, 5)
time.sleep(0.8)
window = app.find("Screenshot Editor")
w = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
subprocess.run(["import", "-window", "root", "-crop", f"{w.width}x{w.height}+{w.x}+{w.y}",
                "+repage", out], check=True)
