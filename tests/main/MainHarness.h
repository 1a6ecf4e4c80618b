// SPDX-License-Identifier: MIT
#pragma once

#include "settings/AppSettings.h"
#include "tests/support/Fakes.h"
#include "tests/support/OffscreenWarnings.h"
#include "tests/support/TestMain.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

// The store the program's settings live in.
inline std::unique_ptr<QSettings> programSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Graywick"), QStringLiteral("Listra"));
}

// The real main window over scripted services and a task file of its own; the test then works
// it with keys and the mouse.
struct MainHarness {
    // Gone last, after the window has written its settings: the next window starts afresh.
    struct ClearSettings {
        ~ClearSettings() { programSettings()->clear(); }
    } clearSettings;
    FakeServices fakes;
    Services services = fakes.services();
    AppSettings settings;
    QTemporaryDir dir;
    QString taskFile;
    std::unique_ptr<frmMain> window;

    explicit MainHarness(const QByteArray &content = {}, frmMain::Options options = {})
    {
        [[maybe_unused]] static const bool quiet = (tolerateOffscreenLimits(), true); // installed once
        taskFile = options.taskFilePath.isEmpty() ? dir.filePath(QStringLiteral("Tasks.XML")) : options.taskFilePath;
        if (!content.isEmpty())
            writeFile(taskFile, content);
        options.taskFilePath = taskFile;
        window = std::make_unique<frmMain>(services, settings, options);
    }

    // Loads the window and waits until it is shown and the tree has the keyboard.
    void show()
    {
        window->Load();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        tv()->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_VERIFY(window->isLoadFinished());
    }

    TaskTree &tree() { return window->tree(); }
    TaskNode *root() { return window->tree().root(); }
    TaskTreeView *tv() { return window->tvTasks(); }
    QWidget *viewport() { return window->tvTasks()->viewport(); }
    FakePrompts &prompts() { return fakes.prompts; }
    QModelIndex indexOf(const TaskNode *node) { return tv()->taskModel()->indexOf(node); }
    void key(int key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(tv(), Qt::Key(key), mods); }

    TaskNode *task(TaskNode *parent, const QString &text, TaskStatus status = TaskStatus::Progress,
                   const QStringList &documents = {})
    {
        TaskNode *node = tree().addChild(parent, text);
        ApplyTaskStatus(tree(), status, node);
        tree().setRelatedDocuments(node, documents);
        return node;
    }

    void select(TaskNode *node)
    {
        tree().setSelected(node);
        tv()->EnsureVisible(node);
    }

    // A point on the node's text, in the viewport's coordinates.
    QPoint pointOf(TaskNode *node)
    {
        tv()->EnsureVisible(node);
        const QRect r = tv()->visualRect(indexOf(node));
        return QPoint(r.left() + 10, r.center().y());
    }

    // Presses the left button on from and moves onto to; lets go there unless the drag is to stay.
    void drag(TaskNode *from, TaskNode *to, bool release = true)
    {
        const QPoint start = pointOf(from), end = pointOf(to);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(viewport(), (start + end) / 2);
        QTest::mouseMove(viewport(), end);
        if (release)
            QTest::mouseRelease(viewport(), Qt::LeftButton, {}, end);
    }

    // Whether the user sees the node's row: rows under a closed task have no place in the view.
    bool shown(TaskNode *node) { return viewport()->rect().intersects(tv()->visualRect(indexOf(node))); }

    // Node texts in creation order, the top node left out, as "A|B|C".
    QString creationOrder()
    {
        QStringList texts;
        for (TaskNode *n = tree().nextCreated(root()); n; n = tree().nextCreated(n))
            texts << n->text();
        return texts.join(QLatin1Char('|'));
    }

    static QString childTexts(const TaskNode *node)
    {
        QStringList texts;
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text();
        return texts.join(QLatin1Char('|'));
    }

    // The last message box as "text [style]".
    QString lastMessage()
    {
        const FakePrompts::Message m = fakes.prompts.messages.value(fakes.prompts.messages.size() - 1);
        return m.text + QStringLiteral(" [%1]").arg(FakePrompts::styleName(m.style));
    }
};

inline QByteArray sampleTasks()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Tasks>"
                             "<Task Name=\"alpha\" State=\"Progress\" Expanded=\"False\">"
                             "<Task Name=\"alpha child\" State=\"Done\"/></Task>"
                             "<Task Name=\"beta\" State=\"Progress\" Selected=\"True\"><RelatedDocuments>"
                             "<Document FileName=\"/tmp/beta-notes.txt\"/></RelatedDocuments></Task>"
                             "<Task Name=\"gamma\" State=\"Rejected\"/></Tasks>");
}
