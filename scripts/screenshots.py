#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Takes the screenshots of docs/screenshots in a private X desktop.

    screenshots.py --binary build/listra --out docs/screenshots

The program runs as a user of its own with a prepared task list; the main window, the task
editor (F3) and the settings dialog (Ctrl+O) are captured with ImageMagick's `import`.
"""

import argparse
import os
import subprocess
import sys
import time
import xml.sax.saxutils

sys.dont_write_bytecode = True
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import desktop  # noqa: E402

HOME_DOCS = "/home/anna/Документы"

# (text, status, expanded, documents, sub-tasks)
TASKS = [
    ("Работа", "Progress", True, [], [
        ("Квартальный отчёт для правления", "Progress", True, [
            f"{HOME_DOCS}/Отчёты/Отчёт за 3 квартал.odt",
            f"{HOME_DOCS}/Отчёты/Продажи по регионам.ods",
            f"{HOME_DOCS}/Отчёты",
            "https://wiki.example.org/finance/quarterly",
        ], [
            ("Собрать цифры продаж по регионам", "Done", True, [], []),
            ("Сверить расходы с бухгалтерией", "Done", True, [], []),
            ("Подготовить графики и сводную таблицу", "Progress", True, [], []),
            ("Согласовать текст с руководителем", "Progress", True, [], []),
        ]),
        ("Продлить договор с поставщиком бумаги", "Rejected", True, [], []),
        ("Собеседование с кандидатом в аналитики", "Done", True,
         [f"{HOME_DOCS}/Кандидаты/Резюме — Смирнов.pdf"], []),
        ("Ретроспектива команды", "Progress", False, [], [
            ("Собрать отзывы участников", "Done", True, [], []),
            ("Выбрать формат встречи", "Progress", True, [], []),
        ]),
        ("Перенести почту на новый сервер", "Progress", True, [], []),
    ]),
    ("Дом", "Progress", True, [], [
        ("Ремонт на кухне", "Progress", True, [f"{HOME_DOCS}/Дом/Смета ремонта.ods"], [
            ("Выбрать плитку", "Done", True, [], []),
            ("Заказать столешницу", "Progress", True, [], []),
            ("Найти электрика через знакомых", "Rejected", True, [], []),
            ("Покрасить потолок", "Progress", True, [], []),
        ]),
        ("Оплатить коммунальные услуги", "Done", True, [], []),
        ("Записать кота к ветеринару", "Progress", True, [], []),
        ("Купить продукты на неделю", "Progress", False, [], [
            ("Овощи и фрукты", "Progress", True, [], []),
            ("Крупы и макароны", "Progress", True, [], []),
        ]),
    ]),
    ("Учёба", "Progress", True, [], [
        ("Курс по статистике: модуль 3", "Progress", True,
         ["https://courses.example.org/statistics/module-3"], []),
        ("Прочитать «Мастер и Маргарита»", "Done", True, [], []),
        ("Выучить 50 новых английских слов", "Rejected", True, [], []),
    ]),
    ("Отпуск в августе", "Progress", True, [], [
        ("Забронировать гостиницу в Казани", "Done", True, [], []),
        ("Купить билеты на поезд", "Progress", True, [], []),
        ("Оформить страховку", "Progress", True, [], []),
    ]),
    ("Позвонить маме в воскресенье", "Done", True, [], []),
    ("Продлить подписку на журнал", "Rejected", True, [], []),
]

SELECTED = "Квартальный отчёт для правления"


def task_xml(tasks, indent=1):
    lines = []
    for text, state, expanded, documents, children in tasks:
        attrs = (f'Name={xml.sax.saxutils.quoteattr(text)} State="{state}" '
                 f'Expanded="{"True" if expanded else "False"}"')
        if text == SELECTED:
            attrs += ' Selected="True"'
        pad = "  " * indent
        if not documents and not children:
            lines.append(f"{pad}<Task {attrs}/>")
            continue
        lines.append(f"{pad}<Task {attrs}>")
        if documents:
            lines.append(f"{pad}  <RelatedDocuments>")
            for document in documents:
                lines.append(f"{pad}    <Document FileName={xml.sax.saxutils.quoteattr(document)}/>")
            lines.append(f"{pad}  </RelatedDocuments>")
        lines.extend(task_xml(children, indent + 1))
        lines.append(f"{pad}</Task>")
    return lines


def frame_of(wid):
    """The window manager's frame around a client window: its top-level ancestor."""
    current = wid
    while True:
        out = subprocess.run(["xwininfo", "-tree", "-id", str(current)], capture_output=True,
                             text=True, check=True).stdout
        line = next(l for l in out.splitlines() if "Parent window id:" in l)
        if "(the root window)" in line:
            return current
        current = int(line.split("Parent window id:")[1].split()[0], 16)


