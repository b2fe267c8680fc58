#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Finding screenshots by their words: pictures with known words arrive in the desktop's
screenshot folder of a running Glimra; `glimra search` finds exactly those, so does the
popover's search field, and "Copy Text" puts their words on the clipboard.

Usage: text_search.py GLIMRA
Runs inside the tests' desktop session (X with openbox and trayer, a D-Bus session)."""

import json
import os
import shutil
import subprocess
import sys

from desktop_user import (App, accessibility_bus_up, click, key, private_home, type_text,
                          wait_for)

glimra = sys.argv[1]
home, env = private_home("glimra-e2e-text-")
shots = f"{home}/Pictures/Screenshots"
os.makedirs(shots)


def command(*args):
    return subprocess.run([glimra, *args], env=env, capture_output=True, text=True, timeout=60)


def screen(name, lines):
    args = ["convert", "-size", "900x240", "xc:white", "-font", "DejaVu-Sans", "-pointsize", "15"]
    for i, line in enumerate(lines):
        args += ["-annotate", f"+24+{60 + 40 * i}", line]
    subprocess.run(args + [f"{home}/{name}"], check=True)
    os.rename(f"{home}/{name}", f"{shots}/{name}")  # whole, as a screenshot tool leaves it


def main():
    accessibility_bus_up()
    app_proc = subprocess.Popen([glimra], env=env)
    try:
        wait_for(lambda: command("status").returncode == 0, 30, "glimra to answer")
        screen("Screenshot_1.png", ["Invoice for the pineapple order", "Total due today"])
        screen("Screenshot_2.png", ["Weather report for Tuesday"])
        screen("Screenshot_3.png", ["PINEAPPLE delivery tracking"])

        def all_read():
            status = json.loads(command("status", "--json").stdout)
            return len(command("list").stdout.splitlines()) == 3 and status["textPending"] == 0
        wait_for(all_read, 60, "the three screenshots to be read")
        found = json.loads(command("search", "pineapple", "--json").stdout)
        assert len(found) == 2, found
        assert {"Invoice for the pineapple order", "PINEAPPLE delivery tracking"} == \
            {f["snippet"] for f in found}, found

        app = App()
        wait_for(app.root, 30, "glimra on the accessibility bus")
        command()  # a second glimra shows the popover
        app.find("Search screenshots")
        key("ctrl+f")
        type_text("invoice pine")
        app.find("1 of 3 screenshots")
        click(app.find("Screenshot of *", "list item"), button=3)
        key("Up")  # a highlighted entry shows the menu to a screen reader
        click(app.find("Copy Text", "menu item"))
        clip = lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"],
                                      capture_output=True, text=True).stdout
        wait_for(lambda: clip() == "Invoice for the pineapple order\nTotal due today",
                 15, "the text on the clipboard")
        assert command("quit").returncode == 0
        assert app_proc.wait(15) == 0, "glimra did not end cleanly"
    finally:
        if app_proc.poll() is None:
            app_proc.kill()
        shutil.rmtree(home, ignore_errors=True)
    print("the text search flow passed")


if __name__ == "__main__":
    main()
