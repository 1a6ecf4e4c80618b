// SPDX-License-Identifier: MIT
// One journal append as a command makes it: a change to a task far down the tree, written as a
// record (journal_append, what the window waits for), then forced to the disk on the program's
// sync thread (journal_sync, which the window does not wait for). Neither may follow the tree.

#include "bench/Bench.h"

#include "components/platform/FileSync.h"
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
    const LoadResult loaded = loadTaskFile(in.filePath, tree);
    if (loaded.status != LoadResult::Status::Loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(in.filePath), qPrintable(loaded.error));
        return;
    }
    QTemporaryDir dir;
    BackgroundDataSync sync;
    Journal journal(dir.filePath(QStringLiteral("bench.journal")), [&sync](int fd, QString *) {
        sync.request(fd);
        return true;
    });
    journal.attach(tree, loaded.stamp);
    // The deepest of the last tasks created: the longest path the generator makes.
    TaskNode *node = tree.root();
    while (node->childCount() > 0)
        node = node->lastChild();
    std::vector<double> ms, syncMs;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        tree.setText(node, QStringLiteral("Изменённая задача %1").arg(i));
        journal.flush();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        sync.waitIdle();
        syncMs.push_back(double(timer.nsecsElapsed()) / 1e6 - ms.back());
    }
    if (journal.pendingSize() > 0) {
        std::fprintf(stderr, "the journal could not be written\n");
        return;
    }
    auto median = [](std::vector<double> &v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    benchReport(QStringLiteral("journal_append"), in.tasks, median(ms) * 1000, QStringLiteral("us"));
    benchReport(QStringLiteral("journal_sync"), in.tasks, median(syncMs), QStringLiteral("ms"));
}

} // namespace

LISTRA_BENCH_GROUP(journal_append, 50, runJournalAppend);
