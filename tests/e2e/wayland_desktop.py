#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# What the runs on KDE Plasma and GNOME Shell share: entering the desktop's launcher, a window
# of known colours filling the screen, Glimra with its settings, and the check of a capture.
# Run as `wayland_desktop.py window`, this file is that window.

import glob
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.parse
from pathlib import Path

COLOURS = ["#ff0000", "#00ff00", "#0000ff", "#ffff00"]  # quadrants, by rows
HOME = os.environ["HOME"]
LIBRARY = Path(os.environ.get("XDG_DATA_HOME", "/nonexistent"), "Glimra")
AREA = (100, 50, 1100, 600)  # the drag fed to the selection overlays, in logical pixels


# Runs the calling test again inside the desktop's launcher, or skips it, naming the part
# of the desktop that is not installed.
def enter(desktop, parts):
    if "GLIMRA_WL_LOGS" in os.environ:
        return
    for part in parts:
        if not (shutil.which(part) or os.path.exists(part)):
            print(f"SKIP: {part} is not installed")
            sys.exit(77)
    launcher = str(Path(__file__).resolve().parents[2] / f"scripts/lib/{desktop}-session.sh")
    os.execv(launcher, [launcher, sys.executable, *sys.argv])


def run(*args, check=True):
    return subprocess.run(args, capture_output=True, text=True, timeout=90, check=check)


def wait_for(predicate, what, timeout=30):
    end = time.monotonic() + timeout
    while not (value := predicate()):
        assert time.monotonic() < end, f"timed out waiting for {what}"
        time.sleep(0.2)
    return value


# The same size, and no more pixels differ than the pointer covers: KWin's portal draws it.
def same_pixels(a, b):
    differ = run("compare", "-metric", "AE", a, b, "null:", check=False).stderr.strip()
    return differ.isdigit() and int(differ) <= 32 * 32


# The desktop's own picture of the screen, through the portal: the file it wrote.
def portal_screenshot():
    import dbus
    import dbus.mainloop.glib
    from gi.repository import GLib

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus, loop, answer = dbus.SessionBus(), GLib.MainLoop(), {}
    token, sender = f"reference{time.monotonic_ns()}", bus.get_unique_name()[1:].replace(".", "_")
    bus.add_signal_receiver(lambda code, results: (answer.update(results, code=code), loop.quit()),
                            "Response", "org.freedesktop.portal.Request",
                            path=f"/org/freedesktop/portal/desktop/request/{sender}/{token}")
    bus.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop").Screenshot(
        "", {"handle_token": token}, dbus_interface="org.freedesktop.portal.Screenshot")
    GLib.timeout_add_seconds(20, loop.quit)
    loop.run()
    assert answer.get("code") == 0, f"the desktop's own screenshot failed: {answer}"
    return urllib.parse.unquote(urllib.parse.urlparse(str(answer["uri"])).path)


# Opens the window of known colours and waits until the desktop's own screenshot is exactly
# that window; returns a picture of what it shows.
def show_colours():
    width, height = (int(v) // 2 for v in os.environ.get("GLIMRA_WL_OUTPUT", "1280x720").split("x"))
    expected, size = f"{HOME}/expected.png", ["-size", f"{width}x{height}"]
    run("convert", *size, f"xc:{COLOURS[0]}", f"xc:{COLOURS[1]}", "+append", "(", *size,
        f"xc:{COLOURS[2]}", f"xc:{COLOURS[3]}", "+append", ")", "-append", expected)
    subprocess.Popen([sys.executable, __file__, "window"],
                     env=dict(os.environ, GDK_BACKEND="wayland"))

    def shown():
        path = portal_screenshot()
        same = same_pixels(path, expected)
        os.remove(path)
        return same

    wait_for(shown, "the desktop to show the window of known colours")
    return expected


def start_glimra(glimra, settings=""):
    conf = Path(os.environ["XDG_CONFIG_HOME"], "Glimra/Glimra.conf")
    conf.parent.mkdir(parents=True, exist_ok=True)
    conf.write_text("[General]\n" + settings)
    with open(f"{os.environ['GLIMRA_WL_LOGS']}/glimra.log", "w") as log:
        app = subprocess.Popen([glimra], stdout=log, stderr=log, env=dict(
            os.environ, GLIMRA_CAPTURE_TEST_SELECTION=",".join(map(str, AREA))))
    wait_for(lambda: run(glimra, "status", check=False).returncode == 0, "glimra to answer")
    return app


def shortcuts(glimra):
    return {row["id"]: row for row in json.loads(run(glimra, "shortcuts", "--json").stdout)}


def library():
    return set(os.listdir(LIBRARY)) if LIBRARY.is_dir() else set()


def glob_files(patterns):
    return [f for pattern in patterns for f in glob.glob(os.path.expanduser(pattern))]


# Runs `start`, which begins a capture, and checks that it adds exactly one library file,
# showing `expected`, and leaves no file where the portal writes. (Its thumbnail, the same on
# every desktop, is checked on sway.)
def check_capture(start, expected, portal_files):
    before = library()
    start()
    wait_for(lambda: library() - before, "the library file")
    time.sleep(1)  # a second file, if one came, would be there by now
    new = library() - before
    assert len(new) == 1, f"one capture gave {sorted(new)}"
    path = str(LIBRARY / new.pop())
    assert same_pixels(path, expected), "wrong pixels: " + run("identify", path).stdout
    assert not glob_files(portal_files), f"the portal's file is left: {glob_files(portal_files)}"
    return path


# The capture is on the clipboard as a PNG of the same picture.
def check_clipboard(shot):
    wait_for(lambda: "image/png" in run("wl-paste", "-l", check=False).stdout.split(),
             "image/png on the clipboard")
    with open(f"{HOME}/pasted.png", "wb") as pasted:
        subprocess.run(["wl-paste", "-t", "image/png"], stdout=pasted, timeout=10, check=True)
    assert same_pixels(pasted.name, shot), "the clipboard holds another picture"


# An area capture through Glimra's own overlays gives the part of the screen dragged over.
def check_area(glimra, expected, portal_files):
    x1, y1, x2, y2 = AREA
    part = f"{HOME}/part.png"
    run("convert", expected, "-crop", f"{x2 - x1}x{y2 - y1}+{x1}+{y1}", "+repage", part)
    check_capture(lambda: run(glimra, "capture", "area"), part, portal_files)


def window():
    import gi

    gi.require_version("Gdk", "3.0")
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, Gtk

    css = Gtk.CssProvider()
    css.load_from_data(
        "".join(f"#q{i} {{ background: {c}; }}" for i, c in enumerate(COLOURS)).encode())
    Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, 800)
    grid = Gtk.Grid(row_homogeneous=True, column_homogeneous=True)
    for i in range(4):
        grid.attach(Gtk.Box(name=f"q{i}", hexpand=True, vexpand=True), i % 2, i // 2, 1, 1)
    win = Gtk.Window(title="colours")
    win.add(grid)
    win.fullscreen()
    win.show_all()
    Gtk.main()


if __name__ == "__main__" and sys.argv[1:] == ["window"]:
    window()
