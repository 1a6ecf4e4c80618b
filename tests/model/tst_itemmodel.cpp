#include "tests/support/TestMain.h"

#include "model/TaskTree.h"
#include "storage/TaskFile.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskTreeView.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <vector>

namespace {

// The model shows exactly the tree: same shape, same nodes, same labels.
QString mismatch(const TaskItemModel &model, const TaskTree &tree)
{
    if (model.rowCount() != 1 || TaskItemModel::nodeOf(model.index(0, 0)) != tree.root())
        return QStringLiteral("top row is not the top node");
    std::vector<const TaskNode *> stack{tree.root()};
    int seen = 0;
    while (!stack.empty()) {
        const TaskNode *node = stack.back();
        stack.pop_back();
        ++seen;
        const QModelIndex index = model.indexOf(node);
        if (TaskItemModel::nodeOf(index) != node || index.row() != node->row())
            return QStringLiteral("index of %1").arg(node->text());
        if (model.data(index).toString() != TaskItemModel::displayText(node->text()))
            return QStringLiteral("label of %1").arg(node->text());
        if (model.rowCount(index) != node->childCount())
            return QStringLiteral("row count of %1").arg(node->text());
        if (model.parent(index) != model.indexOf(node->parent()))
            return QStringLiteral("parent of %1").arg(node->text());
        for (int r = 0; r < node->childCount(); ++r) {
            if (TaskItemModel::nodeOf(model.index(r, 0, index)) != node->child(r))
                return QStringLiteral("child %1 of %2").arg(r).arg(node->text());
            stack.push_back(node->child(r));
        }
    }
    return seen == tree.count() ? QString() : QStringLiteral("count %1 vs %2").arg(seen).arg(tree.count());
}

struct Spies {
    explicit Spies(TaskItemModel &m)
        : reset(&m, &QAbstractItemModel::modelReset)
        , inserted(&m, &QAbstractItemModel::rowsInserted)
        , removed(&m, &QAbstractItemModel::rowsRemoved)
        , moved(&m, &QAbstractItemModel::rowsMoved)
        , changed(&m, &QAbstractItemModel::dataChanged)
        , expand(&m, &TaskItemModel::expandRequested)
        , select(&m, &TaskItemModel::selectRequested)
        , repaint(&m, &TaskItemModel::repaintRequested)
    {
    }
    void clear()
    {
        for (QSignalSpy *s : {&reset, &inserted, &removed, &moved, &changed, &expand, &select, &repaint})
            s->clear();
    }
    int structural() const { return int(reset.size() + inserted.size() + removed.size() + moved.size()); }
    QSignalSpy reset, inserted, removed, moved, changed, expand, select, repaint;
};

const QByteArray kSample = R"(<?xml version="1.0" encoding="utf-8"?>
<Tasks>
  <Task Name="Отчёт" State="Progress" Expanded="True">
    <Task Name="Собрать цифры" State="Done" Expanded="False">
      <Task Name="Продажи" State="Progress" Expanded="False"/>
      <Task Name="Закупки" State="Rejected" Expanded="False"/>
    </Task>
    <Task Name="Две&#10;строки" State="Progress" Expanded="False" Selected="True"/>
  </Task>
  <Task Name="Бумага" State="Done" Expanded="False"/>
  <Task Name="Бумага" State="Progress" Expanded="False"/>
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
        Spies spies(model);

        // A load is one reset, never a stream of insertions.
        QVERIFY(loadTaskFileFromBytes(kSample, tree, StatusColors()));
        QCOMPARE(spies.reset.size(), 1);
        QCOMPARE(spies.inserted.size(), 0);
        QCOMPARE(spies.expand.size(), 0);
        QCOMPARE(spies.select.size(), 0);
        QCOMPARE(mismatch(model, tree), QString());
        TaskNode *report = tree.root()->child(0);
        TaskNode *figures = report->child(0);
        TaskNode *twoLines = report->child(1);
        TaskNode *paper1 = tree.root()->child(1);
        TaskNode *paper2 = tree.root()->child(2);
        QCOMPARE(tree.selected(), twoLines);
        QCOMPARE(model.data(model.indexOf(twoLines)).toString(), QStringLiteral("Две \u21B5 строки"));
        QCOMPARE(model.data(model.indexOf(twoLines), Qt::ToolTipRole).toString(), QStringLiteral("Две\nстроки"));

        // Additions at the end, in front and in the middle.
        spies.clear();
        TaskNode *added = tree.addChild(figures, QStringLiteral("Склад"));
        TaskNode *first = tree.insertChild(tree.root(), 0, QStringLiteral("Первая"));
        TaskNode *between = tree.addAfter(paper1, QStringLiteral("Между"));
        QCOMPARE(spies.inserted.size(), 3);
        QCOMPARE(spies.inserted.at(0).at(0).value<QModelIndex>(), model.indexOf(figures));
        QCOMPARE(spies.inserted.at(0).at(1).toInt(), 2);
        QCOMPARE(spies.inserted.at(1).at(1).toInt(), 0);
        QCOMPARE(spies.inserted.at(2).at(1).toInt(), 3);
        QCOMPARE(mismatch(model, tree), QString());

