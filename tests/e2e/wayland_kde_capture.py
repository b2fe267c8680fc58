#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Glimra on KDE Plasma (KWin with the KDE portal): the shortcuts are bound through the
# desktop's shortcuts portal; `glimra capture full` and the capture shortcut fired through
# kglobalaccel each add one library file showing exactly the window on screen, although the
# portal saves into the folder Glimra imports from; the capture reaches the clipboard. A window
# capture is the desktop's own dialog, and closing it cancels the capture.
# Usage: wayland_kde_capture.py GLIMRA. Skipped (77) when a part of the desktop is missing.

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wayland_desktop as desk  # noqa: E402

desk.enter("kwin", ["kwin_wayland", "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde",
                    "/usr/lib/x86_64-linux-gnu/qt5/qml/org/kde/plasma/workspace/dialogs",
                    "wl-paste", "compare"])


def kwin_script(code):
    script = f"{desk.HOME}/script.js"
    with open(script, "w") as out:
        out.write(code)
    call = ["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", "/Scripting"]
    desk.run(*call, "org.kde.kwin.Scripting.loadScript", f"string:{script}",
             f"string:{time.time_ns()}")
    desk.run(*call, "org.kde.kwin.Scripting.start")


glimra = sys.argv[1]
expected = desk.show_colours()
app = desk.start_glimra(glimra, "screenshotLocation=~/Pictures\n")
portal_files = ["~/Pictures/*.png"]
try:
    desk.wait_for(lambda: all(row["via"] == "portal" and row["registered"]
                              for row in desk.shortcuts(glimra).values()), "the portal's bindings")
    desk.check_capture(lambda: desk.run(glimra, "capture", "full"), expected, portal_files)
    desk.check_area(glimra, expected, portal_files)
    fire_capture_shortcut = ["dbus-send", "--session", "--print-reply",
                             "--dest=org.kde.kglobalaccel", "/component/glimra",
                             "org.kde.kglobalaccel.Component.invokeShortcut", "string:1"]
    shot = desk.check_capture(lambda: desk.run(*fire_capture_shortcut), expected, portal_files)
    desk.check_clipboard(shot)
    before = desk.library()
    window = subprocess.Popen([glimra, "capture", "window"], stderr=subprocess.PIPE, text=True)
    desk.wait_for(lambda: kwin_script("""workspace.clientList().forEach(function (c) {
        if (c.caption.indexOf("Request screenshot") == 0) c.closeWindow(); });""")
                  or window.poll() is not None, "the desktop's dialog")
    assert (window.returncode, window.stderr.read()) == (1, "Capture cancelled\n")
    assert desk.library() == before and not desk.glob_files(portal_files)
finally:
    desk.run(glimra, "quit", check=False)
    app.wait(30)
print("KDE Plasma: all checks passed")
