#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Start time as the user sees it: from exec to the first frame on the X server that shows the
final window, for the built program on generated task files and for a bare Qt window.

Runs in a private desktop (Xvfb, openbox, a session bus) and watches the screen through the X
DAMAGE extension: every time the screen changes, a picture of it is taken. Once nothing has
changed for a while, the window's final picture is known; the start time is the moment of the
first picture whose window area equals it. Runs alternate between the bare window and the
program, and each figure is the best of the runs. Prints

    BENCH start_bare 0 <ms> ms
    BENCH start_outside <tasks> <ms> ms
    BENCH rss_shown_outside <tasks> <MiB> MiB     (resident set once the final frame is shown)
    BENCH rss_peak_outside <tasks> <MiB> MiB      (the process's peak resident set by then)

Usage: scripts/start-outside.py [--build build] [--sizes 1000,100000] [--runs 5]
       [--also NAME=PATH]   another build of the program, run in turn (its lines say NAME)
"""

import argparse
import contextlib
import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ulong = ctypes.c_ulong


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """One connection to the private X server, watching the root window for damage."""

    def __init__(self):
        x = self.x = ctypes.cdll.LoadLibrary("libX11.so.6")
        d = self.d = ctypes.cdll.LoadLibrary("libXdamage.so.1")
        x.XOpenDisplay.restype = ulong
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for f in ("XDefaultRootWindow", "XConnectionNumber", "XPending", "XFlush", "XDefaultScreen"):
            getattr(x, f).argtypes = [ulong]
        x.XDefaultRootWindow.restype = ulong
        x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [ulong, ctypes.c_int]
        x.XNextEvent.argtypes = [ulong, ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ulong, ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        d.XDamageQueryExtension.argtypes = [ulong, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        d.XDamageCreate.restype = ulong
        d.XDamageCreate.argtypes = [ulong, ulong, ctypes.c_int]
        d.XDamageSubtract.argtypes = [ulong, ulong, ulong, ulong]
        self.dpy = x.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("cannot open the display")
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not d.XDamageQueryExtension(self.dpy, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise RuntimeError("the X server has no DAMAGE extension")
        self.damage_event = event_base.value  # XDamageNotify is the extension's first event
        self.root = x.XDefaultRootWindow(self.dpy)
        screen = x.XDefaultScreen(self.dpy)
        self.width, self.height = x.XDisplayWidth(self.dpy, screen), x.XDisplayHeight(self.dpy, screen)
        self.damage = d.XDamageCreate(self.dpy, self.root, 3)  # XDamageReportNonEmpty
        self.fd = x.XConnectionNumber(self.dpy)
        self.event = (ctypes.c_long * 24)()
        x.XFlush(self.dpy)

    def drain(self):
        """Reads the pending events; True when the screen changed since the last call."""
        changed = False
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, self.event)
            changed |= ctypes.cast(self.event, ctypes.POINTER(ctypes.c_int))[0] == self.damage_event
        if changed:
            self.d.XDamageSubtract(self.dpy, self.damage, 0, 0)  # re-arm: report the next change
            self.x.XFlush(self.dpy)
        return changed

    def picture(self):
        img = self.x.XGetImage(self.dpy, self.root, 0, 0, self.width, self.height, ~0 & 0xFFFFFFFF, 2)
        if not img:
            raise RuntimeError("cannot read the screen")
        im = img.contents
        data = ctypes.string_at(im.data, im.bytes_per_line * im.height)
        stride = im.bytes_per_line
        self.x.XFree(im.data)
        self.x.XFree(img)
        return data, stride


def window_rect(pid):
    """The largest visible top-level window of the process: x, y, width, height."""
    ids = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", ""],
                         capture_output=True, text=True).stdout.split()
    best = None
    for wid in ids:
        info = dict(line.strip().split(": ", 1) for line in subprocess.run(
            ["xwininfo", "-id", wid], capture_output=True, text=True).stdout.splitlines() if ": " in line)
        with contextlib.suppress(KeyError, ValueError):
            r = tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
            if best is None or r[2] * r[3] > best[2] * best[3]:
                best = r
    return best


def crop(picture, rect):
    data, stride = picture
    x, y, w, h = rect
    return b"".join(data[(y + row) * stride + 4 * x:(y + row) * stride + 4 * (x + w)] for row in range(h))


def memory_mib(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                fields[key] = int(value.split()[0]) / 1024
    return fields.get("VmRSS", -1), fields.get("VmHWM", -1)


def measure(screen, argv, env, settle, limit):
    """Starts argv; returns (ms to the final frame, rss shown MiB, rss peak MiB) or None."""
    screen.drain()
    pictures = []  # (seconds since exec, picture) at each change of the screen
    start = time.monotonic()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        last = start
        while True:
            now = time.monotonic()
            if now - start > limit or proc.poll() is not None:
                print(f"# {os.path.basename(argv[0])}: {'ended' if proc.poll() is not None else 'no window'}",
                      file=sys.stderr)
                return None
            if pictures and now - last > settle:
                # Quiet, but maybe only because a large file is still loading.
                rect = window_rect(proc.pid)
                if rect is not None:
                    break
                last = now
            # Events read while a picture was taken wait in Xlib's queue, not on the socket:
            # select() would not see them and the frame would be noticed a timeout late.
            if not screen.x.XPending(screen.dpy):
                select.select([screen.fd], [], [], 0.05)
            if screen.drain():
                when = time.monotonic()
                pictures.append((when - start, screen.picture()))
                last = when
        rss, hwm = memory_mib(proc.pid)
        final = crop(pictures[-1][1], rect)
        first = next(t for t, p in pictures if crop(p, rect) == final)
        if os.environ.get("LISTRA_START_TRACE"):
            print("# frames:", " ".join(f"{t * 1000:.0f}{'*' if crop(p, rect) == final else ''}" for t, p in pictures),
                  rect, file=sys.stderr)
        return first * 1000, rss, hwm
    finally:
        proc.kill()
        proc.wait()


def private_desktop(root):
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        display = ":" + pipe.readline().strip()
    env = dict(os.environ, DISPLAY=display, HOME=root, XDG_RUNTIME_DIR=root)
    for key in ("DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_DATA_HOME"):
        env.pop(key, None)
    # A session bus as on any desktop: the toolkit asks it for the accessibility bus.
    bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                         env=env, capture_output=True, text=True, check=True).stdout.split()
    env["DBUS_SESSION_BUS_ADDRESS"], bus_pid = bus[0], int(bus[1])
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while "window id" not in subprocess.run(["xprop", "-display", display, "-root", "_NET_SUPPORTING_WM_CHECK"],
                                            capture_output=True, text=True).stdout:
        if time.monotonic() > deadline:
            raise RuntimeError("the window manager did not start")
        time.sleep(0.1)

    def stop():
        wm.kill()
        with contextlib.suppress(ProcessLookupError):
            os.kill(bus_pid, signal.SIGTERM)
        xvfb.kill()
        xvfb.wait()
    return env, stop


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--sizes", default="1000,100000,1000000")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--settle", type=float, default=1.5, help="seconds without a change that end a start")
    ap.add_argument("--also", action="append", default=[], metavar="NAME=PATH")
    args = ap.parse_args()
    binaries = [("", os.path.join(args.build, "listra"))]
    binaries += [(f"[{a.split('=', 1)[0]}]", a.split("=", 1)[1]) for a in args.also]
    bare = os.path.join(args.build, "listra-bare")
    bench = os.path.join(args.build, "listra-bench")
    for tool in ("Xvfb", "openbox", "dbus-daemon", "xdotool", "xwininfo", "xprop"):
        if not shutil.which(tool):
            sys.exit(f"missing: {tool} (scripts/install-deps.sh installs it)")

    root = tempfile.mkdtemp(prefix="listra-start-")
    env, stop = private_desktop(root)
    os.environ["DISPLAY"] = env["DISPLAY"]
    try:
        screen = Screen()
        sizes = [int(s) for s in args.sizes.split(",") if s]
        files = {}
        for tasks in sizes:
            files[tasks] = os.path.join(root, f"Tasks-{tasks}.XML")
            subprocess.run([bench, "--generate", str(tasks), files[tasks]], check=True)

        def run(argv, tasks, run_no):
            # Each start gets fresh folders: no stored placement, no lock of an earlier run.
            home = os.path.join(root, f"home-{tasks}-{run_no}-{len(os.listdir(root))}")
            data = os.path.join(home, "data", "Graywick", "Listra")
            os.makedirs(data)
            if tasks in files:
                os.link(files[tasks], os.path.join(data, "Tasks.XML"))
            run_env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                           XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=home)
            os.chmod(home, 0o700)
            result = measure(screen, argv, run_env, args.settle, 120)
            shutil.rmtree(home, ignore_errors=True)
            return result

        best = {}
        # A warm-up start of each, then alternate so that the machine's load falls on all alike.
        run([bare], 0, -1)
        for tasks in sizes:
            for _, binary in binaries:
                run([binary], tasks, -1)
        for run_no in range(args.runs):
            candidates = [("start_bare", 0, [bare])] + [
                (f"start_outside{label}", tasks, [binary]) for tasks in sizes for label, binary in binaries]
            for name, tasks, argv in candidates:
                result = run(argv, tasks, run_no)
                if result is None:
                    continue
                ms, rss, hwm = result
                print(f"# run {run_no}: {name} {tasks}: {ms:.1f} ms, {rss:.1f} MiB shown, {hwm:.1f} MiB peak",
                      file=sys.stderr)
                b = best.setdefault((name, tasks), [ms, rss, hwm])
                b[0], b[1], b[2] = min(b[0], ms), min(b[1], rss), min(b[2], hwm)
        for (name, tasks), (ms, rss, hwm) in best.items():
            print(f"BENCH {name} {tasks} {ms:.1f} ms")
            if name != "start_bare":
                suffix = name[len("start_outside"):]
                print(f"BENCH rss_shown_outside{suffix} {tasks} {rss:.1f} MiB")
                print(f"BENCH rss_peak_outside{suffix} {tasks} {hwm:.1f} MiB")
        sys.stdout.flush()
    finally:
        stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
