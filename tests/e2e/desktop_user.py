# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the real Glimra the way a person does: finds controls by the names a screen reader
hears (AT-SPI), moves the pointer there and clicks with xdotool, and types with the keyboard."""

import os
import re
import subprocess
import tempfile
import time

import pyatspi
from gi.repository import GLib


def wait_for(predicate, timeout=15.0, what="condition"):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)


def private_home(prefix):
    """A throw-away home with its own XDG folders, and an environment that runs Glimra there on
    the tests' X server, heard on the accessibility bus."""
    home = tempfile.mkdtemp(prefix=prefix)
    env = dict(os.environ, HOME=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    for var, sub in [("XDG_DATA_HOME", "/data"), ("XDG_CONFIG_HOME", "/config"),
                     ("XDG_STATE_HOME", "/state"), ("XDG_CACHE_HOME", "/cache"),
                     ("XDG_RUNTIME_DIR", "/run")]:
        env[var] = home + sub
        os.makedirs(env[var], mode=0o700)
    env.pop("QT_QPA_PLATFORM", None)
    return home, env


def start_server(server_bin, home):
    """A glimra-server on a free port, with Glimra in that home set to use it."""
    server = subprocess.Popen([server_bin, "--listen", "127.0.0.1:0", "--data", f"{home}/server"],
                              stdout=subprocess.PIPE, text=True)
    try:
        line = wait_for(lambda: (l := server.stdout.readline()) and "listening on" in l and l,
                        what="the server to listen")
    except AssertionError:
        server.kill()
        raise
    origin = re.search(r"listening on (\S+)", line).group(1)
    os.makedirs(f"{home}/config/Glimra")
    with open(f"{home}/config/Glimra/Glimra.conf", "w") as conf:
        conf.write(f"[General]\nserverOrigin={origin}\n")
    return server


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=20)


def accessibility_bus_up():
    """The accessibility bus must run before an application starts, or it never registers."""
    pyatspi.Registry.getDesktop(0).childCount  # activates org.a11y.Bus on the session bus


class App:
    """Popup windows are not children of their application on the accessibility bus (a screen
    reader meets them through focus, as Orca does): the window of the last focused control is
    searched as well."""

    def __init__(self, name="Glimra"):
        self.name = name
        self.focused = None
        pyatspi.Registry.registerEventListener(self._on_focus, "object:state-changed:focused")

    def _on_focus(self, event):
        if event.detail1 and event.source is not None:
            self.focused = event.source

    def _pump(self):
        context = GLib.MainContext.default()
        while context.iteration(False):
            pass

    def _focused_window(self):
        acc = self.focused
        try:
            while acc is not None and acc.parent is not None and \
                    acc.parent.getRoleName() != "application":
                acc = acc.parent
        except Exception:
            return None
        return acc

    def root(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == self.name:
                return app
        return None

    def _walk(self, acc):
        yield acc
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            if child is not None:
                yield from self._walk(child)

    def controls(self, role=None):
        """Every control that is on screen now, with its role name."""
        self._pump()
        roots = [r for r in (self.root(), self._focused_window()) if r is not None]
        found = []
        for acc in (a for r in roots for a in self._walk(r)):
            try:
                states = acc.getState()
                if not states.contains(pyatspi.STATE_SHOWING):
                    continue
                if role and acc.getRoleName() != role:
                    continue
                found.append(acc)
            except Exception:  # a control that went away while we looked
                continue
        return found

    def find(self, name, role=None, timeout=15.0):
        def match():
            for acc in self.controls(role):
                if acc.name == name or (name.endswith("*") and acc.name.startswith(name[:-1])):
                    return acc
            return None

        try:
            return wait_for(match, timeout, f'"{name}" ({role or "any role"}) on screen')
        except AssertionError as error:
            raise AssertionError(f"{error}; on screen: {self.names()}") from None

    def shown(self, name, role=None):
        return any(acc.name == name for acc in self.controls(role))

    def names(self, role=None):
        return [(acc.getRoleName(), acc.name) for acc in self.controls(role)]


def centre(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ext.x + ext.width // 2, ext.y + ext.height // 2


def click_at(x, y, button=1, count=1):
    xdotool("mousemove", "--sync", x, y)
    xdotool("click", "--repeat", count, "--delay", 80, button)


def click(acc, button=1, count=1):
    x, y = centre(acc)
    click_at(x, y, button, count)


def type_text(text):
    xdotool("type", "--delay", 20, text)


def key(*keys):
    xdotool("key", *keys)
