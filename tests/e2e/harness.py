"""A private desktop for driving the real program as a user does.

One test group runs in one private desktop: an Xvfb display, a window manager, a tray host,
a private D-Bus session bus and the accessibility bus on it. Every scenario gets its own
HOME and XDG folders. What the program shows is read through the accessibility interface,
the way a screen reader reads it; keys are typed through the X test extension.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

# Set by the runner before the tests load.
BINARY = os.environ.get("LISTRA_E2E_BINARY", "")

WAIT = float(os.environ.get("LISTRA_E2E_WAIT", "20"))

_atspi = None


def atspi():
    """The accessibility client library, connected on first use to this desktop's bus."""
    global _atspi
    if _atspi is None:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        Atspi.set_timeout(3000, 10000)
        _atspi = Atspi
    return _atspi


def wait_until(what, predicate, timeout=None, interval=0.1):
    """Polls predicate until it returns something true; fails the test with `what` otherwise."""
    deadline = time.monotonic() + (timeout if timeout is not None else WAIT)
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # the tree may change under us while it is read
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise AssertionError(f"timed out waiting for {what}{detail}")
        time.sleep(interval)


def run(args, check=True, timeout=30, env=None):
    result = subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                            env=env if env is not None else os.environ)
    if check and result.returncode != 0:
        raise RuntimeError(f"{args!r} failed ({result.returncode}): {result.stderr.strip()}")
    return result.stdout


# ---------------------------------------------------------------------------------------
# X windows and keys


def xdotool(*args, check=True):
    return run(["xdotool", *args], check=check)


def x_windows(pid, name="^Listra$", visible_only=True):
    """X windows of a process whose title matches `name` (a regular expression)."""
    args = ["search", "--all"]
    if visible_only:
        args.append("--onlyvisible")
    args += ["--pid", str(pid), "--name", name]
    out = xdotool(*args, check=False)
    return [int(w) for w in out.split()]


def tray_icons(pid):
    """The program's icons in the notification area: small visible windows of the process
    that the tray host has taken in."""
    out = xdotool("search", "--all", "--onlyvisible", "--pid", str(pid), "--class", "listra",
                  check=False)
    icons = []
    for wid in (int(w) for w in out.split()):
        info = run(["xwininfo", "-id", str(wid), "-tree"], check=False)
        x, y, width, height = window_geometry(wid)
        if width <= 64 and height <= 64 and "Parent window id" in info \
                and "(the root window)" not in info.split("Parent window id", 1)[1].splitlines()[0]:
            icons.append(wid)
    return icons


def is_viewable(wid):
    out = run(["xwininfo", "-id", str(wid)], check=False)
    return "Map State: IsViewable" in out


def window_geometry(wid):
    """Absolute position and size of the window's client area."""
    out = run(["xwininfo", "-id", str(wid)])
    values = {}
    for line in out.splitlines():
        line = line.strip()
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            if line.startswith(key + ":"):
                values[key] = int(line.split(":", 1)[1])
    return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
            values["Width"], values["Height"])


def title_bar(wid):
    """The title the window manager shows for a window."""
    out = run(["xprop", "-id", str(wid), "-notype", "_NET_WM_NAME"], check=False)
    if "=" not in out:
        return None
    import ast
    return ast.literal_eval(out.split("=", 1)[1].strip())


def active_window():
    out = xdotool("getactivewindow", check=False).strip()
    return int(out) if out else 0


def activate(wid):
    xdotool("windowactivate", "--sync", str(wid), check=False)
    wait_until(f"window {wid} to take the focus", lambda: active_window() == wid, timeout=10)


def key(*keys):
    """Presses and releases keys on the focused window, as a keyboard does."""
    xdotool("key", "--delay", "60", *keys)
    time.sleep(0.15)


def type_text(text):
    xdotool("type", "--delay", "40", "--", text)
    time.sleep(0.15)


# ---------------------------------------------------------------------------------------
# Accessibility


def role(acc):
    return acc.get_role_name()


def name(acc):
    return acc.get_name() or ""


def children(acc):
    result = []
    count = acc.get_child_count()
    for i in range(count):
        child = acc.get_child_at_index(i)
        if child is not None:
            result.append(child)
    return result


