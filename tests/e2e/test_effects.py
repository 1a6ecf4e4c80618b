# SPDX-License-Identifier: MIT
"""Hiding to the tray and coming back with the blend effect, on an X server without a compositor."""

import shutil
import subprocess
import unittest

from desktop import Scenario, geometry, run, wait_until


def brightness(x, y):  # the mean grey level of a 16 x 16 patch of the screen, 0..255
    ppm = subprocess.run(["import", "-window", "root", "-crop", f"16x16+{x}+{y}", "-depth", "8", "ppm:-"],
                         capture_output=True, timeout=30, check=True).stdout
    pixels = ppm.split(b"\n", 3)[3]  # after "P6", the size and the largest value
    return sum(pixels) / len(pixels)


@unittest.skipUnless(shutil.which("import"), "ImageMagick's import reads the screen")
class Effects(Scenario):

    def test_minimise_and_second_start_fade_between_window_and_desktop(self):
        self.write(".config/Graywick/Listra.conf", "[Effects]\nStyle=1\nTimeout=10000\n")
        program = self.start()
        wid = program.focus_main()
        x, y, w, h = geometry(wid)
        spot = (x + w // 2, y + h - 40)  # in the empty part of the tree
        window = brightness(*spot)
        desktop = brightness(x + w + 20, spot[1])  # the same plain background all over
        self.assertGreater(abs(window - desktop), 40, "the desktop looks like the window")

        def fading():  # strictly between the two pictures: part window, part desktop
            value = brightness(*spot)
            return min(window, desktop) + 8 < value < max(window, desktop) - 8
        # Minimised by the window manager: the window's own picture fades into the desktop.
        run(["xdotool", "windowminimize", str(wid)], check=True)
        wait_until("the window's picture fading out", fading)
        wait_until("the window to be gone", lambda: abs(brightness(*spot) - desktop) < 8, 30)
        # A second start brings it back the same way.
        self.assertEqual(self.start().wait_exit(), 0)
        wait_until("the window's picture fading in", fading)
