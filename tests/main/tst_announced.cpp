// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include <QAccessible>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

// The main window as a screen reader is told about it.
class AnnouncedTest : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void mainWindowNamesItsButtonsEntriesAndRows()
    {
        MainHarness h(sampleTasks()); // alpha (closed, one done sub-task), beta, gamma (rejected)
        h.show();
        const auto childTexts = [](QObject *object, const std::function<QString(QAccessibleInterface *)> &text) {
            QStringList texts;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(object);
            for (int i = 0; a && i < a->childCount(); ++i)
                if (const QString t = text(a->child(i)); !t.isEmpty())
                    texts << t;
            return texts;
        };

        // Picture buttons are named by their tooltips.
        const QStringList buttons
            = childTexts(h.window->findChild<QToolBar *>(QStringLiteral("tbMain")), [](QAccessibleInterface *c) {
                  return c->role() == QAccessible::Separator ? QString() : c->text(QAccessible::Name);
              });
        QCOMPARE(buttons,
                 (QStringList {
                     QStringLiteral("Сохранить список задач (F2)"), QStringLiteral("Добавить новую задачу (Ctrl+Ins)"),
                     QStringLiteral("Добавить новую подзадачу (Ins)"), QStringLiteral("Править задачу (F3)"),
                     QStringLiteral("Удалить задачу (Del)"), QStringLiteral("Переместить вниз (Ctrl+Down)"),
                     QStringLiteral("Переместить вверх (Ctrl+Up)"), QStringLiteral("Установить статус задачи"),
                     QStringLiteral("Настройки программы (Ctrl+O)"),
                     QStringLiteral("Показать информацию о программе (Shift+F1)")}));

        // Status entries: the status as the name, its key as the shortcut.
        QMenu *menu = h.window->statusButton()->menu();
        QCOMPARE(childTexts(menu,
                            [](QAccessibleInterface *c) {
                                return c->text(QAccessible::Name) + u'|' + c->text(QAccessible::Accelerator);
                            }),
                 (QStringList {QStringLiteral("Выполнено|Alt+1"), QStringLiteral("В работе|Alt+2"),
                               QStringLiteral("Отклонено|Alt+3")}));

        // Rows: the text as the name, the status, the paperclip and the level as the description.
        const auto rows = [&] {
            return childTexts(h.tv(), [](QAccessibleInterface *c) {
                if (c->role() == QAccessible::ColumnHeader)
                    return QString();
                return c->text(QAccessible::Name) + u'|' + c->text(QAccessible::Description);
            });
        };
        QCOMPARE(rows(),
                 (QStringList {QStringLiteral("Задачи|уровень 1"), QStringLiteral("alpha|В работе, уровень 2"),
                               QStringLiteral("beta|В работе, есть документы, уровень 2"),
                               QStringLiteral("gamma|Отклонено, уровень 2")}));
        h.select(h.root()->child(0)->child(0));
        QVERIFY(rows().contains(QStringLiteral("alpha child|Выполнено, уровень 3")));
    }
};

LISTRA_TEST_MAIN(AnnouncedTest)
#include "tst_announced.moc"
