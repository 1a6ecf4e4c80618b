"""Building a task list with the keyboard, saving it, and finding it again after a restart."""

import os
import re

from harness import (Scenario, activate, file_outline, key, read_task_file, wait_until,
                     window_geometry, xdotool)

PROGRESS, DONE, REJECTED = "В работе", "Выполнено", "Отклонено"


class BuildingTheList(Scenario):

    def test_add_mark_move_and_save(self):
        program = self.start()
        program.main_window()
        program.focus_main()
        program.wait_outline([(0, "Задачи", "")], "the empty tree")

        # Ins adds a sub-task of the selected node, Ctrl+Ins one beside it.
        program.add_task("Подготовить отчёт за квартал")
        program.add_task("Собрать цифры")
        program.add_task("Проверить таблицы", beside=True)
        program.select("Подготовить отчёт за квартал")
        program.add_task("Купить бумагу", beside=True)
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Подготовить отчёт за квартал", PROGRESS),
            (2, "Собрать цифры", PROGRESS),
            (2, "Проверить таблицы", PROGRESS),
            (1, "Купить бумагу", PROGRESS),
        ], "the tree after adding four tasks")

        # A status on a task with sub-tasks asks whether to mark them too.
        program.select("Подготовить отчёт за квартал")
        key("alt+1")
        _, question, buttons = program.message_box()
        self.assertEqual(question, "Пометить также и подзадачи?")
        self.assertEqual(buttons, ["Да", "Нет"])
        program.answer("Да")
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Подготовить отчёт за квартал", DONE),
            (2, "Собрать цифры", DONE),
            (2, "Проверить таблицы", DONE),
            (1, "Купить бумагу", PROGRESS),
        ], "the tree after marking a task and its sub-tasks done")

        # A leaf is marked at once, without a question.
        program.select("Проверить таблицы")
        key("alt+3")
        program.select("Купить бумагу")
        key("alt+1")
        # Answering No marks the task alone.
        program.select("Подготовить отчёт за квартал")
        key("alt+2")
        program.message_box()
        program.answer("Нет")
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Подготовить отчёт за квартал", PROGRESS),
            (2, "Собрать цифры", DONE),
            (2, "Проверить таблицы", REJECTED),
            (1, "Купить бумагу", DONE),
        ], "the tree after three more statuses")

        # Ctrl+Up and Ctrl+Down move a task among its siblings; it stays selected.
        program.select("Купить бумагу")
        key("ctrl+Up")
        program.select("Проверить таблицы")
        key("ctrl+Up")
        program.select("Собрать цифры")
        key("ctrl+Down")  # already the last: stays where it is
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Купить бумагу", DONE),
            (1, "Подготовить отчёт за квартал", PROGRESS),
            (2, "Проверить таблицы", REJECTED),
            (2, "Собрать цифры", DONE),
        ], "the tree after moving tasks")
        self.assertEqual(program.selected_text(), "Собрать цифры")
        program.select("Купить бумагу")
        key("ctrl+Down")
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Подготовить отчёт за квартал", PROGRESS),
            (2, "Проверить таблицы", REJECTED),
            (2, "Собрать цифры", DONE),
            (1, "Купить бумагу", DONE),
        ], "the tree after moving a task back down")
        self.assertEqual(program.selected_text(), "Купить бумагу")

        # Nothing is written until F2.
        self.assertFalse(os.path.exists(self.sandbox.task_file))
        key("F2")
        wait_until("the task file", lambda: os.path.exists(self.sandbox.task_file))
        raw, root = read_task_file(self.sandbox.task_file)
        self.assertTrue(re.match(rb'<\?xml version="1.0" encoding="utf-8"\?>', raw, re.I),
                        raw[:80])
        self.assertEqual(root.tag, "Tasks")
        self.assertEqual(root.attrib, {})
        self.assertEqual(file_outline(root), [
            (1, "Подготовить отчёт за квартал", "Progress", "True", None, []),
            (2, "Проверить таблицы", "Rejected", "True", None, []),
            (2, "Собрать цифры", "Done", "True", None, []),
            (1, "Купить бумагу", "Done", "True", "True", []),
        ])
        # Attributes in their fixed order, all data in attributes, Cyrillic as UTF-8.
        text = raw.decode("utf-8")
        self.assertIn('<Task Name="Купить бумагу" State="Done" Expanded="True" Selected="True"',
                      text)
        for element in root.iter():
            self.assertFalse((element.text or "").strip(), f"text content in {element.tag}")
        self.assertTrue(program.running())


class Restart(Scenario):

    def test_tasks_and_window_place_survive_a_restart(self):
        first = self.start()
        first.main_window()
        first.focus_main()
        first.add_task("Позвонить в банк")
        first.add_task("Уточнить реквизиты")
        first.select("Задачи")
        first.add_task("Записаться к врачу")
        key("alt+3")
        first.select("Уточнить реквизиты")
        shown = first.outline()

        # The user moves and resizes the window, then closes it with the window manager.
        wid = first.x_window()
        xdotool("windowsize", "--sync", str(wid), "700", "480")
        xdotool("windowmove", "--sync", str(wid), "120", "90")
        wait_until("the window at its new size",
                   lambda: window_geometry(wid)[2:] == (700, 480), 10)
        placed = window_geometry(wid)
        activate(wid)
        key("alt+F4")
        self.assertEqual(first.wait_exit(), 0)

        # The exit saved the tree, with the selection where the user left it.
        _, root = read_task_file(self.sandbox.task_file)
        self.assertEqual(file_outline(root), [
            (1, "Позвонить в банк", "Progress", "True", None, []),
            (2, "Уточнить реквизиты", "Progress", "True", "True", []),
            (1, "Записаться к врачу", "Rejected", "True", None, []),
        ])

        second = self.start()
        second.main_window()
        second.wait_outline(shown, "the tree after a restart")
        self.assertEqual(second.selected_text(), "Уточнить реквизиты")
        wid = second.x_window()
        wait_until(f"the window back at {placed}", lambda: window_geometry(wid) == placed, 10)
