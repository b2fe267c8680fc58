#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Captures on a sway desktop with a 1x output and a 2x one beside it, taken by Glimra running
# natively on Wayland through the desktop's screenshot portal: the full screen is what grim
# sees, an area dragged on the overlays or a window clicked gives exactly that part, and each
# capture adds one library file with its thumbnail and leaves no portal file. Then every answer
# of a stand-in portal on a private bus, and a portal saving into the folder Glimra imports from.
#
# (KWin and GNOME Shell: wayland_kde_capture.py and wayland_gnome_capture.py.)
#
# Usage: wayland_capture.py GLIMRA GLIMRA_CAPTURE
# Runs inside `scripts/lib/wayland-session.sh --outputs 2`.

import hashlib
import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

glimra, tool = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="glimra-e2e-wayland-")
library, imported = f"{work}/data/Glimra", f"{work}/imported"

# (mode, drag or click in global logical pixels, part of grim's 3840x1440 picture expected)
CAPTURES = [
    ("full", None, (0, 0, 3840, 1440)),
    ("area", "100,50,1100,600", (200, 100, 2000, 1100)),
    ("area", "1600,300,1000,100", (2000, 200, 1200, 400)),  # across both, dragged backwards
    ("area", "1300,20,1900,350", (2600, 40, 1200, 660)),  # on the 2x output alone
    ("window", "300,200,300,200", None),  # a floating window, found in sway's tree
]
# (stand-in portal's answer, exit status, words on standard error, files it leaves)
ANSWERS = [
    ("save {work}/shot.png", 0, "", set()),
    ("cancel", 1, "", set()),
    ("fail", 2, "could not take the screenshot", set()),
    ("never", 2, "did not answer within 1 s", set()),
    ("link {work}/link.png", 2, "is a symbolic link", {"link.png"}),
    ("pipe {work}/pipe.png", 2, "is not a regular file", {"pipe.png"}),
    ("old {work}/old.png", 2, "is older than this capture", {"old.png"}),
]
FAKE_PORTAL = r'''
import dbus, dbus.service, os, shutil, sys
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Screenshot", in_signature="sa{sv}",
                         out_signature="o", sender_keyword="sender")
    def Screenshot(self, parent, options, sender):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (
            sender[1:].replace(".", "_"), options["handle_token"])
        answer = open(sys.argv[1]).read().split() + [""]
        if answer[0] in ("save", "old"):
            shutil.copy(sys.argv[2], answer[1])
        if answer[0] == "old":
            os.utime(answer[1], (0, 0))
        elif answer[0] == "link":
            os.symlink(sys.argv[2], answer[1])
        elif answer[0] == "pipe":
            os.mkfifo(answer[1])
        code = {"cancel": 1, "fail": 2}.get(answer[0], 0)
        signal = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
        signal.append(dbus.UInt32(code), dbus.Dictionary({"uri": "file://" + answer[1]}, "sv"))
        if answer[0] != "never":
            GLib.timeout_add(100, lambda: bus.send_message(signal))
        return dbus.ObjectPath(path)
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
Portal(bus, "/org/freedesktop/portal/desktop")
print("ready", flush=True)
GLib.MainLoop().run()
'''


def run(*args, env=None, check=True):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=90, check=check)


def wait_for(predicate, what):
    end = time.monotonic() + 30
    while not (value := predicate()):
        assert time.monotonic() < end, f"timed out waiting for {what}"
        time.sleep(0.1)
    return value


def assert_part(picture, part, captured, what):
    run("convert", picture, "-crop", "{2}x{3}+{0}+{1}".format(*part), "+repage", f"{work}/part.png")
    same = run("compare", "-metric", "AE", captured, f"{work}/part.png", "null:", check=False)
    assert same.stderr.strip() == "0", f"{what}: {same.stderr} pixels differ"


def app_capture(env, *modes):
    """Runs Glimra in env for `glimra capture MODE` of each mode; the library file each added."""
    env = dict(env, HOME=work, XDG_DATA_HOME=f"{work}/data", XDG_CONFIG_HOME=f"{work}/config",
               XDG_CACHE_HOME=f"{work}/cache", XDG_STATE_HOME=f"{work}/state")
    app = subprocess.Popen([glimra], env=env)
    paths = []
    try:
        wait_for(lambda: run(glimra, "status", env=env, check=False).returncode == 0, "glimra")
        for mode in modes:
            before = set(os.listdir(library)) if os.path.isdir(library) else set()
            result = run(glimra, "capture", mode, env=env, check=False)
            assert result.returncode == 0, result
            time.sleep(1.5)  # a second file, from an import of the portal's, would be there now
            assert "image/png" in run("wl-paste", "-l", check=False).stdout.split(), mode
            new = set(os.listdir(library)) - before
            assert len(new) == 1, f"one capture gave {new}"
            paths.append(f"{library}/{new.pop()}")
        return paths
    finally:
        run(glimra, "quit", env=env, check=False)
        app.wait(30)