def states(acc):
    state_set = acc.get_state_set()
    return {s.value_nick for s in state_set.get_states()} if state_set else set()


def gone(acc):
    """True once a window is no longer on screen (closed, hidden or destroyed)."""
    try:
        current = states(acc)
    except Exception:
        return True
    return "showing" not in current or "defunct" in current


def text_of(acc):
    """The text an accessible shows: its name, or the contents of its text interface."""
    text_iface = acc.get_text_iface() if hasattr(acc, "get_text_iface") else None
    if text_iface is not None:
        count = text_iface.get_character_count()
        return text_iface.get_text(0, count)
    return name(acc)


def walk(acc, depth=0, max_depth=30):
    yield acc, depth
    if depth >= max_depth:
        return
    for child in children(acc):
        yield from walk(child, depth + 1, max_depth)


def find_all(root, predicate, max_depth=30):
    found = []
    for acc, _ in walk(root, max_depth=max_depth):
        try:
            if predicate(acc):
                found.append(acc)
        except Exception:
            pass
    return found


def find(root, predicate, max_depth=30):
    found = find_all(root, predicate, max_depth)
    return found[0] if found else None


def dump(acc, out=None, max_depth=12):
    lines = []
    for a, depth in walk(acc, max_depth=max_depth):
        try:
            lines.append("  " * depth + f"[{role(a)}] {name(a)!r} {sorted(states(a))}")
        except Exception as error:
            lines.append("  " * depth + f"<{error!r}>")
    text = "\n".join(lines)
    if out:
        with open(out, "w", encoding="utf-8") as f:
            f.write(text)
    return text


def application_of(pid):
    """The accessible application object of a process, or None while it is not registered."""
    desktop = atspi().get_desktop(0)
    for app in children(desktop):
        try:
            if app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


# ---------------------------------------------------------------------------------------
# The task file


def read_settings(path):
    """The settings file as {"Section/Key": text}; keys of the top level have no section."""
    from urllib.parse import unquote
    values = {}
    section = ""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = unquote(line[1:-1])
                section = "" if section == "General" else section
            elif "=" in line:
                k, v = line.split("=", 1)
                values[(section + "/" if section else "") + unquote(k.strip())] = v.strip()
    return values


def read_task_file(path):
    """The task file as (its raw bytes, its document element)."""
    import xml.etree.ElementTree as ET
    with open(path, "rb") as f:
        raw = f.read()
    return raw, ET.fromstring(raw)


def file_outline(element, depth=1):
    """The Task elements under `element` as (depth, Name, State, Expanded, Selected, documents),
    in document order; Selected is None where the attribute is absent."""
    rows = []
    for task in element.findall("Task"):
        documents = [d.get("FileName") for r in task.findall("RelatedDocuments")
                     for d in r.findall("Document")]
        rows.append((depth, task.get("Name"), task.get("State"), task.get("Expanded"),
                     task.get("Selected"), documents))
        rows.extend(file_outline(task, depth + 1))
    return rows


# ---------------------------------------------------------------------------------------
# The program under test


class Row:
    def __init__(self, text, depth, state_set, status, accessible):
        self.text = text
        self.depth = depth
        self.states = state_set
        self.status = status
        self.accessible = accessible

    def __repr__(self):
        return f"Row({self.depth}, {self.text!r}, {self.status!r})"


