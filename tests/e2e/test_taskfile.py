"""Task files the user did not write with the program: damaged, foreign, hand-edited."""

import glob
import os

from harness import Scenario, file_outline, key, read_task_file, wait_until

LOAD_FAILED = "Не удалось загрузить файл данных."


class DamagedFile(Scenario):

    def unreadable_copies(self):
        return glob.glob(os.path.join(self.sandbox.data_dir, "*.unreadable"))

    def start_on_refused_file(self, data):
        """Starts on a file the program must refuse; checks the report and the copy."""
        self.sandbox.write_task_file(data)
        program = self.start()
        _, text, buttons = program.message_box()
        self.assertTrue(text.startswith(LOAD_FAILED), text)
        # The refused file is kept aside, byte for byte, and the original is not touched.
        copies = self.unreadable_copies()
        self.assertEqual(len(copies), 1, os.listdir(self.sandbox.data_dir))
        with open(copies[0], "rb") as f:
            self.assertEqual(f.read(), data)
        with open(self.sandbox.task_file, "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertIn(os.path.basename(copies[0]), text)
        self.assertEqual(len(buttons), 1)
        program.answer(buttons[0])
        # The window is built all the same, with an empty tree.
        program.main_window()
        program.wait_outline([(0, "Задачи", "")], "the tree after a refused file")
        return program, copies[0]

    def test_a_truncated_file_is_reported_and_kept_aside(self):
        data = ('<?xml version="1.0" encoding="utf-8"?>\n<Tasks>\n'
                '  <Task Name="Оплатить счёт за свет" State="Done" Expanded="True">\n'
                '    <Task Name="Найти кви').encode("utf-8")
        program, copy = self.start_on_refused_file(data)

        # New work is saved over the damaged file; the copy stays as it was.
        program.focus_main()
        program.add_task("Начать список заново")
        key("F2")
        wait_until("the new task in the file", lambda: file_outline(
            read_task_file(self.sandbox.task_file)[1])
            == [(1, "Начать список заново", "Progress", "True", "True", [])])
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(self.unreadable_copies(), [copy])
        key("alt+F4")
        self.assertEqual(program.wait_exit(), 0)

    def test_a_file_of_another_kind_is_refused(self):
        # Well-formed XML, but not a task list: the document element's name must match exactly.
        data = ('<?xml version="1.0" encoding="utf-8"?>\n'
                '<tasks><Task Name="Не моя задача" State="Progress"/></tasks>\n').encode("utf-8")
        program, copy = self.start_on_refused_file(data)
        # Closing without a change writes an empty list; the foreign file survives as the copy.
        program.focus_main()
        key("alt+F4")
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(list(read_task_file(self.sandbox.task_file)[1]), [])
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), data)


class HandEditedFile(Scenario):

    def test_odd_values_are_read_leniently_and_written_back_clean(self):
        self.sandbox.write_task_file("""<?xml version="1.0" encoding="utf-8"?>
<Tasks>
  <Task Name="  Ремонт на кухне  " State="Progress" Expanded="False">
    <RelatedDocuments>
      <Document FileName=" /home/user/Документы/смета.ods "/>
      <Document FileName="   "/>
    </RelatedDocuments>
    <Task Name="Выбрать плитку" State="Done"/>
  </Task>
  <Task State="done" Selected="True"/>
  <Task Name="Отпуск" State=" Rejected ">
    <Task Name="Купить билеты" State="Rejected" Expanded="False"/>
  </Task>
</Tasks>
""")
        program = self.start()
        program.main_window()
        # A collapsed task hides its sub-tasks; an unknown status reads as in progress.
        program.wait_outline([
            (0, "Задачи", ""),
            (1, "Ремонт на кухне", "В работе"),
            (1, "*** Untitled ***", "В работе"),
            (1, "Отпуск", "Отклонено"),
            (2, "Купить билеты", "Отклонено"),
        ], "the tree of a hand-edited file")
        self.assertEqual(program.selected_text(), "*** Untitled ***")

        program.focus_main()
        key("F2")
        wait_until("the file written by the program",
                   lambda: b"Untitled" in open(self.sandbox.task_file, "rb").read())
        _, root = read_task_file(self.sandbox.task_file)
        self.assertEqual(file_outline(root), [
            (1, "Ремонт на кухне", "Progress", "False", None, ["/home/user/Документы/смета.ods"]),
            (2, "Выбрать плитку", "Done", "True", None, []),
            (1, "*** Untitled ***", "Progress", "True", "True", []),
            (1, "Отпуск", "Rejected", "True", None, []),
            (2, "Купить билеты", "Rejected", "False", None, []),
        ])
        self.assertEqual(glob.glob(os.path.join(self.sandbox.data_dir, "*.unreadable")), [])
