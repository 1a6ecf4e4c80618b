# SPDX-License-Identifier: MIT
"""Starting and ending the program."""

import glob
import os
import signal
import time

from desktop import (Scenario, gone, is_viewable, key, name, read_tasks, run, tray_icons, wait_until,
                     x_windows)

TASK = [(1, "Сдать книги в библиотеку", "Progress", "True", "True")]


class Startup(Scenario):

    def test_first_start_without_a_task_file(self):
        program = self.start()
        self.assertTrue(is_viewable(program.focus_main()))
        program.wait_outline([(0, "Задачи", "")])
        self.assertEqual(program.selected(), "Задачи")
        # The data folder is made at once, the task file only when something is saved.
        self.assertTrue(os.path.isdir(self.data_dir))
        self.assertFalse(os.path.exists(self.task_file))
        key("alt+F4")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(read_tasks(self.task_file), [])

    def test_autorun_start_shows_no_window(self):
        program = self.start("/Autorun")
        # The tray icon comes last in a start, after the window would have been shown.
        wait_until("the tray icon", lambda: tray_icons(program.pid))
        for _ in range(8):
            self.assertTrue(program.running())
            self.assertEqual(x_windows(program.pid), [])
            time.sleep(0.2)
        self.assertNotEqual(x_windows(program.pid, visible=False), [])

    def test_escape_closes_and_saves_when_collapse_on_esc_is_off(self):
        self.write(".config/Graywick/Listra.conf", "[General]\nCollapse on ESC=false\n")
        program = self.start()
        program.focus_main()
        program.add_task(TASK[0][1])
        key("Escape")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(read_tasks(self.task_file), TASK)

    def test_termination_signal_saves_like_a_normal_exit(self):
        program = self.start()
        program.focus_main()
        program.add_task(TASK[0][1])
        self.assertFalse(os.path.exists(self.task_file))
        program.process.send_signal(signal.SIGTERM)  # as the session's end or kill does
        self.assertEqual(program.wait_exit(5), 0)
        self.assertEqual(read_tasks(self.task_file), TASK)

    def test_termination_signal_during_the_start_up_box_ends_the_program(self):
        damaged = b'<?xml version="1.0" encoding="utf-8"?>\n<Tasks><Task Name="'
        self.write(".local/share/Graywick/Listra/Tasks.XML", damaged)
        program = self.start()
        program.message_box()
        program.process.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(5), 0)
        with open(self.task_file, "rb") as f:
            self.assertEqual(f.read(), damaged)
        self.start().message_box()  # the next start is its own, not handed to a stuck one

    def test_letter_keys_work_with_the_russian_layout_active(self):
        program = self.start()
        program.focus_main()
        program.add_task(TASK[0][1])
        run(["setxkbmap", "-layout", "ru,us"], check=True)  # the Russian group active
        try:
            key("ctrl+Cyrillic_ya")  # the key of "Z": undo
            program.wait_outline([(0, "Задачи", "")])
            key("ctrl+Cyrillic_en")  # the key of "Y": redo
            program.wait_outline([(0, "Задачи", ""), (1, TASK[0][1], "В работе")])
            key("ctrl+Cyrillic_shcha")  # the key of "O"
            settings = program.frame("Настройки")
            key("Escape")
            wait_until("the settings to close", lambda: gone(settings), 10)
            program.wait_active()
            key("ctrl+Cyrillic_a")  # the key of "F"
            program.window("the search box", lambda f: name(f) == "Velmora - Listra")
            key("Escape")
        finally:
            run(["setxkbmap", "-layout", "us,ru"], check=True)

    def test_damaged_task_file_is_reported_and_kept_aside(self):
        damaged = ('<?xml version="1.0" encoding="utf-8"?>\n<Tasks>\n  <Task Name="Оплатить '
                   'счёт" State="Done">\n    <Task Name="Найти кви').encode()
        self.write(".local/share/Graywick/Listra/Tasks.XML", damaged)
        program = self.start()
        _, text, buttons = program.message_box()
        copies = glob.glob(self.task_file + "*.unreadable")
        self.assertEqual(len(copies), 1, os.listdir(self.data_dir))
        self.assertTrue(text.startswith("Не удалось загрузить файл данных."), text)
        self.assertIn(os.path.basename(copies[0]), text)
        program.answer(buttons[0])
        program.wait_outline([(0, "Задачи", "")])
        # New work is saved over the damaged file; the copy keeps its bytes.
        program.add_task(TASK[0][1])
        key("F2")
        wait_until("the saved task", lambda: read_tasks(self.task_file) == TASK)
        with open(copies[0], "rb") as f:
            self.assertEqual(f.read(), damaged)
