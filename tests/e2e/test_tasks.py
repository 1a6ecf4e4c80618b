# SPDX-License-Identifier: MIT
"""Building a task list with the keyboard, saving it and finding it again after a restart."""

import os

from desktop import (Scenario, find_all, geometry, key, name, read_tasks, role, run, states,
                     wait_until)

PROGRESS, DONE, REJECTED = "В работе", "Выполнено", "Отклонено"


class TaskList(Scenario):

    def test_add_mark_move_and_save(self):
        program = self.start()
        program.focus_main()
        program.add_task("Подготовить отчёт")
        program.add_task("Собрать цифры")
        program.add_task("Проверить таблицы", beside=True)
        program.select("Подготовить отчёт")
        program.add_task("Купить бумагу", beside=True)

        # A status on a task with sub-tasks asks whether to mark them too.
        program.select("Подготовить отчёт")
        key("alt+1")
        _, question, buttons = program.message_box()
        self.assertEqual((question, buttons), ("Пометить также и подзадачи?", ["Да", "Нет"]))
        program.answer("Да")
        program.select("Проверить таблицы")
        key("alt+3")  # a task without sub-tasks is marked without a question
        program.select("Подготовить отчёт")
        key("alt+2")
        program.answer("Нет")
        program.wait_outline([(0, "Задачи", ""), (1, "Подготовить отчёт", PROGRESS),
                              (2, "Собрать цифры", DONE), (2, "Проверить таблицы", REJECTED),
                              (1, "Купить бумагу", PROGRESS)])

        program.select("Купить бумагу")
        key("ctrl+Up")
        program.select("Собрать цифры")
        key("ctrl+Down")
        key("ctrl+Down")  # already the last: stays
        program.wait_outline([(0, "Задачи", ""), (1, "Купить бумагу", PROGRESS),
                              (1, "Подготовить отчёт", PROGRESS),
                              (2, "Проверить таблицы", REJECTED), (2, "Собрать цифры", DONE)])
        self.assertEqual(program.selected(), "Собрать цифры")

        self.assertFalse(os.path.exists(self.task_file))
        key("F2")
        wait_until("the task file", lambda: os.path.exists(self.task_file))
        self.assertEqual(read_tasks(self.task_file), [
            (1, "Купить бумагу", "Progress", "True", None),
            (1, "Подготовить отчёт", "Progress", "True", None),
            (2, "Проверить таблицы", "Rejected", "True", None),
            (2, "Собрать цифры", "Done", "True", "True")])

    def test_keys_typed_right_behind_ins_reach_the_editor(self):
        program = self.start()
        program.focus_main()
        # Typed in one go, before the window manager can hand the focus to the new editor.
        for keys, text in ((["Insert", "m", "i", "l", "k"], "milk"), (["ctrl+Insert", "t", "e", "a"], "tea")):
            run(["xdotool", "key", "--delay", "0", *keys, "Return"], check=True)
            wait_until(f"{text!r} added", lambda: program.selected() == text, 10)
        program.wait_outline([(0, "Задачи", ""), (1, "milk", PROGRESS), (1, "tea", PROGRESS)])

    def test_restart_shows_the_tasks_with_the_window_in_its_place(self):
        first = self.start()
        first.focus_main()
        first.add_task("Позвонить в банк")
        first.add_task("Уточнить реквизиты")
        shown = first.outline()
        wid = first.x_window()
        run(["xdotool", "windowsize", "--sync", str(wid), "700", "480"], check=True)
        run(["xdotool", "windowmove", "--sync", str(wid), "120", "90"], check=True)
        wait_until("the new size", lambda: geometry(wid)[2:] == (700, 480))
        placed = geometry(wid)
        first.focus_main()
        key("alt+F4")
        self.assertEqual(first.wait_exit(), 0)

        second = self.start()
        second.main_window()
        second.wait_outline(shown)
        self.assertEqual(second.selected(), "Уточнить реквизиты")
        wid = second.x_window()
        wait_until(f"the window at {placed}", lambda: geometry(wid) == placed, 10)

    def test_settings_controls_as_a_screen_reader_reads_them(self):
        program = self.start()
        program.focus_main()
        key("ctrl+o")
        dialog = program.frame("Настройки")
        controls = find_all(dialog, lambda a: role(a) in ("combo box", "radio button", "check box"))
        self.assertEqual([name(a) for a in controls if role(a) == "combo box"],
                         ["Фоновый цвет", "Выделение", "Действие ESC", "Пометка подзадач",
                          "Спецэффект скрытия"])
        radios = [a for a in controls if role(a) == "radio button"]
        self.assertEqual(len(radios), 9)
        self.assertEqual([name(a) for a in radios if "checked" in states(a)], ["Направление: вниз"])
        self.assertEqual([name(a) for a in controls if role(a) == "check box"],
                         ["Запускать при входе в систему", "Показывать фильтр",
                          "Показывать счётчик подзадач"])
        font = find_all(dialog, lambda a: role(a) == "push button" and name(a) == "Шрифт дерева задач")
        self.assertEqual(len(font), 1)
        self.assertRegex(font[0].get_description(), r", \d+(\.\d+)? пт")
        key("Escape")
