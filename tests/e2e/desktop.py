# SPDX-License-Identifier: MIT
"""The real program in a private X desktop, read through AT-SPI and driven with X test keys."""

import contextlib
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
except (ImportError, ValueError):
    Atspi = None

BINARY, WAIT = "", 20  # the program (set by the runner) and the longest wait in seconds
TOOLS = "Xvfb openbox trayer xdotool xwininfo setxkbmap dbus-run-session dbus-send xprop".split()


def missing_tools():
    return [t for t in TOOLS if not shutil.which(t)] + ([] if Atspi else ["gir1.2-atspi-2.0"])


def run(args, check=False):
    return subprocess.run(args, capture_output=True, text=True, timeout=30, check=check).stdout


def wait_until(what, predicate, timeout=None):
    # The accessibility tree may change while it is read: errors count as "not yet".
    deadline, error = time.monotonic() + (timeout or WAIT), None
    while time.monotonic() < deadline:
        try:
            if value := predicate():
                return value
        except Exception as e:
            error = e
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}" + (f" ({error!r})" if error else ""))


def run_in_private_desktop(argv, extra_env):
    root = tempfile.mkdtemp(prefix="listra-desktop-")
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp", "+extension", "XTEST"], pass_fds=(write_fd,),
                            stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        display = ":" + pipe.readline().strip()
    env = dict(os.environ, DISPLAY=display, HOME=root, XDG_RUNTIME_DIR=root, **extra_env)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    session = subprocess.Popen(["dbus-run-session", "--", *argv], env=env, start_new_session=True)
    try:
        return session.wait()
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(session.pid, signal.SIGKILL)  # whatever the bus started
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(root, ignore_errors=True)


def tray_host_up():
    x, ptr = ctypes.cdll.LoadLibrary("libX11.so.6"), ctypes.c_ulong
    x.XOpenDisplay.restype = x.XInternAtom.restype = x.XGetSelectionOwner.restype = ptr
    x.XInternAtom.argtypes = [ptr, ctypes.c_char_p, ctypes.c_int]
    x.XGetSelectionOwner.argtypes, x.XCloseDisplay.argtypes = [ptr, ptr], [ptr]
    display = x.XOpenDisplay(None)
    owner = x.XGetSelectionOwner(display, x.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0))
    x.XCloseDisplay(display)
    return owner


def start_session():
    # Inside the private bus: window manager, keyboard, tray host and accessibility bus.
    rc = os.path.join(os.path.dirname(__file__), "openbox-rc.xml")
    wm = None

    def wm_up():
        nonlocal wm
        if wm is None or wm.poll() is not None:  # a busy machine can lose the first try
            wm = subprocess.Popen(["openbox", "--sm-disable", "--config-file", rc], stderr=subprocess.DEVNULL)
        return "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])
    wait_until("the window manager", wm_up)
    run(["setxkbmap", "-layout", "us,ru"])  # typed Cyrillic needs the Russian layout
    subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right", "--SetDockType", "true"],
                     stderr=subprocess.DEVNULL)
    wait_until("the notification area", tray_host_up)
    # The accessibility bus must be up before a program starts, or its bridge never connects.
    run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], check=True)
    Atspi.set_timeout(3000, 10000)
    wait_until("the accessibility bus", lambda: Atspi.get_desktop(0))


def x_windows(pid, title="^Listra$", visible=True):
    out = run(["xdotool", "search", "--all", *(["--onlyvisible"] if visible else []),
               "--pid", str(pid), "--name", title])
    return [int(w) for w in out.split()]


def geometry(wid):
    info = dict(line.strip().split(": ", 1) for line in run(["xwininfo", "-id", str(wid)])
                .splitlines() if ": " in line)
    return tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def is_viewable(wid):
    return "Map State: IsViewable" in run(["xwininfo", "-id", str(wid)])


def tray_icons(pid):
    out = run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid),
               "--class", "listra"])
    return [w for w in map(int, out.split()) if max(geometry(w)[2:]) <= 64]


def key(*keys):
    run(["xdotool", "key", "--delay", "60", *keys], check=True)
    time.sleep(0.15)


def name(acc):
    return acc.get_name() or ""


def role(acc):
    return acc.get_role_name()


def children(acc):
    return [c for c in (acc.get_child_at_index(i) for i in range(acc.get_child_count())) if c]


def states(acc):
    return {s.value_nick for s in acc.get_state_set().get_states()}


def gone(acc):  # closed, hidden or destroyed
    with contextlib.suppress(Exception):
        return "showing" not in states(acc) or "defunct" in states(acc)
    return True


def text_of(acc):
    text = acc.get_text_iface()
    return text.get_text(0, text.get_character_count()) if text else name(acc)


def find_all(acc, predicate):
    return [acc] * bool(predicate(acc)) + [a for c in children(acc) for a in find_all(c, predicate)]


def find(acc, predicate):
    return next(iter(find_all(acc, predicate)), None)


def read_tasks(path):  # the tasks as (depth, Name, State, Expanded, Selected) in file order
    root = ET.parse(path).getroot()
    assert root.tag == "Tasks" and not root.attrib, root

    def rows(element, depth):
        return [row for task in element.findall("Task") for row in [(depth, *map(task.get, (
            "Name", "State", "Expanded", "Selected")))] + rows(task, depth + 1)]
    return rows(root, 1)


