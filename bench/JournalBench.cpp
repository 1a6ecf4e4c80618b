// One journal append as a command makes it: a change to a task far down the tree, written as a
// record and forced to the disk. Its cost must follow the change, not the tree.

#include "bench/Bench.h"

#include "components/FileSync.h"
#include "model/StatusColors.h"
#include "model/TaskTree.h"
#include "storage/Journal.h"
#include "storage/TaskFile.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void runJournalAppend(const BenchInput &in)
{
    TaskTree tree;
    const LoadResult loaded = loadTaskFile(in.filePath, tree, StatusColors());
    if (loaded.status != LoadResult::Status::Loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(in.filePath), qPrintable(loaded.error));
        return;
    }
    QTemporaryDir dir;
    Journal journal(dir.filePath(QStringLiteral("bench.journal")), syncFileData);
    journal.attach(tree, loaded.stamp);
    // The deepest of the last tasks created: the longest path the generator makes.
    TaskNode *node = tree.root();
    while (node->childCount() > 0)
        node = node->lastChild();
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        tree.setText(node, QStringLiteral("Изменённая задача %1").arg(i));
        journal.flush();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (journal.pendingSize() > 0) {
        std::fprintf(stderr, "the journal could not be written\n");
        return;
    }
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    benchReport(QStringLiteral("journal_append"), in.tasks, ms[ms.size() / 2], QStringLiteral("ms"));
}

} // namespace

LISTRA_BENCH_GROUP(journal_append, 50, runJournalAppend);
