// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "storage/TaskFile.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <functional>

namespace {

// Where the model shows something other than the tree: shape, nodes or labels. Under a status
// filter the rows are worked out here from the tree alone: the tasks with a match in their sub-tree.
QString mismatch(const TaskItemModel &model, const TaskTree &tree, std::optional<TaskStatus> filter = {})
{
    const std::function<bool(const TaskNode *)> holds = [&](const TaskNode *n) {
        bool found = !filter || n->status() == *filter;
        for (int r = 0; r < n->childCount() && !found; ++r)
            found = holds(n->child(r));
        return found;
    };
    for (std::vector<const TaskNode *> stack {tree.root()}; !stack.empty();) {
        const TaskNode *node = stack.back();
        stack.pop_back();
        const QModelIndex index = model.indexOf(node);
        if (TaskItemModel::nodeOf(index) != node || model.data(index) != TaskItemModel::displayText(node->text()))
            return node->text();
        int row = 0;
        for (int r = 0; r < node->childCount(); ++r) {
            const TaskNode *child = node->child(r);
            const QModelIndex c = holds(child) ? model.index(row++, 0, index) : QModelIndex();
            if (model.indexOf(child) != c
                || (c.isValid() && (TaskItemModel::nodeOf(c) != child || c.parent() != index)))
                return child->text();
            if (c.isValid())
                stack.push_back(child);
        }
        if (model.rowCount(index) != row)
            return node->text();
    }
    return model.rowCount() == 1 && model.index(0, 0) == model.indexOf(tree.root()) ? QString()
                                                                                    : QStringLiteral("top rows");
}

const QByteArray kSample = R"(<Tasks>
  <Task Name="Отчёт">
    <Task Name="Собрать цифры" State="Done" Expanded="False"><Task Name="Продажи"/><Task Name="Закупки"/></Task>
    <Task Name="Две&#10;строки" Expanded="False" Selected="True"/>
  </Task>
  <Task Name="Бумага" State="Done" Expanded="False"/>
  <Task Name="Бумага" Expanded="False"/>
</Tasks>)";

} // namespace

class ItemModelTest : public TestCase
{
    Q_OBJECT

private Q_SLOTS:
    void modelFollowsEveryChange()
    {
        TaskTree tree;
        TaskItemModel model(tree);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset), inserted(&model, &QAbstractItemModel::rowsInserted),
            removed(&model, &QAbstractItemModel::rowsRemoved), moved(&model, &QAbstractItemModel::rowsMoved),
            changed(&model, &QAbstractItemModel::dataChanged), select(&model, &TaskItemModel::selectRequested),
            repaint(&model, &TaskItemModel::repaintRequested);
        auto structural = [&] { return reset.size() + inserted.size() + removed.size() + moved.size(); };

        // A load is one reset, never a stream of insertions.
        QVERIFY(loadTaskFileFromBytes(kSample, tree));
        QVERIFY(reset.size() == 1 && structural() == 1 && select.isEmpty());
        QCOMPARE(mismatch(model, tree), QString());
        TaskNode *figures = tree.root()->child(0)->child(0), *paper1 = tree.root()->child(1),
                 *paper2 = tree.root()->child(2);
        const QModelIndex twoLines = model.indexOf(tree.selected());
        QCOMPARE(model.data(twoLines).toString(), QStringLiteral("Две \u21B5 строки"));
        QCOMPARE(model.data(twoLines, Qt::ToolTipRole).toString(), QStringLiteral("Две\nстроки"));

        TaskNode *added = tree.addChild(figures, QStringLiteral("Склад"));
        TaskNode *first = tree.insertChild(tree.root(), 0, QStringLiteral("Первая"));
        TaskNode *between = tree.addAfter(paper1, QStringLiteral("Между"));
        QCOMPARE(inserted.size(), 3);

        // Persistent indexes follow a task through moves of every kind, past its namesake too.
        const QPersistentModelIndex held(model.indexOf(paper1)), heldChild(model.indexOf(added));
        QVERIFY(tree.moveAmongSiblings(paper1, +1) && tree.moveAmongSiblings(paper1, +1)
                && tree.moveAmongSiblings(paper1, -1));
        QCOMPARE(moved.size(), 3);
        QVERIFY(TaskItemModel::nodeOf(held) == paper1 && held.row() == 3 && paper1->row() == 3);
        QVERIFY(tree.reparent(figures, paper2) && tree.reparent(first, tree.root()));
        QCOMPARE(TaskItemModel::nodeOf(heldChild), added);
        QCOMPARE(heldChild.parent().parent(), QModelIndex(model.indexOf(paper2)));
        QCOMPARE(first->row(), tree.root()->childCount() - 1);
        QCOMPARE(mismatch(model, tree), QString());

        // Nothing to do, or refused: no signal at all.
        const qsizetype before = structural();
        QVERIFY(tree.reparent(first, tree.root()) && !tree.reparent(paper2, added)
                && !tree.moveAmongSiblings(first, +1));
        QCOMPARE(structural(), before);

