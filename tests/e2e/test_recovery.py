# SPDX-License-Identifier: MIT
"""Changes that were never saved come back after the program was killed."""

import glob
import os
import signal

from desktop import Scenario, key, read_tasks, wait_until

PROGRESS, DONE = "В работе", "Выполнено"


class Recovery(Scenario):

    def journal(self):
        found = glob.glob(os.path.join(self.home, ".local/state/Graywick/Listra/*.journal"))
        return found[0] if len(found) == 1 else None

    def settled_journal_size(self):  # once a command's records are all written
        sizes = []
        wait_until("the journal to settle", lambda: sizes.append(os.path.getsize(self.journal()))
                   or sizes[-3:] == [sizes[-1]] * 3 and len(sizes) >= 3)
        return sizes[-1]

    def kill(self, program):
        program.process.send_signal(signal.SIGKILL)
        program.wait_exit()

    def test_killed_program_comes_back_with_every_completed_change(self):
        first = self.start()
        first.focus_main()
        first.add_task("Позвонить в банк")
        first.add_task("Уточнить реквизиты")
        first.select("Позвонить в банк")
        first.add_task("Купить бумагу", beside=True)
        key("alt+1")
        key("ctrl+Up")
        shown = [(0, "Задачи", ""), (1, "Купить бумагу", DONE), (1, "Позвонить в банк", PROGRESS),
                 (2, "Уточнить реквизиты", PROGRESS)]
        first.wait_outline(shown)
        wait_until("the journal", self.journal)
        self.settled_journal_size()
        self.kill(first)
        self.assertFalse(os.path.exists(self.task_file))

        second = self.start()
        second.focus_main()
        second.wait_outline(shown)
        self.assertEqual(second.selected(), "Купить бумагу")
        # A kill in the middle of writing the next command: that command alone is lost.
        before = self.settled_journal_size()
        second.add_task("Недописанная", beside=True)
        wait_until("the new record", lambda: os.path.getsize(self.journal()) > before + 8)
        self.kill(second)
        os.truncate(self.journal(), before + 5)

        third = self.start()
        third.focus_main()
        third.wait_outline(shown)
        key("alt+F4")
        self.assertEqual(third.wait_exit(), 0)
        # The exit writes what came back, and a saved file needs no journal.
        self.assertEqual(read_tasks(self.task_file), [
            (1, "Купить бумагу", "Done", "True", "True"),
            (1, "Позвонить в банк", "Progress", "True", None),
            (2, "Уточнить реквизиты", "Progress", "True", None)])
        self.assertIsNone(self.journal())
        with open(third.log, encoding="utf-8") as log:
            self.assertIn("Восстановлены несохранённые изменения: 5.", log.read())
