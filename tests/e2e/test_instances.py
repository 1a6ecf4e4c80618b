# SPDX-License-Identifier: MIT
"""One running program per user: a second start hands over to the first and ends."""

import fcntl
import os
import subprocess

from desktop import Scenario, is_viewable, key, run, wait_until, x_windows


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

    def test_every_path_to_the_same_task_file_reaches_the_first(self):
        first, wid = self.start_hidden()
        share = os.path.join(self.home, ".local/share")
        linked, bound = os.path.join(self.root, "linked-share"), os.path.join(self.root, "bound-share")
        os.symlink(share, linked)
        os.makedirs(bound)
        unusable = os.path.join(self.root, "not-a-folder")  # its lock answers "first"
        open(unusable, "w").close()
        starts = [("another runtime folder", {}), ("an unusable runtime folder", {"XDG_RUNTIME_DIR": unusable}),
                  ("a symlinked data folder", {"XDG_DATA_HOME": linked})]
        mounted = subprocess.run(["mount", "--bind", share, bound], capture_output=True).returncode == 0
        if mounted:  # root only
            starts.append(("a bind-mounted data folder", {"XDG_DATA_HOME": bound}))
        try:
            for number, (how, env) in enumerate(starts):
                with self.subTest(how):
                    runtime = os.path.join(self.root, f"runtime-{number}")
                    os.makedirs(runtime, mode=0o700)
                    second = self.start(env=dict({"XDG_RUNTIME_DIR": runtime}, **env))
                    self.assertEqual(second.wait_exit(5), 0)
                    wait_until("the first window on screen", lambda: is_viewable(wid))
                    first.wait_active()
                    key("Escape")
                    wait_until("the window to hide", lambda: not is_viewable(wid))
        finally:
            if mounted:
                subprocess.run(["umount", bound], check=True)
        self.assertTrue(first.running())

    def test_a_holder_that_cannot_be_reached_is_reported(self):
        os.makedirs(self.data_dir)
        with open(os.path.join(self.data_dir, ".Tasks.XML.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)  # a program whose activation socket is out of reach
            program = self.start()
            _, text, _ = program.message_box()
            self.assertTrue(text.startswith("Файл с задачами уже открыт в другой запущенной копии программы:"), text)
            self.assertIn(self.task_file, text)
            run(["xdotool", "search", "--sync", "--pid", str(program.pid), "windowactivate", "--sync"])
            key("Return")
            self.assertEqual(program.wait_exit(5), 1)
        self.assertEqual(x_windows(program.pid, ".*", visible=False), [])
