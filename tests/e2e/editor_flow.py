#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Marking up a screenshot as a person does: `glimra edit` on a library file, an arrow and a
redaction drawn with the mouse, Save and Copy; signed in to a glimra-server (when given), the
saved copy's upload and Replace Original of a synced file; then a delayed capture and ones
cancelled with Escape in the popover and with the popover closed.

Usage: editor_flow.py GLIMRA [GLIMRA_SERVER]
Runs inside the tests' desktop session (X with openbox and trayer, a D-Bus session)."""

import hashlib
import json
import os
import subprocess
import sys
import time

from desktop_user import (App, accessibility_bus_up, click, key, private_home, start_server,
                          wait_for, xdotool)

glimra, server_bin = sys.argv[1], (sys.argv[2:] or [None])[0]
home, env = private_home("glimra-e2e-editor-")
library = f"{home}/data/Glimra"
original = f"{library}/Glimra_2026-01-02_10-00-00.png"


def command(*args, timeout=60, input=None):
    return subprocess.run([glimra, *args], env=env, capture_output=True, text=True,
                          timeout=timeout, input=input)


def records(name):
    return [r for r in json.loads(command("server-list", "--json").stdout or "[]")
            if r["originalFilename"] == name]


def synced(path):
    items = json.loads(command("list", "--json").stdout)
    return any(i["path"] == path and i["syncStatus"] == "synced" for i in items)


def pixel(path, x, y):
    return subprocess.run(["convert", path, "-format", f"%[pixel:p{{{x},{y}}}]", "info:"],
                          capture_output=True, text=True, check=True).stdout


def drag(x0, y0, x1, y1):
    xdotool("mousemove", "--sync", x0, y0)
    xdotool("mousedown", 1)
    for step in range(1, 6):
        xdotool("mousemove", "--sync", x0 + (x1 - x0) * step // 5, y0 + (y1 - y0) * step // 5)
    xdotool("mouseup", 1)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    os.makedirs(library)
    subprocess.run(["convert", "-size", "600x400", "xc:#dde4ea", "-font", "DejaVu-Sans",
                    "-pointsize", "20", "-annotate", "+40+80", "token: sk-4f9a1c77e0",
                    original], check=True)
    before = digest(original)
    server = start_server(server_bin, home) if server_bin else None
    accessibility_bus_up()
    app_proc = subprocess.Popen([glimra], env=env)
    try:
        wait_for(lambda: command("status").returncode == 0, 30, "glimra to answer")
        if server:
            assert command("register", "ana", "ana@example.org",
                           input="correct horse battery\n").returncode == 0
            wait_for(lambda: synced(original), 30, "the original's upload")
        assert command("edit", original).returncode == 0
        app = App()
        canvas = app.find("Picture")
        ext = canvas.queryComponent().getExtents(0)
        x, y = ext.x, ext.y  # the picture at 1:1: it fits the window
        click(app.find("Arrow"))
        drag(x + 100, y + 300, x + 350, y + 150)
        click(app.find("Redact"))
        drag(x + 30, y + 50, x + 320, y + 95)
        click(app.find("Save"))
        wait_for(lambda: len(json.loads(command("list", "--json").stdout)) == 2, 15,
                 "the saved copy in the library")
        newest = json.loads(command("list", "--json").stdout)[0]["path"]
        assert newest != original and os.path.dirname(newest) == library, newest
        assert digest(original) == before, "the original file changed"
        for px, py in [(31, 51), (200, 70), (319, 94)]:
            assert pixel(newest, px, py) in ("black", "srgb(0,0,0)", "gray(0)"), (px, py)
        assert "255,0,0" in pixel(newest, 225, 225) or "red" in pixel(newest, 225, 225)

        if server:
            wait_for(lambda: synced(newest), 30, "the saved copy's upload")
            # Replace Original uploads the new picture, then deletes the old record.
            old_id = records(os.path.basename(original))[0]["id"]
            click(app.find("Replace Original"))
            click(app.find("Yes", "push button"))
            wait_for(lambda: digest(original) != before, 15, "the original replaced")
            wait_for(lambda: [r["id"] != old_id for r in records(os.path.basename(original))]
                     == [True], 30, "one record, the new one")

        click(app.find("Copy"))
        wait_for(lambda: "image/png" in subprocess.run(
            ["xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"],
            capture_output=True, text=True, env=env).stdout, 10, "image/png on the clipboard")

        # A delayed capture takes its picture after its time, not before.
        start = time.monotonic()
        taken = command("capture", "full", "--delay", "2")
        assert taken.returncode == 0 and time.monotonic() - start >= 2, taken
        # Escape in the open popover cancels a waiting one: exit 1.
        waiting = subprocess.Popen([glimra, "capture", "full", "--delay", "5"], env=env)
        subprocess.run([glimra], env=env, timeout=10)  # opens the popover
        app.find("Cancel")
        key("Escape")
        assert waiting.wait(timeout=10) == 1
        # With the popover closed, Escape is taken from the desktop for the countdown only.
        key("Escape")  # closes the popover
        waiting = subprocess.Popen([glimra, "capture", "full", "--delay", "5"], env=env)
        wait_for(lambda: "Capturing in 4" in command("status").stdout, 5, "the countdown")
        key("Escape")
        assert waiting.wait(timeout=10) == 1
    finally:
        command("quit")
        app_proc.wait(timeout=30)
        if server:
            server.terminate()
            server.wait(10)


if __name__ == "__main__":
    main()
    print("editor flow passed")