def frame_rect(wid):
    x, y, width, height = desktop.geometry(frame_of(wid))
    return x, y, width, height


def capture(path, rects):
    """Saves the part of the screen that holds all the given rectangles."""
    left = min(r[0] for r in rects)
    top = min(r[1] for r in rects)
    right = max(r[0] + r[2] for r in rects)
    bottom = max(r[1] + r[3] for r in rects)
    geometry = f"{right - left}x{bottom - top}+{left}+{top}"
    subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage", path], check=True)
    print(f"saved {path} ({geometry})")


def take(args):
    from desktop import key, name, role, wait_until

    desktop.BINARY = os.path.abspath(args.binary)
    sandbox = desktop.Scenario()  # a user of its own, outside a test run
    sandbox.setUp()
    try:
        sandbox.write(".local/share/Graywick/Listra/Tasks.XML",
                      '<?xml version="1.0" encoding="utf-8"?>\n<Tasks>\n'
                      + "\n".join(task_xml(TASKS)) + "\n</Tasks>\n")
        program = sandbox.start()
        program.main_window()
        wid = program.x_window()
        desktop.run(["xdotool", "windowsize", "--sync", str(wid), "760", "680"], check=True)
        desktop.run(["xdotool", "windowmove", "--sync", str(wid), "60", "40"], check=True)
        wait_until("the window at its size", lambda: desktop.geometry(wid)[2:] == (760, 680))
        program.focus_main()
        wait_until("the selected task", lambda: program.selected() == SELECTED)
        time.sleep(1.0)  # let the hover and focus effects settle
        main = frame_rect(wid)
        os.makedirs(args.out, exist_ok=True)
        capture(os.path.join(args.out, "main-window.png"), [main])

        key("F3")
        editor = program.frame("Редактирование задачи")
        editor_wid = program.x_window("^Редактирование задачи")
        time.sleep(1.0)
        capture(os.path.join(args.out, "task-editor.png"), [main, frame_rect(editor_wid)])
        key("Escape")
        wait_until("the editor to close", lambda: desktop.gone(editor))
        program.wait_active()

        key("ctrl+o")
        dialog = wait_until("the settings dialog", lambda: next(
            (f for f in desktop.children(program.app())
             if name(f) != "Listra" and role(f) in ("dialog", "frame")
             and "showing" in desktop.states(f)), None))
        title = name(dialog)
        settings_wid = program.x_window("^" + title)
        time.sleep(1.0)
        capture(os.path.join(args.out, "settings.png"), [main, frame_rect(settings_wid)])
        key("Escape")
        wait_until("the settings dialog to close", lambda: desktop.gone(dialog))
        program.wait_active()
        key("alt+F4")
        program.wait_exit()
        return 0
    finally:
        sandbox.tearDown()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if os.environ.get("LISTRA_SCREENSHOTS_INNER") == "1":
        desktop.start_session()
        return take(args)
    missing = desktop.missing_tools()
    if missing:
        print("missing: " + ", ".join(missing) + " (scripts/install-deps.sh --tests installs them)")
        return 1
    return desktop.run_in_private_desktop(
        [sys.executable, os.path.abspath(__file__), "--binary", os.path.abspath(args.binary),
         "--out", os.path.abspath(args.out)],
        {"LISTRA_SCREENSHOTS_INNER": "1"})


if __name__ == "__main__":
    sys.exit(main())
