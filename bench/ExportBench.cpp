// SPDX-License-Identifier: MIT
// The exports: the whole loaded tree written to a file in each format, as "Экспорт…" and the
// command line do after the load.

#include "bench/Bench.h"
#include "bench/BenchSupport.h"

#include "export/TaskExport.h"
#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QFile>

#include <cstdio>

namespace {

void runExport(const BenchInput &in, ExportFormat format, const char *name)
{
    TaskTree tree;
    const LoadResult loaded = loadTaskFile(in.filePath, tree);
    if (loaded.status != LoadResult::Status::Loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(in.filePath), qPrintable(loaded.error));
        return;
    }
    const QString target = in.filePath + QStringLiteral(".export.") + exportFormatSuffix(format);
    bool ok = true;
    const double ms = BenchSupport::bestOfMs(BenchSupport::runsFor(in.tasks), [&] {
        const SaveResult saved = saveFileBytes(target, exportTasks(tree, tree.root(), format));
        if (!saved.ok) {
            std::fprintf(stderr, "export failed: %s\n", qPrintable(saved.error));
            ok = false;
        }
    });
    QFile::remove(target);
    if (ok)
        benchReport(QString::fromLatin1(name), in.tasks, ms, QStringLiteral("ms"));
}

void runExportMarkdown(const BenchInput &in)
{
    runExport(in, ExportFormat::Markdown, "export_md");
}
void runExportHtml(const BenchInput &in)
{
    runExport(in, ExportFormat::Html, "export_html");
}
void runExportCsv(const BenchInput &in)
{
    runExport(in, ExportFormat::Csv, "export_csv");
}

} // namespace

LISTRA_BENCH_GROUP(export_md, 25, runExportMarkdown);
LISTRA_BENCH_GROUP(export_html, 26, runExportHtml);
LISTRA_BENCH_GROUP(export_csv, 27, runExportCsv);
