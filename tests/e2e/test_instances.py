"""One running program per user: a second start hands over to the first and ends."""

import os
import time

from desktop import Scenario, is_viewable, key, wait_until, x_windows


class SecondStart(Scenario):

    def start_hidden(self, env=None):
        first = self.start(env=env)
        wid = first.focus_main()
        first.add_task("Полить цветы")
        key("Escape")
        wait_until("the window to hide", lambda: not is_viewable(wid))
        return first, wid

    def test_second_start_brings_the_hidden_first_forward(self):
        first, wid = self.start_hidden()
        second = self.start()
        self.assertEqual(second.wait_exit(5), 0)
        self.assertEqual(x_windows(second.pid, ".*", visible=False), [])
        wait_until("the first window on screen", lambda: is_viewable(wid))
        first.wait_active()
        first.wait_outline([(0, "Задачи", ""), (1, "Полить цветы", "В работе")])
        key("alt+F4")
        self.assertEqual(first.wait_exit(), 0)

    def test_another_runtime_folder_does_not_reach_it(self):
        first, wid = self.start_hidden()
        other = os.path.join(self.root, "runtime-other")
        os.makedirs(other, mode=0o700)
        second = self.start(env={"XDG_RUNTIME_DIR": other})
        self.assertTrue(is_viewable(second.focus_main()))
        time.sleep(1)
        self.assertTrue(second.running())
        self.assertFalse(is_viewable(wid), "the first program was brought forward")
        self.assertTrue(first.running())
