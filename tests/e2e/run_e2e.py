#!/usr/bin/python3
"""Runs one group of end-to-end scenarios against the built program in a private desktop.

    run_e2e.py --binary build/listra GROUP [TestClass.test_name ...]

GROUP names a module test_GROUP.py beside this file. The desktop (Xvfb, a window manager,
a tray host, a private D-Bus session bus with the accessibility bus) lives as long as the
group runs. Exit code 77 means a tool the desktop needs is missing.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
TOOLS = ["Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop", "dbus-run-session"]


def missing_tools():
    missing = [t for t in TOOLS if shutil.which(t) is None]
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except Exception:
        missing.append("gir1.2-atspi-2.0 (python3-gi)")
    return missing


def start_xvfb():
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
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


# What the private bus and its services say about themselves on every start.
NOISE = ("dbus-daemon[", "SpiRegistry daemon is running", "Openbox-Message:")


def forward_stderr(stream):
    for line in iter(stream.readline, b""):
        text = line.decode("utf-8", "replace")
        if not text.startswith(NOISE):
            sys.stderr.write(text)
            sys.stderr.flush()


def outer(args):
    missing = missing_tools()
    if missing:
        print("end-to-end tests skipped, missing: " + ", ".join(missing)
              + " (scripts/install-deps.sh installs them)")
        return SKIP

    root = tempfile.mkdtemp(prefix="listra-e2e-desktop-")
    runtime = os.path.join(root, "runtime")
    os.makedirs(runtime, mode=0o700)
    xvfb, display = start_xvfb()
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "HOME": root,
        "XDG_RUNTIME_DIR": runtime,
        "XDG_CONFIG_HOME": os.path.join(root, "config"),
        "XDG_DATA_HOME": os.path.join(root, "data"),
        "XDG_CACHE_HOME": os.path.join(root, "cache"),
        "LISTRA_E2E_BINARY": os.path.abspath(args.binary),
        "LISTRA_E2E_INNER": "1",
        "LANG": "C.UTF-8",
        "NO_AT_BRIDGE": "0",
    })
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    inner = subprocess.Popen(
        ["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
         "--binary", args.binary, args.group, *args.tests],
        env=env, start_new_session=True, stderr=subprocess.PIPE)
    forwarder = threading.Thread(target=forward_stderr, args=(inner.stderr,), daemon=True)
    forwarder.start()

    def stop(signum, _frame):
        for process in (inner, xvfb):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        sys.exit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        code = inner.wait()
        forwarder.join(timeout=5)
    finally:
        try:
            os.killpg(inner.pid, signal.SIGKILL)  # whatever the bus activated
        except ProcessLookupError:
            pass
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
        shutil.rmtree(root, ignore_errors=True)
    return code


def wait_for(what, predicate, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    raise RuntimeError(f"{what} did not come up")


def root_property(prop):
    result = subprocess.run(["xprop", "-root", prop], capture_output=True, text=True)
    return result.stdout if result.returncode == 0 and "not found" not in result.stdout else ""


def selection_owned(selection):
    """True when some client owns the X selection (a tray host owns _NET_SYSTEM_TRAY_S0)."""
    import ctypes
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


def inner(args):
    helpers = []
    try:
        # The window manager: focus, minimise and activation requests as on a desktop.
        helpers.append(subprocess.Popen(["openbox", "--sm-disable", "--config-file",
                                         os.path.join(HERE, "openbox-rc.xml")], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL))
        wait_for("the window manager", lambda: root_property("_NET_SUPPORTING_WM_CHECK"))
        # Russian beside English, so that typed Cyrillic text needs no key remapping.
        subprocess.run(["setxkbmap", "-layout", "us,ru"], capture_output=True, timeout=15)
        # A notification area, so that hiding to the tray is possible.
        helpers.append(subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
             "--height", "24", "--SetDockType", "true", "--transparent", "false"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("the notification area", lambda: selection_owned("_NET_SYSTEM_TRAY_S0"))
        # The accessibility bus must be up before the program starts, or its bridge
        # never connects.
        sys.path.insert(0, HERE)
        import harness
        wait_for("the accessibility bus",
                 lambda: harness.atspi().get_desktop(0) is not None)
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                       capture_output=True, timeout=15)

        module = __import__(f"test_{args.group}")
        loader = unittest.TestLoader()
        if args.tests:
            suite = loader.loadTestsFromNames(args.tests, module)
        else:
            suite = loader.loadTestsFromModule(module)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
        passed = result.testsRun - len(result.failures) - len(result.errors) - len(result.skipped)
        print(f"{passed} passed, {len(result.failures) + len(result.errors)} failed, "
              f"{len(result.skipped)} skipped")
        return 0 if result.wasSuccessful() and result.testsRun > 0 else 1
    finally:
        for helper in helpers:
            helper.terminate()
        for helper in helpers:
            try:
                helper.wait(timeout=5)
            except subprocess.TimeoutExpired:
                helper.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("group")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if os.environ.get("LISTRA_E2E_INNER") == "1":
        return inner(args)
    if not os.path.isfile(args.binary):
        print(f"no program at {args.binary}")
        return 1
    return outer(args)


if __name__ == "__main__":
    sys.exit(main())