class Program:
    """One start of the real program, as a user starts it."""

    def __init__(self, sandbox, args=(), env=None):
        self.sandbox = sandbox
        self.args = list(args)
        self.env = dict(sandbox.env)
        if env:
            self.env.update(env)
        self.log_path = os.path.join(sandbox.root, f"listra-{len(sandbox.programs)}.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen([BINARY, *self.args], env=self.env, cwd=sandbox.home,
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        self.pid = self.process.pid
        sandbox.programs.append(self)

    # -- process

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=None):
        try:
            return self.process.wait(timeout=timeout if timeout is not None else WAIT)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program (pid {self.pid}) did not end")

    def kill(self):
        if self.running():
            try:
                os.killpg(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait(timeout=10)
        self.log.close()

    def output(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    # -- accessibility

    def app(self, timeout=None):
        return wait_until(f"the program (pid {self.pid}) on the accessibility bus",
                          lambda: application_of(self.pid), timeout)

    def frames(self):
        app = application_of(self.pid)
        if app is None:
            return []
        return [c for c in children(app) if role(c) in ("frame", "dialog", "window", "alert")]

    def frame(self, title, timeout=None, showing=True):
        """The top-level accessible with this title (a main window or a dialog)."""
        def look():
            for f in self.frames():
                if name(f) == title and (not showing or "showing" in states(f)):
                    return f
            return None
        return wait_until(f"a window titled {title!r}", look, timeout)

    def main_window(self, timeout=None):
        return self.frame("Listra", timeout)

    def tree(self, timeout=None):
        """The task tree control of the main window."""
        def look():
            frame = self.main_window(timeout)
            return find(frame, lambda a: role(a) in ("tree", "tree table") and name(a) == "Задачи")
        return wait_until("the task tree", look, timeout)

    def rows(self):
        """The rows the task tree shows, top to bottom.

        A row's depth is read from its indentation on the screen, as a sighted user sees it:
        every distinct left edge is one level further in."""
        tree = self.tree()
        cells = [c for c in children(tree) if role(c) in ("table cell", "tree item")]
        lefts = [c.get_extents(atspi().CoordType.SCREEN).x for c in cells]
        levels = sorted(set(lefts))
        return [Row(text_of(c), levels.index(x), states(c), c.get_description() or "", c)
                for c, x in zip(cells, lefts)]

    def outline(self):
        """The tree as (depth, text, status) triples, the way the tests describe it."""
        return [(r.depth, r.text, r.status) for r in self.rows()]

    def selected_text(self):
        selected = [r.text for r in self.rows() if "selected" in r.states]
        return selected[0] if len(selected) == 1 else None

    def wait_outline(self, expected, what="the tree"):
        """Waits until the tree shows exactly `expected`; on time-out the assertion says what
        it showed instead."""
        try:
            return wait_until(what, lambda: self.outline() == expected, timeout=10)
        except AssertionError:
            raise AssertionError(f"{what}: expected {expected}, shown {self.outline()}")

    def message_box(self, timeout=None):
        """The message box on screen: (its accessible, its text, its button names)."""
        box = wait_until("a message box", lambda: next(
            (f for f in self.frames() if role(f) == "alert" and "showing" in states(f)), None),
            timeout)
        labels = find_all(box, lambda a: role(a) == "label" and name(a))
        buttons = [name(b) for b in find_all(box, lambda a: role(a) == "push button")]
        return box, "\n".join(name(l) for l in labels), buttons

    def answer(self, button):
        """Answers the message box on screen with the keyboard: Tab to the button, Space."""
        box, _, names = self.message_box()
        if button not in names:
            raise AssertionError(f"the message box has no button {button!r}: {names}")
        for _ in range(len(names) + 2):
            target = find(box, lambda a: role(a) == "push button" and name(a) == button)
            if target is not None and "focused" in states(target):
                break
            key("Tab")
        else:
            raise AssertionError(f"the button {button!r} never took the focus")
        key("space")
        wait_until("the message box to close", lambda: gone(box), timeout=10)

    def main_x_window(self):
        return self.x_window()

    def focus_main(self):
        """Makes the main window the active one, as clicking its title bar would."""
        wid = self.x_window()
        activate(wid)
        return wid

    def wait_main_active(self):
        wid = self.x_window()
        wait_until("the main window to be active again", lambda: active_window() == wid, 10)
        return wid

    def select(self, text):
        """Selects a task with the arrow keys, the way a keyboard user does."""
        def index_of(t):
            for i, r in enumerate(self.rows()):
                if r.text == t:
                    return i
            raise AssertionError(f"no row {t!r} in {self.outline()}")
        target = index_of(text)
        for _ in range(50):
            current = next((i for i, r in enumerate(self.rows()) if "selected" in r.states), 0)
            if current == target:
                return
            key("Down" if current < target else "Up")
        raise AssertionError(f"could not select {text!r}")

    def add_task(self, text, beside=False):
        """Adds a task with Ins (a sub-task) or Ctrl+Ins (beside the selected one)."""
        key("ctrl+Insert" if beside else "Insert")
        dialog = self.frame("Новая задача" if beside else "Новая подзадача")
        editor = wait_until("the task text box", lambda: find(
            dialog, lambda a: name(a) == "Текст задачи" and "focused" in states(a)))
        type_text(text)
        wait_until(f"the text {text!r} in the editor", lambda: text_of(editor) == text, 10)
        key("Return")
        wait_until("the editor to close", lambda: gone(dialog), 10)
        self.wait_main_active()
        wait_until(f"the new task {text!r} selected", lambda: self.selected_text() == text, 10)

    # -- X windows

    def x_window(self, title="^Listra$", timeout=None):
        return wait_until(f"a visible X window titled {title}",
                          lambda: (x_windows(self.pid, title) or [None])[0], timeout)

    def dump(self, path=None):
        app = application_of(self.pid)
        return dump(app, path) if app else "<not on the accessibility bus>"


class Sandbox:
    """A user of their own: HOME, XDG folders and the programs started in them."""

    def __init__(self, label="user"):
        # Kept short: the activation socket lives in the runtime folder, and a Unix socket's
        # path may not exceed 107 bytes.
        self.root = tempfile.mkdtemp(prefix="le2e-")
        with open(os.path.join(self.root, "scenario"), "w") as f:
            f.write(label + "\n")
        self.home = os.path.join(self.root, "home")
        self.data_home = os.path.join(self.home, ".local", "share")
        self.config_home = os.path.join(self.home, ".config")
        self.cache_home = os.path.join(self.home, ".cache")
        self.runtime_dir = os.path.join(self.root, "runtime")
        for folder in (self.home, self.data_home, self.config_home, self.cache_home):
            os.makedirs(folder, exist_ok=True)
        os.makedirs(self.runtime_dir, mode=0o700, exist_ok=True)
        os.chmod(self.runtime_dir, 0o700)
        self.programs = []
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_DATA_HOME": self.data_home,
            "XDG_CONFIG_HOME": self.config_home,
            "XDG_CACHE_HOME": self.cache_home,
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "DISPLAY": os.environ["DISPLAY"],
            "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"],
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "1",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        }

    @property
    def data_dir(self):
        return os.path.join(self.data_home, "Graywick", "Listra")

    @property
    def task_file(self):
        return os.path.join(self.data_dir, "Tasks.XML")

    @property
    def config_file(self):
        return os.path.join(self.config_home, "Graywick", "Listra.conf")

    def write_config(self, text):
        os.makedirs(os.path.dirname(self.config_file), exist_ok=True)
        with open(self.config_file, "w", encoding="utf-8") as f:
            f.write(text)

    def write_task_file(self, data):
        os.makedirs(self.data_dir, exist_ok=True)
        mode = "wb" if isinstance(data, bytes) else "w"
        with open(self.task_file, mode, **({} if mode == "wb" else {"encoding": "utf-8"})) as f:
            f.write(data)

    def start(self, *args, env=None):
        return Program(self, args, env)

    def close(self):
        for program in self.programs:
            program.kill()
        if os.environ.get("LISTRA_E2E_KEEP"):
            print(f"kept {self.root}")
        else:
            shutil.rmtree(self.root, ignore_errors=True)


class Scenario(unittest.TestCase):
    """Base of every scenario: a fresh user, cleaned up afterwards; on failure the
    accessibility tree and the program's output are printed."""

    def setUp(self):
        self.sandbox = Sandbox(self._testMethodName)

    def tearDown(self):
        failed = self._outcome_failed()
        if failed:
            for program in self.sandbox.programs:
                print(f"--- program pid {program.pid} {program.args} "
                      f"({'running' if program.running() else 'ended'})")
                if program.running():
                    try:
                        print(program.dump())
                    except Exception as error:
                        print(f"<dump failed: {error!r}>")
                print(program.output())
        self.sandbox.close()

    def _outcome_failed(self):
        outcome = getattr(self, "_outcome", None)
        if outcome is None:
            return False
        result = getattr(outcome, "result", None)
        if result is not None:
            for test, _ in list(result.failures) + list(result.errors):
                if test is self:
                    return True
        errors = getattr(outcome, "errors", None)
        if errors:
            return any(exc is not None for _, exc in errors)
        return False

    def start(self, *args, env=None):
        return self.sandbox.start(*args, env=env)
