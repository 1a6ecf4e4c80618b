// SPDX-License-Identifier: MIT
// The task operations as the user runs them: each one through the real tree, item model and
// a shown tree view, timed until the view has caught up (layout and paint included).

#include "bench/Bench.h"
#include "bench/BenchSupport.h"
#include "bench/Generator.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "components/TaskEditor.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "ui/main/MainContext.h"
#include "ui/main/TaskDragDrop.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskOperations.h"
#include "ui/main/TaskSearch.h"
#include "ui/main/TaskTreeView.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Answers every question with Yes and the input box with a set phrase.
class BenchPrompts : public Prompts
{
public:
    QString phrase;
    MsgAnswer messageBox(QWidget *, const QString &, MsgStyle style, const QString &) override
    {
        return style == MsgStyle::YesNoQuestion || style == MsgStyle::YesNoCritical ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    QString inputBox(QWidget *, const QString &, const QString &, const QString &) override { return phrase; }
    MsgAnswer showError(QWidget *, const QString &, MsgStyle, const QString &) override { return MsgAnswer::Ok; }
    void showAboutBox(QWidget *) override { }
};

class AcceptingEditor : public TaskEditor
{
public:
    void setCaption(const QString &) override { }
    void setText(const QString &) override { }
    void setDocuments(const QStringList &) override { }
    bool exec() override { return true; }
    bool Accepted() const override { return true; }
    QString text() const override { return QStringLiteral("Новая задача из замера"); }
    QStringList documents() const override { return {QStringLiteral("/home/user/Документы/план.odt")}; }
};

class AcceptingEditors : public TaskEditorFactory
{
public:
    std::unique_ptr<TaskEditor> create(QWidget *) override { return std::make_unique<AcceptingEditor>(); }
};

// A generated list with one large branch in the middle of the top level: a task with
// `branchSize` descendants (a hundred sub-tasks, each with its own), shown expanded.
struct Scene {
    TaskTree tree;
    TaskItemModel model {tree};
    TaskTreeView view;
    BenchPrompts prompts;
    AcceptingEditors editors;
    Services services;
    AppSettings settings;
    MainContext ctx;
    std::unique_ptr<TaskOperations> ops;
    std::unique_ptr<TaskSearch> search;
    std::unique_ptr<TaskDragDrop> dragDrop;
    TaskNode *big = nullptr;
    int branchSize = 0;

    explicit Scene(int tasks)
    {
        branchSize = std::max(10, tasks / 10);
        BenchGenerator::fillTree(tree, tasks - branchSize);
        services.prompts = &prompts;
        services.editors = &editors;
        ctx.window = &view;
        ctx.tree = &tree;
        ctx.view = &view;
        ctx.services = &services;
        ctx.settings = &settings;
        model.setSettings(&settings);
        ops = std::make_unique<TaskOperations>(ctx);
        search = std::make_unique<TaskSearch>(ctx);
        dragDrop = std::make_unique<TaskDragDrop>(ctx, *ops);
        view.setFont(QFont(QStringLiteral("Georgia"), 12));
        view.setTaskModel(&model);
        view.resize(900, 700);
        view.show();
        addBranch();
        settle();
    }

    void addBranch()
    {
        tree.beginBulkLoad();
        const int row = tree.root()->childCount() / 2;
        big = tree.insertChild(tree.root(), row, QStringLiteral("Большой проект"));
        ApplyTaskStatus(tree, TaskStatus::Progress, big);
        tree.setExpanded(big, true);
        const int perChild = std::max(1, (branchSize - 1) / 100 - 1);
        int made = 1;
        for (int i = 0; made < branchSize; ++i) {
            TaskNode *child = tree.addChild(big, QStringLiteral("Этап %1").arg(i + 1));
            tree.setExpanded(child, true);
            ++made;
            for (int j = 0; j < perChild && made < branchSize; ++j, ++made)
                tree.addChild(child, QStringLiteral("Шаг %1.%2 проекта").arg(i + 1).arg(j + 1));
        }
        tree.endBulkLoad();
        select(big);
    }

    void select(TaskNode *node)
    {
        tree.setSelected(node);
        view.EnsureVisible(node);
    }

    // Lets the view do the layout and painting that the last change asked for.
    static void settle() { QCoreApplication::processEvents(); }

