"""Building a task list with the keyboard, saving it, and finding it again after a restart."""

import os
import re

from harness import (Scenario, activate, file_outline, find, gone, key, name, read_task_file,
                     role, states, text_of, type_text, wait_until, window_geometry, xdotool)

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


class EditingAndFinding(Scenario):

    def setUp(self):
        super().setUp()
        self.sandbox.write_task_file("""<?xml version="1.0" encoding="utf-8"?>
<Tasks>
  <Task Name="Купить подарки" State="Progress" Expanded="True">
    <Task Name="Маме — книгу" State="Done" Expanded="True"/>
    <Task Name="Брату — наушники" State="Progress" Expanded="True"/>
  </Task>
  <Task Name="Записаться в бассейн" State="Progress" Expanded="True" Selected="True"/>
  <Task Name="Починить велосипед" State="Progress" Expanded="True">
    <Task Name="Смазать цепь велосипеда" State="Progress" Expanded="True"/>
  </Task>
</Tasks>
""")

    def editor_text(self, dialog):
        box = wait_until("the task text box", lambda: find(
            dialog, lambda a: name(a) == "Текст задачи" and "focused" in states(a)))
        return box, text_of(box)

    def test_edit_remove_and_find_tasks(self):
        program = self.start()
        program.main_window()
        program.focus_main()
        self.assertEqual(program.selected_text(), "Записаться в бассейн")

        # F3 opens the task in the editor; Enter keeps the new text.
        key("F3")
        dialog = program.frame("Редактирование задачи")
        box, text = self.editor_text(dialog)
        self.assertEqual(text, "Записаться в бассейн")
        key("ctrl+a")
        type_text("Записаться в бассейн на субботу")
        wait_until("the new text", lambda: text_of(box) == "Записаться в бассейн на субботу")
        key("Return")
        wait_until("the editor to close", lambda: gone(dialog))
        program.wait_main_active()
        wait_until("the edited task", lambda: program.selected_text()
                   == "Записаться в бассейн на субботу")

        # Escape leaves the task as it was.
        key("F3")
        dialog = program.frame("Редактирование задачи")
        self.editor_text(dialog)
        type_text(" и в воскресенье")
        key("Escape")
        wait_until("the editor to close", lambda: gone(dialog))
        program.wait_main_active()
        self.assertEqual(program.selected_text(), "Записаться в бассейн на субботу")

        # The top node is neither edited nor removed.
        program.select("Задачи")
        for shortcut, refusal in (("F3", "Это править нельзя."), ("Delete", "Это удалить нельзя.")):
            key(shortcut)
            _, text, buttons = program.message_box()
            self.assertEqual(text, refusal)
            program.answer(buttons[0])
            program.wait_main_active()

        # Del asks first; No keeps the task and its sub-tasks, Yes removes them all.
        program.select("Купить подарки")
        key("Delete")
        _, question, _ = program.message_box()
        self.assertEqual(question, "Удалить задачу и все её подзадачи?")
        program.answer("Нет")
        self.assertEqual(len(program.rows()), 7)
        key("Delete")
        program.message_box()
        program.answer("Да")
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Записаться в бассейн на субботу", "В работе"),
            (1, "Починить велосипед", "В работе"),
            (2, "Смазать цепь велосипеда", "В работе"),
        ], "the tree after removing a task with its sub-tasks")

        # Ctrl+F asks for a phrase and finds it whatever its letter case; F4 finds the next.
        program.select("Задачи")
        key("ctrl+f")
        box = wait_until("the search box", lambda: next(
            (f for f in program.frames() if role(f) == "dialog" and "showing" in states(f)),
            None))
        type_text("ВЕЛОСИПЕД")
        key("Return")
        wait_until("the search box to close", lambda: gone(box))
        wait_until("the first match selected",
                   lambda: program.selected_text() == "Починить велосипед")
        key("F4")
        wait_until("the next match selected",
                   lambda: program.selected_text() == "Смазать цепь велосипеда")

        key("F2")
        wait_until("the saved edits", lambda: os.path.exists(self.sandbox.task_file) and file_outline(
            read_task_file(self.sandbox.task_file)[1]) == [
            (1, "Записаться в бассейн на субботу", "Progress", "True", None, []),
            (1, "Починить велосипед", "Progress", "True", None, []),
            (2, "Смазать цепь велосипеда", "Progress", "True", "True", []),
        ])