        // Persistent indexes follow a task through moves of every kind.
        const QPersistentModelIndex held(model.indexOf(paper1));
        const QPersistentModelIndex heldChild(model.indexOf(added));
        spies.clear();
        QVERIFY(tree.moveAmongSiblings(paper1, +1));
        QVERIFY(tree.moveAmongSiblings(paper1, +1));
        QVERIFY(tree.moveAmongSiblings(paper1, -1));
        QCOMPARE(spies.moved.size(), 3);
        QCOMPARE(TaskItemModel::nodeOf(held), paper1);
        QCOMPARE(held.row(), paper1->row());
        QCOMPARE(paper1->row(), 3);
        QCOMPARE(mismatch(model, tree), QString());

        QVERIFY(tree.reparent(figures, paper2)); // with its sub-tree
        QCOMPARE(TaskItemModel::nodeOf(heldChild), added);
        QCOMPARE(heldChild.parent(), QModelIndex(model.indexOf(figures)));
        QCOMPARE(model.indexOf(figures).parent(), model.indexOf(paper2));
        QVERIFY(tree.reparent(first, tree.root())); // same parent, not last: goes last
        QCOMPARE(first->row(), tree.root()->childCount() - 1);
        QCOMPARE(mismatch(model, tree), QString());

        // Nothing to do, or refused: no signal at all.
        spies.clear();
        QVERIFY(tree.reparent(first, tree.root()));
        QVERIFY(!tree.reparent(paper2, added));
        QVERIFY(!tree.moveAmongSiblings(first, +1));
        QCOMPARE(spies.structural(), 0);

        // Texts, statuses and colours change in place.
        StatusColors colors;
        colors.useBackColor = true;
        tree.setText(between, QStringLiteral("Между\tделами"));
        QCOMPARE(spies.changed.size(), 1);
        QCOMPARE(spies.changed.at(0).at(0).value<QModelIndex>(), model.indexOf(between));
        ApplyTaskStatus(tree, QStringLiteral("Done"), between, colors);
        QCOMPARE(model.data(model.indexOf(between), Qt::ForegroundRole).value<QColor>(), QColor(0x00, 0xB9, 0x00));
        QCOMPARE(model.data(model.indexOf(between), Qt::BackgroundRole).value<QColor>(), QColor(0x9B, 0xFF, 0x9B));
        QCOMPARE(model.data(model.indexOf(between), Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Выполнено"));
        tree.recolorAll(StatusColors());
        QCOMPARE(spies.repaint.size(), 1);
        QVERIFY(!model.data(model.indexOf(between), Qt::BackgroundRole).isValid());

        // Expanding and selecting are announced to the view.
        spies.clear();
        tree.setExpanded(paper2, true);
        tree.setSelected(added);
        QCOMPARE(spies.expand.size(), 1);
        QCOMPARE(spies.expand.at(0).at(0).value<QModelIndex>(), model.indexOf(paper2));
        QCOMPARE(spies.expand.at(0).at(1).toBool(), true);
        QCOMPARE(spies.select.size(), 1);
        QCOMPARE(spies.select.at(0).at(0).value<QModelIndex>(), model.indexOf(added));

        // Removing the sub-tree that holds the selection drops both.
        spies.clear();
        const int before = tree.count();
        tree.remove(paper2);
        QCOMPARE(tree.count(), before - 5);
        QCOMPARE(spies.removed.size(), 1);
        QVERIFY(!held.isValid() || TaskItemModel::nodeOf(held) == paper1);
        QVERIFY(!heldChild.isValid());
        QVERIFY(tree.selected() == nullptr);
        QCOMPARE(spies.select.size(), 1);
        QVERIFY(!spies.select.at(0).at(0).value<QModelIndex>().isValid());
        QCOMPARE(mismatch(model, tree), QString());

        // A failed load is one reset too, and leaves the top node alone.
        spies.clear();
        QVERIFY(!loadTaskFileFromBytes("<Tasks><Task>", tree, StatusColors()));
        QCOMPARE(spies.reset.size(), 1);
        QCOMPARE(spies.removed.size(), 0);
        QCOMPARE(model.rowCount(model.indexOf(tree.root())), 0);
        QCOMPARE(mismatch(model, tree), QString());

        // And a load after that brings everything back.
        QVERIFY(loadTaskFileFromBytes(kSample, tree, StatusColors()));
        QCOMPARE(mismatch(model, tree), QString());
        tree.clear();
        QCOMPARE(mismatch(model, tree), QString());
    }

    void deepestAllowedTreeShows()
    {
        // A chain as deep as the reader accepts, every level open, with the deepest task
        // selected: the tree view lays it out and scrolls to it.
        QByteArray xml = "<Tasks>";
        for (int i = 1; i <= kMaxTaskDepth; ++i)
            xml += i == kMaxTaskDepth ? "<Task Name=\"дно\" Selected=\"True\">" : "<Task Name=\"уровень\">";
        for (int i = 0; i < kMaxTaskDepth; ++i)
            xml += "</Task>";
        xml += "</Tasks>";

        TaskTree tree;
        TaskItemModel model(tree);
        TaskTreeView view;
        view.setTaskModel(&model);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(loadTaskFileFromBytes(xml, tree, StatusColors()));
        view.syncExpandedFromModel();
        view.EnsureVisible(tree.selected());
        QCoreApplication::processEvents();
        const QModelIndex bottom = model.indexOf(tree.selected());
        QVERIFY(view.isExpanded(bottom.parent()));
        // Laid out as a visible row, right below its parent.
        QCOMPARE(view.indexAbove(bottom), bottom.parent());
        QCOMPARE(view.currentIndex(), bottom);
    }
};

LISTRA_TEST_MAIN(ItemModelTest)
#include "tst_itemmodel.moc"
