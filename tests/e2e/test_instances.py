"""One running instance per user: a second start hands over to the first and ends."""

import os
import time

from harness import (Scenario, active_window, application_of, is_viewable, key, wait_until,
                     x_windows, xdotool)


class SecondStart(Scenario):

    def assert_ends_without_a_window(self, second):
        # It ends at once: the bound only catches one that hangs or stays.
        self.assertEqual(second.wait_exit(timeout=5), 0)
        self.assertEqual(x_windows(second.pid, ".*", visible_only=False), [])

    def test_second_start_brings_the_hidden_window_back(self):
        first = self.start()
        first.main_window()
        wid = first.focus_main()
        first.add_task("Полить цветы")

        key("Escape")
        wait_until("the window to hide", lambda: not is_viewable(wid))
        second = self.start()
        self.assert_ends_without_a_window(second)
        wait_until("the first window on screen again", lambda: is_viewable(wid))
        wait_until("the first window to be the active one", lambda: active_window() == wid)
        # The same window, with the same tasks, still running.
        first.wait_outline([(0, "Задачи", ""), (1, "Полить цветы", "В работе")])
        self.assertTrue(first.running())

        # Minimising hides to the tray as well; a second start brings it back again.
        xdotool("windowminimize", "--sync", str(wid))
        wait_until("the minimised window to leave the screen", lambda: not is_viewable(wid))
        third = self.start()
        self.assert_ends_without_a_window(third)
        wait_until("the first window on screen again", lambda: is_viewable(wid))

        # With the window already on screen a second start changes nothing but the focus.
        fourth = self.start()
        self.assert_ends_without_a_window(fourth)
        self.assertTrue(is_viewable(wid))
        self.assertEqual(x_windows(first.pid), [wid])
        # The keyboard still reaches the window that came back.
        wait_until("the first window to be the active one", lambda: active_window() == wid)
        key("alt+F4")
        self.assertEqual(first.wait_exit(), 0)

    def test_start_with_another_runtime_folder_is_on_its_own(self):
        first = self.start()
        first.main_window()
        wid = first.focus_main()
        key("Escape")
        wait_until("the window to hide", lambda: not is_viewable(wid))

        other = os.path.join(self.sandbox.root, "runtime-other")
        os.makedirs(other, mode=0o700)
        second = self.start(env={"XDG_RUNTIME_DIR": other})
        # It finds no running instance of its own and starts as a first one.
        second.main_window()
        self.assertTrue(is_viewable(second.x_window()))
        time.sleep(1)
        self.assertTrue(second.running())
        self.assertFalse(is_viewable(wid), "the first instance was brought forward")
        self.assertIsNotNone(application_of(first.pid))

        second.focus_main()
        key("alt+F4")
        self.assertEqual(second.wait_exit(), 0)
        self.assertTrue(first.running())

    def test_second_start_reaches_the_first_under_a_long_runtime_folder(self):
        # Unix socket paths are limited to 107 bytes; a runtime folder nearly that deep (as
        # build machines and sandboxes make them) must not cut the two instances apart.
        deep = os.path.join(self.sandbox.root, "runtime-" + "x" * 70)
        self.assertGreater(len(deep.encode()), 95)
        os.makedirs(deep, mode=0o700)
        env = {"XDG_RUNTIME_DIR": deep}
        first = self.start(env=env)
        first.main_window()
        wid = first.focus_main()
        key("Escape")
        wait_until("the window to hide", lambda: not is_viewable(wid))
        second = self.start(env=env)
        self.assert_ends_without_a_window(second)
        wait_until("the first window on screen again", lambda: is_viewable(wid))