        // Texts and statuses change in place, colours as the view paints them from the settings.
        AppSettings settings;
        settings.UseBackColor = true;
        settings.DoneTasksBackColor = 0x90F090;
        model.setSettings(&settings);
        changed.clear();
        tree.setText(between, QStringLiteral("Между\tделами"));
        const QModelIndex done = model.indexOf(between);
        QVERIFY(changed.size() == 1 && changed.at(0).at(0).value<QModelIndex>() == done);
        ApplyTaskStatus(tree, QStringLiteral("Done"), between);
        QCOMPARE(model.data(done, Qt::BackgroundRole).value<QColor>(), QColor(0x90, 0xF0, 0x90));
        repaint.clear();
        settings = AppSettings();
        model.settingsChanged();
        QVERIFY(repaint.size() == 1 && !model.data(done, Qt::BackgroundRole).isValid());

        // A text of megabytes keeps the view responsive: its label and tooltip are a short
        // beginning of it, the task keeps every character.
        const QString huge = QStringLiteral("строка\r\n").repeated(500000);
        tree.setText(between, huge);
        const QString label = model.data(done).toString(), tip = model.data(done, Qt::ToolTipRole).toString();
        QVERIFY(label.size() < 10000 && label.startsWith(QStringLiteral("строка \u21B5 строка")));
        QVERIFY(tip.size() < 10000 && huge.startsWith(tip.chopped(1)));
        QCOMPARE(between->text(), huge);

        // Removing the sub-tree that holds the selection drops both, and only that namesake.
        tree.setSelected(added);
        select.clear();
        tree.remove(paper2);
        QCOMPARE(removed.size(), 1);
        QVERIFY(!heldChild.isValid() && tree.selected() == nullptr);
        QVERIFY(TaskItemModel::nodeOf(held) == paper1 && paper1->imageKey() == QLatin1String("Done"));
        QVERIFY(select.size() == 1 && !select.at(0).at(0).value<QModelIndex>().isValid());
        QCOMPARE(mismatch(model, tree), QString());

        // A failed load is one reset too, and leaves the top node alone.
        reset.clear();
        QVERIFY(!loadTaskFileFromBytes("<Tasks><Task>", tree));
        QVERIFY(reset.size() == 1 && mismatch(model, tree).isEmpty());
    }

    // Under a filter every change is checked by the tester and against the tree.
    void filteredModelStaysSound()
    {
        TaskTree tree;
        TaskItemModel model(tree);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(loadTaskFileFromBytes(kSample, tree));
        model.setFilter(TaskStatus::Done);
        const auto sound = [&] { return mismatch(model, tree, TaskStatus::Done); };
        QCOMPARE(sound(), QString());
        TaskNode *report = tree.root()->child(0), *figures = report->child(0), *paper1 = tree.root()->child(1),
                 *paper2 = tree.root()->child(2);
        TaskNode *added = tree.addChild(paper2, QStringLiteral("Новая"), TaskStatus::Done);
        QCOMPARE(sound(), QString());
        tree.setImageKey(figures, TaskStatus::Progress); // the report's branch goes
        QCOMPARE(sound(), QString());
        QVERIFY(tree.reparent(paper1, figures)); // and comes back under a done task
        QCOMPARE(sound(), QString());
        QVERIFY(tree.moveAmongSiblings(paper2, -1) && tree.moveTo(added, report, 0));
        QCOMPARE(sound(), QString());
        tree.setStatuses({added, paper1}, TaskStatus::Rejected);
        QCOMPARE(sound(), QString());
        tree.setSelected(report->child(1));
        tree.remove(figures);
        QCOMPARE(sound(), QString());
        QVERIFY(!tree.selected() || model.isShown(tree.selected()));
        model.setFilter(std::nullopt);
        QCOMPARE(mismatch(model, tree), QString());
    }

    void deepestAllowedTreeShows()
    {
        const QByteArray xml = "<Tasks>"
            + QByteArray("<Task Name=\"уровень\" Expanded=\"False\">").repeated(kMaxTaskDepth - 1)
            + "<Task Name=\"дно\" Selected=\"True\"/>" + QByteArray("</Task>").repeated(kMaxTaskDepth - 1) + "</Tasks>";
        TaskTree tree;
        TaskItemModel model(tree);
        TaskTreeView view;
        view.setTaskModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(loadTaskFileFromBytes(xml, tree));
        view.syncExpandedFromModel();
        view.EnsureVisible(tree.selected());
        QCoreApplication::processEvents();
        // Every level opened on the way, and the bottom laid out as a row right below its parent.
        const QModelIndex bottom = model.indexOf(tree.selected());
        QCOMPARE(tree.selected()->depth(), kMaxTaskDepth);
        QVERIFY(view.isExpanded(bottom.parent()) && view.isExpanded(model.index(0, 0, model.index(0, 0))));
        QCOMPARE(view.indexAbove(bottom), bottom.parent());
        QCOMPARE(view.currentIndex(), bottom);
    }
};

LISTRA_TEST_MAIN(ItemModelTest)
#include "tst_itemmodel.moc"
