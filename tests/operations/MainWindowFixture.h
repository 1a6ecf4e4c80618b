#pragma once

#include "tests/support/Fakes.h"
#include "tests/support/TestMain.h"

#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include <QTemporaryDir>
#include <memory>

// The real main window, loaded from an empty task file in a temporary folder, with scripted
// fakes for everything modal. Tasks for a test are put in through the tree itself; what the
// test checks is then done with keys and the mouse.
struct MainWindowFixture {
    // The offscreen platform reports what it cannot do (size hints, raising, keyboard grabs
    // for popups); that is the test platform talking, not the program.
    struct QuietPlatform {
        static inline QtMessageHandler previous = nullptr;
        QuietPlatform()
        {
            previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &msg) {
                if (msg.startsWith(QLatin1String("This plugin does not support")))
                    return;
                previous(type, context, msg);
            });
        }
        ~QuietPlatform() { qInstallMessageHandler(previous); }
    } quiet;
    FakeServices fakes;
    Services services = fakes.services();
    AppSettings settings;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> window;

    MainWindowFixture()
    {
        window = std::make_unique<frmMain>(services, settings,
                                           frmMain::Options{dir.filePath(QStringLiteral("Tasks.XML")), false, false});
        window->Load();
        window->activateWindow();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("main window was not exposed");
        tvTasks()->setFocus();
    }

    TaskTree &tree() { return window->tree(); }
    TaskNode *root() { return window->tree().root(); }
    TaskTreeView *tvTasks() { return window->tvTasks(); }
    QWidget *viewport() { return window->tvTasks()->viewport(); }
    FakePrompts &prompts() { return fakes.prompts; }

    TaskNode *task(TaskNode *parent, const QString &text, TaskStatus status = TaskStatus::Progress,
                   const QStringList &documents = {})
    {
        TaskNode *node = tree().addChild(parent, text);
        ApplyTaskStatus(tree(), status, node, settings.statusColors());
        tree().setRelatedDocuments(node, documents);
        return node;
    }

    void select(TaskNode *node)
    {
        tree().setSelected(node);
        tvTasks()->EnsureVisible(node);
    }

    // The middle of the node's row, in the viewport's coordinates.
    QPoint pointOf(TaskNode *node)
    {
        tvTasks()->EnsureVisible(node);
        const QRect r = tvTasks()->visualRect(tvTasks()->taskModel()->indexOf(node));
        return QPoint(r.left() + 10, r.center().y());
    }

    // A point below the last row.
    QPoint emptySpace() { return QPoint(viewport()->width() / 2, viewport()->height() - 3); }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(tvTasks(), Qt::Key(key), modifiers);
    }

    // Whether the view shows the node: every ancestor expanded and its row in the viewport.
    bool shown(TaskNode *node)
    {
        const QModelIndex index = tvTasks()->taskModel()->indexOf(node);
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) {
            if (!tvTasks()->isExpanded(p))
                return false;
        }
        const QRect r = tvTasks()->visualRect(index);
        return r.isValid() && viewport()->rect().intersects(r);
    }

    // Node texts in creation order, the top node left out.
    QStringList creationOrder()
    {
        QStringList texts;
        for (TaskNode *n = tree().nextCreated(tree().root()); n; n = tree().nextCreated(n))
            texts << n->text();
        return texts;
    }

    static QStringList childTexts(const TaskNode *node)
    {
        QStringList texts;
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text();
        return texts;
    }
};
