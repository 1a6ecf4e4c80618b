// SPDX-License-Identifier: MIT
// The task file and the plain tree walks: load, save (and the plain write it is held to),
// search, peak memory of a load.

#include "bench/Bench.h"
#include "bench/BenchSupport.h"

#include "components/platform/FileSync.h"
#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringMatcher>

#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<TaskTree> loadOrWarn(const QString &path)
{
    auto tree = std::make_unique<TaskTree>();
    const LoadResult loaded = loadTaskFile(path, *tree);
    if (loaded.status != LoadResult::Status::Loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(path), qPrintable(loaded.error));
        return nullptr;
    }
    return tree;
}

void runLoad(const BenchInput &in)
{
    double best = -1;
    for (int run = 0; run < BenchSupport::runsFor(in.tasks); ++run) {
        auto tree = std::make_unique<TaskTree>();
        QElapsedTimer timer;
        timer.start();
        const LoadResult loaded = loadTaskFile(in.filePath, *tree);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (loaded.status != LoadResult::Status::Loaded) {
            std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(in.filePath), qPrintable(loaded.error));
            return;
        }
        if (best < 0 || ms < best)
            best = ms;
        // the tree goes away here, outside the timing
    }
    benchReport(QStringLiteral("load"), in.tasks, best, QStringLiteral("ms"));
}

void runSave(const BenchInput &in)
{
    auto tree = loadOrWarn(in.filePath);
    if (!tree)
        return;
    const QString target = in.filePath + QStringLiteral(".saved");
    bool ok = true;
    // Every timed save replaces a file, as the program's do and as the plain write below does.
    saveTaskFile(target, *tree);
    const double ms = BenchSupport::bestOfMs(BenchSupport::runsFor(in.tasks), [&] {
        const SaveResult saved = saveTaskFile(target, *tree);
        if (!saved.ok) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(saved.error));
            ok = false;
        }
    });
    // The floor a save is held to: the same bytes, ready made, written to a fresh file, put on
    // the disk and renamed over the target.
    const QByteArray bytes = serializeTaskTree(*tree);
    const QString plain = target + QStringLiteral(".plain");
    const double plainMs = BenchSupport::bestOfMs(BenchSupport::runsFor(in.tasks), [&] {
        QFile file(plain);
        QString error;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
            || file.write(bytes) != bytes.size() || !syncFileData(int(file.handle()), &error)) {
            std::fprintf(stderr, "plain write failed: %s %s\n", qPrintable(file.errorString()), qPrintable(error));
            ok = false;
        }
        file.close();
        if (std::rename(QFile::encodeName(plain).constData(), QFile::encodeName(target).constData()) != 0)
            ok = false;
    });
    QFile::remove(target);
    QFile::remove(plain);
    if (ok) {
        benchReport(QStringLiteral("save"), in.tasks, ms, QStringLiteral("ms"));
        benchReport(QStringLiteral("save_plain"), in.tasks, plainMs, QStringLiteral("ms"));
    }
}

// The search loop as the program runs it (creation order, a case-insensitive matcher prepared
// once), over the bare tree, with a phrase no task holds so every text is compared.
void runSearch(const BenchInput &in)
{
    auto tree = loadOrWarn(in.filePath);
    if (!tree)
        return;
    const QString phrase = QStringLiteral("несуществующая фраза");
    const QStringMatcher matcher(phrase, Qt::CaseInsensitive);
    const TaskNode *found = nullptr;
    const double ms = BenchSupport::bestOfMs(BenchSupport::runsFor(in.tasks), [&] {
        found = nullptr;
        for (const TaskNode *n = tree->firstCreated(); n; n = tree->nextCreated(n)) {
            if (matcher.indexIn(n->text()) >= 0) {
                found = n;
                break;
            }
        }
    });
    if (found)
        std::fprintf(stderr, "search unexpectedly found a task\n");
    benchReport(QStringLiteral("search"), in.tasks, ms, QStringLiteral("ms"));
}

void runRssPeak(const BenchInput &in)
{
    const double mib = BenchSupport::childLoadPeakRssMiB(in.filePath);
    if (mib >= 0)
        benchReport(QStringLiteral("rss_peak"), in.tasks, mib, QStringLiteral("MiB"));
}

} // namespace

LISTRA_BENCH_GROUP(load, 10, runLoad);
LISTRA_BENCH_GROUP(save, 20, runSave);
LISTRA_BENCH_GROUP(search, 30, runSearch);
LISTRA_BENCH_GROUP(rss_peak, 40, runRssPeak);
