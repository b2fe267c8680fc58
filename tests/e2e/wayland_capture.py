#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Captures on a sway desktop with a 1x output and a 2x one beside it, taken by Glimra running
natively on Wayland through the desktop's screenshot portal: `glimra capture full` gives the
pixels grim sees, an area dragged on the overlays gives exactly that part, a window clicked
gives its frame. Each capture adds exactly one library file, with its thumbnail, and leaves
no portal file behind.

Usage: wayland_capture.py GLIMRA
Runs inside `scripts/lib/wayland-session.sh --outputs 2`."""

import hashlib
import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

glimra = sys.argv[1]
work = tempfile.mkdtemp(prefix="glimra-e2e-wayland-")
library = f"{work}/data/Glimra"
portal_file = "/tmp/out.png"  # where the wlroots portal always writes

# (mode, drag or click in global logical pixels, the part of grim's picture expected).
# The picture is the whole 1920x720 layout at scale 2.
CASES = [
    ("full", None, (0, 0, 3840, 1440)),
    ("area", "100,50,1100,600", (200, 100, 2000, 1100)),
    ("area", "1600,300,1000,100", (2000, 200, 1200, 400)),  # across both, dragged backwards
    ("area", "1300,20,1900,350", (2600, 40, 1200, 660)),  # on the 2x output alone
    ("window", "300,200,300,200", None),  # the floating window, found in sway's tree
]


def run(*args, env=None, check=True):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=90, check=check)


def wait_for(predicate, timeout=30.0, what="condition"):
    end = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)
    return value


def environment(selection):
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=f"{work}/data",
               XDG_CONFIG_HOME=f"{work}/config", XDG_CACHE_HOME=f"{work}/cache",
               XDG_STATE_HOME=f"{work}/state", QT_QPA_PLATFORM="wayland")
    if selection:
        env["GLIMRA_CAPTURE_TEST_SELECTION"] = selection
    return env


def same_pixels(a, b):
    result = run("compare", "-metric", "AE", a, b, "null:", check=False)
    return result.stderr.strip() == "0"


def thumbnail(path):
    uri = "file://" + urllib.parse.quote(path)
    return f"{work}/cache/thumbnails/large/{hashlib.md5(uri.encode()).hexdigest()}.png"


def floating_window_frame():
    """A window of fixed content floating at a known place; its frame in picture pixels."""
    subprocess.Popen(["weston-image", f"{work}/pattern.png"], stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    wait_for(lambda: "wayland-image" in run("swaymsg", "-t", "get_tree").stdout,
             what="the window")
    run("swaymsg", "[app_id=org.freedesktop.weston.wayland-image] floating enable, resize set 500 300, "
        "move absolute position 150 120")
    time.sleep(0.5)

    def find(node):
        if node.get("app_id") == "org.freedesktop.weston.wayland-image":
            return node["rect"]
        return next(filter(None, map(find, node["nodes"] + node["floating_nodes"])), None)

    rect = find(json.loads(run("swaymsg", "-t", "get_tree").stdout))
    return tuple(2 * rect[k] for k in ("x", "y", "width", "height"))


def capture(mode, selection, expected, reference):
    env = environment(selection)
    app = subprocess.Popen([glimra], env=env)
    try:
        wait_for(lambda: run(glimra, "status", env=env, check=False).returncode == 0,
                 what="glimra to answer")
        before = set(os.listdir(library)) if os.path.isdir(library) else set()
        result = run(glimra, "capture", mode, env=env, check=False)
        assert result.returncode == 0, f"{mode} {selection}: {result.stdout} {result.stderr}"
        new = wait_for(lambda: set(os.listdir(library)) - before, what="the library file")
        time.sleep(0.5)  # a second file, if one came, would be there by now
        new = set(os.listdir(library)) - before
        assert len(new) == 1, f"{mode} {selection}: one capture gave {sorted(new)}"
        path = f"{library}/{new.pop()}"
        x, y, w, h = expected
        run("convert", reference, "-crop", f"{w}x{h}+{x}+{y}", "+repage", f"{work}/part.png")
        assert same_pixels(path, f"{work}/part.png"), \
            f"{mode} {selection}: wrong pixels " + run("identify", path, f"{work}/part.png").stdout
        assert os.path.exists(thumbnail(path)), f"{mode} {selection}: no thumbnail"
        assert not os.path.lexists(portal_file), f"{mode} {selection}: portal file left"
    finally:
        run(glimra, "quit", env=env, check=False)
        app.wait(30)


def main():
    run("convert", "-size", "16x9", "xc:", "-sparse-color", "Bilinear",
        "0,0 red 15,0 blue 0,8 yellow 15,8 green", "-scale", "640x360", f"{work}/pattern.png")
    run("swaymsg", f"output * bg {work}/pattern.png fill")
    time.sleep(0.5)
    for mode, selection, expected in CASES:
        if mode == "window":
            expected = floating_window_frame()
        run("grim", f"{work}/grim.png")
        capture(mode, selection, expected, f"{work}/grim.png")
    print("wayland capture: all cases passed")


if __name__ == "__main__":
    main()
