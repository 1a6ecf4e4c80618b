"""Starting and ending the program: the first start, the hidden start, Escape and the
setting that decides what it does."""

import os
import time

from harness import (Scenario, file_outline, find, find_all, gone, is_viewable, key, name,
                     read_settings, read_task_file, role, states, text_of, title_bar, tray_icons,
                     wait_until, x_windows)

TOOLBAR = [
    "Сохранить список задач (F2)",
    "Добавить новую задачу (Ctrl+Ins)",
    "Добавить новую подзадачу (Ins)",
    "Править задачу (F3)",
    "Удалить задачу (Del)",
    "Переместить вниз (Ctrl+Down)",
    "Переместить вверх (Ctrl+Up)",
    "Установить статус задачи",
    "Настройки программы (Ctrl+O)",
    "Показать информацию о программе (Shift+F1)",
]


def stays_hidden(test, program, seconds=1.5):
    """Checks for a while that the program runs in the tray without a window on screen."""
    # The icon comes last in the start, after the window has been placed.
    wait_until("the program's icon in the notification area", lambda: tray_icons(program.pid))
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        test.assertTrue(program.running(), "the program ended")
        test.assertEqual(x_windows(program.pid), [], "a window is on screen")
        frame = program.frame("Listra", showing=False)
        test.assertNotIn("showing", states(frame))
        time.sleep(0.2)


class FirstStart(Scenario):

    def test_first_start_without_a_task_file(self):
        program = self.start()
        frame = program.main_window()
        wid = program.x_window()
        self.assertTrue(is_viewable(wid))
        self.assertEqual(title_bar(wid), "Listra")
        program.wait_outline([(0, "Задачи", "")], "the tree of a first start")
        self.assertEqual(program.selected_text(), "Задачи")

        # The toolbar shows pictures; a screen reader hears what each button does.
        toolbar = find_all(frame, lambda a: role(a) == "tool bar")[0]
        buttons = [name(b) for b in find_all(toolbar, lambda a: role(a) == "push button")]
        self.assertEqual(buttons, TOOLBAR)

        # The data folder is made at once; the task file only when something is saved.
        self.assertTrue(os.path.isdir(self.sandbox.data_dir))
        self.assertFalse(os.path.exists(self.sandbox.task_file))

        program.focus_main()
        key("alt+F4")
        self.assertEqual(program.wait_exit(), 0)
        raw, root = read_task_file(self.sandbox.task_file)
        self.assertEqual(root.tag, "Tasks")
        self.assertEqual(list(root), [])
        # The exit wrote the defaults of a first start.
        settings = read_settings(self.sandbox.config_file)
        self.assertEqual(settings.get("Collapse on ESC"), "true")
        self.assertEqual(settings.get("Colors/Done Tasks Color"), "47360")
        self.assertEqual(settings.get("Effects/Slide Direction"), "7")


class HiddenStart(Scenario):

    def test_autorun_starts_hidden_and_a_second_start_shows_it(self):
        program = self.start("/Autorun")
        program.app()
        stays_hidden(self, program)
        # The window exists, it is only not shown.
        self.assertNotEqual(x_windows(program.pid, visible_only=False), [])

        # A second start brings the hidden window up and ends.
        second = self.start()
        self.assertEqual(second.wait_exit(), 0)
        wid = program.x_window()
        wait_until("the window on screen", lambda: is_viewable(wid))
        program.wait_outline([(0, "Задачи", "")])
        program.focus_main()
        key("alt+F4")
        self.assertEqual(program.wait_exit(), 0)

    def test_the_switch_in_other_spellings(self):
        # Letter case and blanks around the switch do not matter.
        hidden = self.start("  /autoRUN ")
        hidden.app()
        stays_hidden(self, hidden)
        hidden.kill()

        # Anything more than the switch is a normal start.
        shown = self.start("/Autorun", "now")
        shown.main_window()
        self.assertTrue(is_viewable(shown.x_window()))
        shown.focus_main()
        key("alt+F4")
        self.assertEqual(shown.wait_exit(), 0)


class EscapeKey(Scenario):

    def test_escape_hides_the_window_to_the_tray(self):
        program = self.start()
        program.main_window()
        wid = program.focus_main()
        key("Escape")
        wait_until("the window to leave the screen", lambda: not is_viewable(wid))
        stays_hidden(self, program)
        self.assertFalse(os.path.exists(self.sandbox.task_file), "hiding saved the tasks")

    def test_escape_closes_the_program_when_collapse_on_esc_is_off(self):
        self.sandbox.write_config("[General]\nCollapse on ESC=false\n")
        program = self.start()
        program.main_window()
        program.focus_main()
        program.add_task("Сдать книги в библиотеку")
        key("Escape")
        self.assertEqual(program.wait_exit(), 0)
        # Closing saved the task first.
        _, root = read_task_file(self.sandbox.task_file)
        self.assertEqual(file_outline(root),
                         [(1, "Сдать книги в библиотеку", "Progress", "True", "True", [])])
        settings = read_settings(self.sandbox.config_file)
        self.assertTrue(any(k.startswith("Window placement") for k in settings), settings)
        self.assertEqual(settings.get("Collapse on ESC"), "false")


class SettingsDialog(Scenario):

    def test_escape_action_chosen_in_the_settings_dialog(self):
        program = self.start()
        program.main_window()
        program.focus_main()
        key("ctrl+o")
        dialog = program.frame("Настройки")

        # Tab to the Escape action, as a keyboard user does, and choose to close the program.
        def focused():
            return find(dialog, lambda a: "focused" in states(a) and role(a) == "combo box")
        for _ in range(30):
            combo = focused()
            if combo is not None and "Свернуть главное окно в трэй" in (
                    name(combo), text_of(combo)) and "Действие ESC" in labelled_by(combo):
                break
            key("Tab")
        else:
            self.fail("the Escape action never took the focus")
        key("Up")
        wait_until("the new choice", lambda: name(focused()) == "Закрыть программу")
        key("Return")
        wait_until("the dialog to close", lambda: gone(dialog))
        # OK stores the settings at once.
        wait_until("the stored choice", lambda: read_settings(
            self.sandbox.config_file).get("Collapse on ESC") == "false")

        program.wait_main_active()
        key("Escape")
        self.assertEqual(program.wait_exit(), 0)


def labelled_by(accessible):
    """The text of the labels that name a control (its buddy label)."""
    from harness import atspi
    texts = []
    for relation in accessible.get_relation_set():
        if relation.get_relation_type() == atspi().RelationType.LABELLED_BY:
            for i in range(relation.get_n_targets()):
                texts.append(name(relation.get_target(i)))
    return " ".join(texts)