def window_frame():
    subprocess.Popen(["weston-image", f"{work}/pattern.png"], stderr=subprocess.DEVNULL)
    app_id = "org.freedesktop.weston.wayland-image"
    wait_for(lambda: app_id in run("swaymsg", "-t", "get_tree").stdout, "the window")
    run("swaymsg", f"[app_id={app_id}] floating enable, resize set 500 300, move position 150 120")
    time.sleep(0.5)

    def find(node):
        if node.get("app_id") == app_id:
            return node["rect"]
        return next(filter(None, map(find, node["nodes"] + node["floating_nodes"])), None)

    rect = find(json.loads(run("swaymsg", "-t", "get_tree").stdout))
    return [2 * rect[k] for k in ("x", "y", "width", "height")]


def captures_on_sway():
    run("convert", "-size", "16x9", "xc:", "-sparse-color", "Bilinear",
        "0,0 red 15,0 blue 0,8 yellow 15,8 green", "-scale", "640x360", f"{work}/pattern.png")
    run("swaymsg", f"output * bg {work}/pattern.png fill")
    time.sleep(0.5)
    for mode, selection, part in CAPTURES:
        part = part or window_frame()
        run("grim", f"{work}/grim.png")
        path, = app_capture(dict(os.environ, QT_QPA_PLATFORM="wayland",
                                 GLIMRA_CAPTURE_TEST_SELECTION=selection or ""), mode)
        assert_part(f"{work}/grim.png", part, path, f"{mode} {selection}")
        uri = "file://" + urllib.parse.quote(path)
        thumbnail = f"{work}/cache/thumbnails/large/{hashlib.md5(uri.encode()).hexdigest()}.png"
        assert os.path.exists(thumbnail), f"{mode} {selection}: no thumbnail"
        assert not os.path.lexists("/tmp/out.png"), f"{mode} {selection}: portal file left"
    # No grabs on Wayland: the overlay must still hear Escape, through its focus.
    selecting = subprocess.Popen([tool, "-s", f"{work}/cancelled.png"], stderr=subprocess.PIPE)
    time.sleep(3)
    run("wtype", "-s", "1500", "-k", "Escape")  # its keyboard is new: let the overlay bind it
    assert selecting.wait(10) == 1 and not os.path.exists(f"{work}/cancelled.png")


def portal_answers():
    with open(f"{work}/bus.conf", "w") as conf:  # a bus that starts no real portal
        conf.write(f"<busconfig><type>session</type><listen>unix:dir={work}</listen><policy "
                   "context='default'><allow send_destination='*' eavesdrop='true'/><allow "
                   "eavesdrop='true'/><allow own='*'/></policy></busconfig>")
    bus = subprocess.Popen(["dbus-daemon", f"--config-file={work}/bus.conf", "--nofork",
                            "--print-address"], stdout=subprocess.PIPE, text=True)
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip(),
               GLIMRA_CAPTURE_BACKEND="portal", GLIMRA_PORTAL_TIMEOUT="1")
    result = run(tool, f"{work}/library.png", env=env, check=False)
    assert result.returncode == 2 and "no desktop portal is running" in result.stderr, result
    run("convert", "-size", "64x48", "xc:teal", f"{work}/teal.png")
    portal = subprocess.Popen(["/usr/bin/python3", "-c", FAKE_PORTAL, f"{work}/answer",
                               f"{work}/teal.png"], env=env, stdout=subprocess.PIPE, text=True)
    try:
        assert portal.stdout.readline().strip() == "ready"
        ours = set(os.listdir(work)) | {"answer"}
        for answer, status, words, left in ANSWERS:
            with open(f"{work}/answer", "w") as f:
                f.write(answer.format(work=work))
            result = run(tool, f"{work}/library.png", env=env, check=False)
            assert result.returncode == status and words in result.stderr, (answer, result)
            assert os.path.exists(f"{work}/library.png") == (status == 0), answer
            saved = {"library.png"} if status == 0 else set()
            assert set(os.listdir(work)) - ours == left | saved, answer
            for name in left | {"library.png"}:
                os.path.lexists(f"{work}/{name}") and os.remove(f"{work}/{name}")
        os.makedirs(imported)
        os.makedirs(f"{work}/config/Glimra", exist_ok=True)
        with open(f"{work}/config/Glimra/Glimra.conf", "w") as conf:
            conf.write(f"[General]\nscreenshotLocation={imported}\n")
        for attempt in range(3):
            with open(f"{work}/answer", "w") as f:
                f.write(f"save {imported}/Screenshot_{attempt}.png")
            app_capture(env, "full")
            assert not os.listdir(imported)
    finally:
        portal.kill()
        bus.kill()


if __name__ == "__main__":
    captures_on_sway()
    portal_answers()
    print("wayland captures: all cases passed")
