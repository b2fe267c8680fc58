#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A person's first session with Glimra and a glimra-server of their own: open the popover from
the tray, create an account in the account popover, take a screenshot with the button, find it
on the server tab, delete it from the server, and quit from the settings.

Usage: popover_flow.py GLIMRA GLIMRA_SERVER
Runs inside the tests' desktop session (X with openbox and trayer, a D-Bus session)."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import urllib.request

from desktop_user import (App, accessibility_bus_up, centre, click, click_at, key,
                          private_home, start_server, type_text, wait_for, xdotool)

glimra, server_bin = sys.argv[1], sys.argv[2]
home, env = private_home("glimra-e2e-")
procs = []


def cleanup():
    for p in reversed(procs):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
    shutil.rmtree(home, ignore_errors=True)


def command(env, *args):
    return subprocess.run([glimra, *args], env=env, capture_output=True, text=True, timeout=30)


def tray_icon():
    """trayer embeds our icon; the icon is the small square at the right end of its panel."""
    shapes = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "trayer",
                             "getwindowgeometry", "--shell", "%@"], capture_output=True, text=True)
    rects = re.findall(r"X=(-?\d+)\nY=(-?\d+)\nWIDTH=(\d+)\nHEIGHT=(\d+)", shapes.stdout)
    return max((tuple(map(int, r)) for r in rects), key=lambda r: r[2], default=None)


def main():
    procs.append(start_server(server_bin, home))
    os.makedirs(f"{home}/Pictures/Screenshots")

    accessibility_bus_up()
    app_proc = subprocess.Popen([glimra], env=env)
    procs.append(app_proc)
    wait_for(lambda: command(env, "status").returncode == 0, 30, "glimra to answer")
    app = App()
    wait_for(app.root, 30, "glimra on the accessibility bus")

    # 1. The tray icon opens the popover.
    x, y, w, h = wait_for(lambda: (r := tray_icon()) and r[2] >= 16 and r, what="the tray icon")
    icon = (x + w - h // 2, y + h // 2)
    click_at(*icon)
    app.find("No screenshots yet")

    # 2. Create an account in the account popover.
    click(app.find("Account", "push button"))
    click(app.find("Don't have an account? Register", "push button"))
    for field, text in [("Username", "ann"), ("Email", "ann@example.org"),
                        ("Password", "correct horse battery")]:
        click(app.find(field))
        type_text(text)
    click(app.find("Register", "push button"))
    app.find("Sign Out", "push button", timeout=30)
    key("Escape")
    wait_for(lambda: not app.shown("Sign Out"), what="the account popover to close")

    # 3. A capture with the button: the popover makes way, the screenshot lands in the library.
    click(app.find("Full Screen", "push button"))
    wait_for(lambda: "1 screenshots" in [n for _, n in app.names()] or
             command(env, "list").stdout.count("\n") >= 1, 30, "the capture")
    wait_for(lambda: command(env, "server-list").stdout.strip(), 30, "the upload")

    # 4. The server tab lists it after a refresh.
    if not app.shown("Server"):
        click_at(*icon)
    click(app.find("Server", "page tab"))
    click(app.find("Refresh", "push button"))
    row = app.find("Glimra_*", "list item", timeout=30)

    # 5. A share link from the row's menu lands on the clipboard and shows the picture.
    click(row, button=3)
    key("Up")  # a highlighted entry shows the menu to a screen reader
    click(app.find("Copy Share Link", "menu item"))
    key("Up", "Return")  # the submenu's last entry: a link that never expires
    link = wait_for(lambda: (t := subprocess.run(
        ["xclip", "-selection", "clipboard", "-o"], capture_output=True, text=True,
        env=env).stdout).startswith("http") and t, 30, "the share link on the clipboard")
    with urllib.request.urlopen(link, timeout=30) as page, \
            open(json.loads(command(env, "list", "--json").stdout)[0]["path"], "rb") as shot:
        assert page.read() == shot.read(), "the link shows another picture"

    # 6. Delete it from the server through the row's menu (a new row: the list was read again).
    click(app.find("Glimra_*", "list item", timeout=30), button=3)
    key("Up")  # the menu's last entry; the highlight shows the menu to a screen reader
    click(app.find("Delete from Server", "menu item"))
    app.find("No screenshots on server", timeout=30)
    assert command(env, "server-list").stdout.strip() == "", "the record is still on the server"

    # 7. Quit from the settings.
    click(app.find("Settings", "push button"))
    # The settings scroll; the quit button is at the end.
    x, y = centre(app.find("Window Tiling", "label"))
    xdotool("mousemove", "--sync", x, y)
    xdotool("click", "--repeat", 15, "--delay", 30, 5)
    click(app.find("Quit Glimra", "push button"))
    assert app_proc.wait(15) == 0, "glimra did not end cleanly"
    print("the popover flow passed")


if __name__ == "__main__" and len(sys.argv) > 2:
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        main()
    finally:
        cleanup()