class Program:
    def __init__(self, user, args, env):
        self.args, self.log = args, os.path.join(user.root, f"{len(user.programs)}.log")
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen([BINARY, *args], env=env, cwd=user.home, stdout=log,
                                            stderr=subprocess.STDOUT)
        self.pid = self.process.pid

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=None):
        return self.process.wait(timeout=timeout or WAIT)

    def app(self):
        return next(a for a in children(Atspi.get_desktop(0)) if a.get_process_id() == self.pid)

    def window(self, what, predicate):
        return wait_until(what, lambda: next((f for f in children(self.app())
                                              if predicate(f) and "showing" in states(f)), None))

    def frame(self, title):
        return self.window(f"a window titled {title!r}", lambda f: name(f) == title)

    def main_window(self):
        return self.frame("Listra")

    def x_window(self, title="^Listra$"):
        return wait_until(f"{title} on screen", lambda: next(iter(x_windows(self.pid, title)), 0))

    def focus_main(self):  # as a click on its title bar does
        self.main_window()
        run(["xdotool", "windowactivate", "--sync", str(self.x_window())])
        return self.wait_active()

    def wait_active(self):
        wid = self.x_window()
        wait_until("the main window to be active",
                   lambda: run(["xdotool", "getactivewindow"]).strip() == str(wid), 10)
        return wid

    def cells(self):
        tree = wait_until("the task tree", lambda: find(self.main_window(), lambda a: role(a) in (
            "tree", "tree table") and name(a) == "Задачи"))
        return [c for c in children(tree) if role(c) in ("table cell", "tree item")]

    def outline(self):  # (depth, text, status) per row, as the row's description tells them
        rows = []
        for c in self.cells():
            *status, level = (c.get_description() or "").split(", ")
            depth = int(level.removeprefix("уровень ")) - 1 if level.startswith("уровень ") else -1
            rows.append((depth, text_of(c), ", ".join(status)))
        return rows

    def wait_outline(self, expected):
        with contextlib.suppress(AssertionError):
            return wait_until("the tree", lambda: self.outline() == expected, 10)
        raise AssertionError(f"expected the tree {expected}, shown {self.outline()}")

    def selected(self):
        chosen = [text_of(c) for c in self.cells() if "selected" in states(c)]
        return chosen[0] if len(chosen) == 1 else None

    def select(self, text):  # with the arrow keys
        target = [row[1] for row in self.outline()].index(text)
        for _ in range(30):
            current = next((i for i, c in enumerate(self.cells()) if "selected" in states(c)), 0)
            if current == target:
                return
            key("Down" if current < target else "Up")
        raise AssertionError(f"could not select {text!r}")

    def message_box(self):  # (accessible, text, button names)
        box = self.window("a message box", lambda f: role(f) == "alert")
        text = "\n".join(name(a) for a in find_all(box, lambda a: role(a) == "label" and name(a)))
        return box, text, [name(b) for b in find_all(box, lambda a: role(a) == "push button")]

    def answer(self, button):  # tabs to the button and presses Space
        box, _, buttons = self.message_box()
        assert button in buttons, buttons
        target = find(box, lambda a: role(a) == "push button" and name(a) == button)
        for _ in range(len(buttons) + 2):
            if "focused" not in states(target):
                key("Tab")
        key("space")
        wait_until("the message box to close", lambda: gone(box), 10)
        self.wait_active()

    def add_task(self, text, beside=False):  # Ins: a sub-task of the selected one; Ctrl+Ins: beside it
        key("ctrl+Insert" if beside else "Insert")
        dialog = self.frame("Новая задача" if beside else "Новая подзадача")
        editor = wait_until("the task text box", lambda: find(
            dialog, lambda a: name(a) == "Текст задачи" and "focused" in states(a)))
        run(["xdotool", "type", "--delay", "40", "--", text], check=True)
        wait_until(f"{text!r} typed", lambda: text_of(editor) == text, 10)
        key("Return")
        wait_until("the editor to close", lambda: gone(dialog), 10)
        self.wait_active()
        wait_until(f"{text!r} selected", lambda: self.selected() == text, 10)


class Scenario(unittest.TestCase):  # a fresh user with a HOME of its own, removed afterwards
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="le2e-")  # short: socket paths are limited
        self.home = os.path.join(self.root, "home")
        self.data_dir = os.path.join(self.home, ".local/share/Graywick/Listra")
        self.task_file = os.path.join(self.data_dir, "Tasks.XML")
        os.makedirs(self.home)
        os.makedirs(os.path.join(self.root, "runtime"), mode=0o700)
        self.env = dict(PATH=os.environ["PATH"], HOME=self.home, DISPLAY=os.environ["DISPLAY"],
                        XDG_RUNTIME_DIR=os.path.join(self.root, "runtime"), LC_ALL="C.UTF-8",
                        DBUS_SESSION_BUS_ADDRESS=os.environ["DBUS_SESSION_BUS_ADDRESS"],
                        QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.programs = []

    def tearDown(self):
        result = getattr(self._outcome, "result", None)  # none outside a test run
        failed = result and any(test is self for test, _ in result.failures + result.errors)
        for program in self.programs:
            program.process.kill()
            program.process.wait()
            if failed:
                with open(program.log, encoding="utf-8", errors="replace") as log:
                    print(f"--- pid {program.pid} {program.args}:\n{log.read()}")
        shutil.rmtree(self.root, ignore_errors=True)

    def start(self, *args, env=None):
        self.programs.append(Program(self, args, dict(self.env, **(env or {}))))
        return self.programs[-1]

    def write(self, relative, data):  # below HOME
        path = os.path.join(self.home, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