    TaskNode *lastCreated() const
    {
        TaskNode *last = tree.root();
        for (TaskNode *n = tree.root(); n; n = tree.nextCreated(n))
            last = n;
        return last;
    }
};

double timeMs(const std::function<void()> &fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    Scene::settle();
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char *name, int tasks, double ms)
{
    benchReport(QString::fromLatin1(name), tasks, ms, QStringLiteral("ms"));
}

void runOperations(const BenchInput &in)
{
    if (in.tasks <= 0) // an existing file: its shape is unknown, so there is no branch to work on
        return;
    const int runs = std::min(BenchSupport::runsFor(in.tasks), 7);
    Scene s(in.tasks);

    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        TaskNode *anchor = s.big->child(s.big->childCount() / 2);
        s.select(anchor);
        Scene::settle();
        best = std::min(best, timeMs([&] { s.ops->AddTask(false); }));
        s.tree.remove(s.tree.selected());
        Scene::settle();
    }
    report("add", in.tasks, best);

    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.big);
        Scene::settle();
        best = std::min(
            best, timeMs([&] { s.ops->SetTaskStatus(QLatin1String(i % 2 ? "SetStatusProgress" : "SetStatusDone")); }));
    }
    report("mark_subtree", in.tasks, best);

    // The same with the sub-task counters shown: the drawn rows count their sub-trees afresh.
    s.settings.ShowSubTaskCounter = true;
    s.view.applySettings(s.settings);
    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.big);
        Scene::settle();
        const bool done = s.big->status() == TaskStatus::Done;
        best = std::min(
            best, timeMs([&] { s.ops->SetTaskStatus(QLatin1String(done ? "SetStatusProgress" : "SetStatusDone")); }));
    }
    s.settings.ShowSubTaskCounter = false;
    s.view.applySettings(s.settings);
    report("mark_counted", in.tasks, best);

    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.big);
        Scene::settle();
        best = std::min(best, timeMs([&] { i % 2 ? s.ops->MoveTaskUp() : s.ops->MoveTaskDown(); }));
    }
    report("move_subtree", in.tasks, best);

    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.settings.UseBackColor = i % 2 == 0;
        best = std::min(best, timeMs([&] { s.view.applySettings(s.settings); }));
    }
    report("recolor", in.tasks, best);

    // Each status of the filter and back to every task: the slowest switch, each its best.
    double slowest = 0;
    for (const std::optional<TaskStatus> filter : {std::optional(TaskStatus::Done), std::optional(TaskStatus::Progress),
                                                   std::optional(TaskStatus::Rejected), std::optional<TaskStatus>()}) {
        best = 1e300;
        for (int i = 0; i < runs; ++i) {
            s.model.setFilter(filter ? std::nullopt : std::optional(TaskStatus::Done));
            Scene::settle();
            best = std::min(best, timeMs([&] { s.model.setFilter(filter); }));
        }
        slowest = std::max(slowest, best);
    }
    report("filter_switch", in.tasks, slowest);

    // Marking the large branch done while the filter shows the tasks in progress: it goes.
    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.big);
        s.ops->SetTaskStatus(QStringLiteral("SetStatusProgress"));
        s.model.setFilter(TaskStatus::Progress);
        s.select(s.big);
        Scene::settle();
        best = std::min(best, timeMs([&] { s.ops->SetTaskStatus(QStringLiteral("SetStatusDone")); }));
        if (s.big->status() != TaskStatus::Done)
            std::fprintf(stderr, "mark_filtered marked nothing\n");
        s.model.setFilter(std::nullopt);
        s.ops->Undo();
        Scene::settle();
    }
    s.ops->history().clear();
    report("mark_filtered", in.tasks, best);

    // Drop the large branch on another top-level task, then back on the top node.
    best = 1e300;
    TaskNode *home = s.big->parent();
    TaskNode *elsewhere = s.tree.root()->child(s.big->row() == 0 ? 1 : 0);
    for (int i = 0; i < runs; ++i) {
        TaskNode *target = i % 2 ? home : elsewhere;
        s.view.setDropHighlight(target);
        Scene::settle();
        best = std::min(best, timeMs([&] { s.dragDrop->onDragDropped(s.big, target); }));
    }
    if (s.big->parent() != home)
        s.tree.reparent(s.big, home);
    s.ops->history().clear(); // moved behind the history's back
    report("reparent_subtree", in.tasks, best);

    s.prompts.phrase = QStringLiteral("несуществующая фраза");
    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.tree.root());
        Scene::settle();
        best = std::min(best, timeMs([&] { s.search->FindTask(false); }));
    }
    report("search_none", in.tasks, best);

    TaskNode *last = s.lastCreated();
    s.tree.setText(last, last->text() + QStringLiteral(" Последняя Иголка"));
    s.prompts.phrase = QStringLiteral("последняя иголка");
    best = 1e300;
    for (int i = 0; i < runs; ++i) {
        s.select(s.tree.root());
        s.view.scrollToTop();
        Scene::settle();
        best = std::min(best, timeMs([&] { s.search->FindTask(false); }));
        if (s.tree.selected() != last)
            std::fprintf(stderr, "search_last found the wrong task\n");
    }
    report("search_last", in.tasks, best);

    // Undo and redo of a step on the large branch, the step itself done outside the timing.
    const auto undoRedo = [&](const char *undoName, const char *redoName, const std::function<void()> &step) {
        double bestUndo = 1e300, bestRedo = 1e300;
        for (int i = 0; i < runs; ++i) {
            s.select(s.big);
            Scene::settle();
            step();
            Scene::settle();
            bestUndo = std::min(bestUndo, timeMs([&] { s.ops->Undo(); }));
            bestRedo = std::min(bestRedo, timeMs([&] { s.ops->Redo(); }));
            s.ops->Undo();
            Scene::settle();
        }
        report(undoName, in.tasks, bestUndo);
        report(redoName, in.tasks, bestRedo);
    };
    undoRedo("undo_remove_subtree", "redo_remove_subtree", [&] { s.ops->RemoveTask(); });
    undoRedo("undo_mark_subtree", "redo_mark_subtree", [&] {
        s.ops->SetTaskStatus(
            QLatin1String(s.big->status() == TaskStatus::Done ? "SetStatusProgress" : "SetStatusDone"));
    });
    undoRedo("undo_reparent_subtree", "redo_reparent_subtree", [&] {
        s.view.setDropHighlight(elsewhere);
        s.dragDrop->onDragDropped(s.big, elsewhere);
    });

    // Destructive: each run takes the branch away, and it is built again outside the timing.
    best = 1e300;
    for (int i = 0; i < std::min(runs, 3); ++i) {
        s.select(s.big);
        Scene::settle();
        best = std::min(best, timeMs([&] { s.ops->RemoveTask(); }));
        s.addBranch();
        Scene::settle();
    }
    report("remove_subtree", in.tasks, best);
}

} // namespace

LISTRA_BENCH_GROUP(operations, 40, runOperations);
