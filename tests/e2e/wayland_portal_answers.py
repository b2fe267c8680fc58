#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The screenshot portal's every answer, from a stand-in portal on a private bus: a refusal
cancels, a failure, silence and a missing portal fail with a reason, a link in the picture's
place is neither followed nor removed; and a portal that saves into the folder Glimra imports
desktop screenshots from still gives one library file per capture.

Usage: wayland_portal_answers.py GLIMRA GLIMRA_CAPTURE
Runs inside `scripts/lib/wayland-session.sh`."""

import os
import subprocess
import sys
import tempfile
import time

glimra, tool = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="glimra-e2e-portal-")
answers = f"{work}/answer"
imported = f"{work}/Pictures"

FAKE_PORTAL = r'''
import dbus, dbus.service, os, shutil, sys
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
answers, picture = sys.argv[1], sys.argv[2]

class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Screenshot", in_signature="sa{sv}",
                         out_signature="o", sender_keyword="sender")
    def Screenshot(self, parent, options, sender):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (
            sender[1:].replace(".", "_"), options["handle_token"])
        answer = open(answers).read().split()
        if answer[0] != "never":
            GLib.timeout_add(100, self.answer, path, answer)
        return dbus.ObjectPath(path)

    def answer(self, path, answer):
        code, uri = {"cancel": (1, ""), "fail": (2, "")}.get(answer[0], (0, ""))
        if answer[0] == "save":
            shutil.copy(picture, answer[1])
            uri = "file://" + answer[1]
        elif answer[0] == "link":
            os.symlink(picture, answer[1])
            uri = "file://" + answer[1]
        signal = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
        signal.append(dbus.UInt32(code), dbus.Dictionary({"uri": uri}, signature="sv"))
        bus.send_message(signal)

name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
Portal(bus, "/org/freedesktop/portal/desktop")
print("ready", flush=True)
GLib.MainLoop().run()
'''

# (answer, exit status, words on standard error, files left in the work folder besides ours)
CASES = [
    ("save {work}/shot.png", 0, "", []),
    ("cancel", 1, "", []),
    ("fail", 2, "could not take the screenshot", []),
    ("never", 2, "did not answer within 1 s", []),
    ("link {work}/link.png", 2, "is a symbolic link", ["link.png"]),
]


def private_bus():
    """A bus that starts no services, so that no portal runs but ours."""
    with open(f"{work}/bus.conf", "w") as conf:
        conf.write(f"<busconfig><type>session</type><listen>unix:dir={work}</listen>"
                   "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                   "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>")
    daemon = subprocess.Popen(["dbus-daemon", f"--config-file={work}/bus.conf", "--nofork",
                               "--print-address"], stdout=subprocess.PIPE, text=True)
    return daemon, daemon.stdout.readline().strip()


def answer(text):
    with open(answers, "w") as f:
        f.write(text.format(work=work, imported=imported))


def main():
    os.makedirs(imported)
    subprocess.run(["convert", "-size", "64x48", "xc:teal", f"{work}/picture.png"], check=True)
    daemon, address = private_bus()
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, GLIMRA_CAPTURE_BACKEND="portal",
               GLIMRA_PORTAL_TIMEOUT="1")
    target = f"{work}/library.png"
    result = subprocess.run([tool, target], env=env, capture_output=True, text=True, timeout=30)
    assert result.returncode == 2 and "no desktop portal is running" in result.stderr, result

    portal = subprocess.Popen(["/usr/bin/python3", "-c", FAKE_PORTAL, answers,
                               f"{work}/picture.png"], env=env, stdout=subprocess.PIPE,
                              text=True)
    try:
        assert portal.stdout.readline().strip() == "ready"
        answer("cancel")
        for case, status, words, left in CASES:
            answer(case)
            result = subprocess.run([tool, target], env=env, capture_output=True, text=True,
                                    timeout=30)
            assert result.returncode == status and words in result.stderr, (case, result)
            assert os.path.exists(target) == (status == 0), case
            extra = {n for n in os.listdir(work) if not n.startswith("dbus-")} - {
                "answer", "bus.conf", "picture.png", "Pictures", "library.png"}
            assert extra == set(left), (case, extra)
            for name in ["library.png", *left]:
                if os.path.lexists(f"{work}/{name}"):
                    os.remove(f"{work}/{name}")
        one_library_file_when_the_portal_saves_into_the_imported_folder(env)
    finally:
        portal.kill()
        daemon.kill()
    print("portal answers: all cases passed")


def one_library_file_when_the_portal_saves_into_the_imported_folder(env):
    env = dict(env, HOME=work, XDG_DATA_HOME=f"{work}/data", XDG_CONFIG_HOME=f"{work}/config",
               XDG_CACHE_HOME=f"{work}/cache", XDG_STATE_HOME=f"{work}/state")
    os.makedirs(f"{work}/config/Glimra")
    with open(f"{work}/config/Glimra/Glimra.conf", "w") as conf:
        conf.write(f"[General]\nscreenshotLocation={imported}\n")
    app = subprocess.Popen([glimra], env=env)
    library = f"{work}/data/Glimra"
    try:
        for attempt in range(3):
            answer(f"save {{imported}}/Screenshot_{attempt}.png")
            before = set(os.listdir(library)) if os.path.isdir(library) else set()
            deadline = time.monotonic() + 30
            while subprocess.run([glimra, "status"], env=env).returncode and \
                    time.monotonic() < deadline:
                time.sleep(0.1)
            result = subprocess.run([glimra, "capture", "full"], env=env, capture_output=True,
                                    text=True, timeout=60)
            assert result.returncode == 0, result
            time.sleep(1.5)  # an import of the portal's file would have happened by now
            new = set(os.listdir(library)) - before
            assert len(new) == 1 and not os.listdir(imported), (new, os.listdir(imported))
    finally:
        subprocess.run([glimra, "quit"], env=env)
        app.wait(30)


if __name__ == "__main__":
    main()
