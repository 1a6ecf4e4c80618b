"""A private X desktop for driving the program: Xvfb, a window manager, a notification area,
a private D-Bus session bus and the accessibility bus on it.

Two halves, because the bus must exist before the process that reads the accessibility tree
starts: `run_in_private_desktop` starts the display and runs a command under its own
dbus-run-session; that command calls `start_session` first and `stop_session` last.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = ["Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop", "setxkbmap",
         "dbus-run-session", "dbus-send"]
SCREEN = "1280x800x24"

# What the private bus and its services say about themselves on every start.
NOISE = ("dbus-daemon[", "SpiRegistry daemon is running", "Openbox-Message:")


def missing_tools():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except Exception:
        missing.append("gir1.2-atspi-2.0 (python3-gi)")
    return missing


def _start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN,
         "-nolisten", "tcp", "-noreset", "+extension", "XTEST"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_fd)
    number = b""
    with os.fdopen(read_fd, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def _forward(stream, to):
    for line in iter(stream.readline, b""):
        text = line.decode("utf-8", "replace")
        if not text.startswith(NOISE):
            to.write(text)
            to.flush()


def run_in_private_desktop(argv, extra_env=None):
    """Runs argv on a new display under a private session bus; returns its exit code."""
    root = tempfile.mkdtemp(prefix="listra-desktop-")
    runtime = os.path.join(root, "runtime")
    os.makedirs(runtime, mode=0o700)
    xvfb, display = _start_xvfb()
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "HOME": root,
        "XDG_RUNTIME_DIR": runtime,
        "XDG_CONFIG_HOME": os.path.join(root, "config"),
        "XDG_DATA_HOME": os.path.join(root, "data"),
        "XDG_CACHE_HOME": os.path.join(root, "cache"),
        "LANG": "C.UTF-8",
        "NO_AT_BRIDGE": "0",
    })
    env.update(extra_env or {})
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    session = subprocess.Popen(["dbus-run-session", "--", *argv], env=env,
                               start_new_session=True, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    forwarders = [threading.Thread(target=_forward, args=(session.stdout, sys.stdout), daemon=True),
                  threading.Thread(target=_forward, args=(session.stderr, sys.stderr), daemon=True)]
    for forwarder in forwarders:
        forwarder.start()

    def stop(signum, _frame):
        for process in (session, xvfb):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        sys.exit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        code = session.wait()
        for forwarder in forwarders:
            forwarder.join(timeout=5)
    finally:
        try:
            os.killpg(session.pid, signal.SIGKILL)  # whatever the bus activated
        except ProcessLookupError:
            pass
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
        shutil.rmtree(root, ignore_errors=True)
    return code


def _wait_for(what, predicate, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    raise RuntimeError(f"{what} did not come up")


def _root_property(prop):
    result = subprocess.run(["xprop", "-root", prop], capture_output=True, text=True)
    return result.stdout if result.returncode == 0 and "not found" not in result.stdout else ""


def _selection_owned(selection):
    """True when some client owns the X selection (a tray host owns _NET_SYSTEM_TRAY_S0)."""
    xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XGetSelectionOwner.restype = ctypes.c_ulong
    xlib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(os.environ["DISPLAY"].encode())
    if not display:
        return False
    try:
        atom = xlib.XInternAtom(display, selection.encode(), 0)
        return xlib.XGetSelectionOwner(display, atom) != 0
    finally:
        xlib.XCloseDisplay(display)


def start_session():
    """Inside the private bus: the window manager, the keyboard, the notification area and
    the accessibility bus. Returns what stop_session ends."""
    helpers = []
    try:
        # The window manager: focus, minimise and activation requests as on a desktop.
        helpers.append(subprocess.Popen(
            ["openbox", "--sm-disable", "--config-file", os.path.join(HERE, "openbox-rc.xml")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        _wait_for("the window manager", lambda: _root_property("_NET_SUPPORTING_WM_CHECK"))
        # Russian beside English, so that typed Cyrillic text needs no key remapping.
        subprocess.run(["setxkbmap", "-layout", "us,ru"], capture_output=True, timeout=15)
        # A notification area, so that hiding to the tray is possible.
        helpers.append(subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
             "--height", "24", "--SetDockType", "true", "--transparent", "false"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        _wait_for("the notification area", lambda: _selection_owned("_NET_SYSTEM_TRAY_S0"))
        # The accessibility bus must be up before the program starts, or its bridge never
        # connects.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                       capture_output=True, timeout=15)
        sys.path.insert(0, HERE)
        import harness
        _wait_for("the accessibility bus", lambda: harness.atspi().get_desktop(0) is not None)
        return helpers
    except BaseException:
        stop_session(helpers)
        raise


def stop_session(helpers):
    for helper in helpers:
        helper.terminate()
    for helper in helpers:
        try:
            helper.wait(timeout=5)
        except subprocess.TimeoutExpired:
            helper.kill()
