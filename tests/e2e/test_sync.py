"""Another program (a sync service) replaces the task file under the running program."""

import glob
import os
import signal

from desktop import Scenario, key, read_tasks

PROGRESS = "В работе"


def version(*names):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<Tasks>'
            + "".join(f'<Task Name="{n}" State="Progress" />' for n in names) + "</Tasks>\n")


class SyncedFile(Scenario):

    def replace(self, data):  # as sync tools do: a new file renamed over the old one
        self.write(".local/share/Graywick/Listra/Tasks.part", data)
        os.replace(os.path.join(self.data_dir, "Tasks.part"), self.task_file)

    def test_nothing_unsaved_shows_the_new_version(self):
        self.write(".local/share/Graywick/Listra/Tasks.XML", version("Купить хлеб"))
        program = self.start()
        program.focus_main()
        self.replace(version("Купить хлеб", "С ноутбука"))
        program.wait_outline([(0, "Задачи", ""), (1, "Купить хлеб", PROGRESS), (1, "С ноутбука", PROGRESS)])

    def test_unsaved_changes_ask_at_f2_and_a_signal_keeps_both_versions(self):
        self.write(".local/share/Graywick/Listra/Tasks.XML", version("Купить хлеб"))
        program = self.start()
        program.focus_main()
        program.add_task("Позвонить маме")
        self.replace(version("Купить хлеб", "С ноутбука"))
        key("F2")
        _, text, buttons = program.message_box()
        self.assertIn("изменён другой программой", text)
        self.assertEqual(sorted(buttons), ["Да", "Нет", "Отмена"])
        program.answer("Отмена")
        self.assertEqual([t[1] for t in read_tasks(self.task_file)], ["Купить хлеб", "С ноутбука"])

        program.process.send_signal(signal.SIGTERM)
        self.assertEqual(program.wait_exit(5), 0)
        self.assertEqual([t[1] for t in read_tasks(self.task_file)], ["Купить хлеб", "Позвонить маме"])
        [other] = glob.glob(self.task_file + ".*.conflict")
        self.assertEqual([t[1] for t in read_tasks(other)], ["Купить хлеб", "С ноутбука"])
