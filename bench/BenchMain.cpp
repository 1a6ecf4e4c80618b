// SPDX-License-Identifier: MIT
// listra-bench: measures the program's work on task files of growing size.
//   listra-bench                       sizes 1000, 10000, 100000, 1000000
//   listra-bench --sizes 1000,10000    chosen sizes
//   listra-bench --file PATH           one existing task file
//   listra-bench --groups load,save    only the named groups
//   listra-bench --generate N PATH     write a task file of N tasks and stop
// Every figure is printed as one line: BENCH <name> <tasks> <value> <unit>

#include "bench/Bench.h"
#include "bench/BenchSupport.h"
#include "bench/Generator.h"
#include "components/platform/MemoryRelease.h"
#include "storage/TaskFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Registered {
    const char *name;
    BenchGroupFn fn;
    int order;
};

std::vector<Registered> &registry()
{
    static std::vector<Registered> groups;
    return groups;
}

void printUsage()
{
    std::fprintf(stderr,
                 "usage: listra-bench [--sizes N,N,...] [--file PATH] [--groups NAME,NAME,...]\n"
                 "       listra-bench --generate N PATH\n"
                 "groups:");
    for (const Registered &g : registry())
        std::fprintf(stderr, " %s", g.name);
    std::fprintf(stderr, "\n");
}

} // namespace

BenchGroup::BenchGroup(const char *name, BenchGroupFn fn, int order)
{
    registry().push_back({name, fn, order});
}

void benchReport(const QString &name, int tasks, double value, const QString &unit)
{
    std::printf("BENCH %s %d %.1f %s\n", qPrintable(name), tasks, value, qPrintable(unit));
    std::fflush(stdout);
}

int main(int argc, char *argv[])
{
    setParseMemoryRelease(releasePages); // as the program does at start
    // Child runs measure one thing in a fresh process (peak memory), before any window exists.
    if (const int child = BenchSupport::runChildIfAsked(argc, argv); child >= 0)
        return child;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Graywick"));
    QApplication::setApplicationName(QStringLiteral("Listra"));

    std::vector<int> sizes = {1000, 10000, 100000, 1000000};
    QString file;
    QStringList onlyGroups;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--sizes") && i + 1 < args.size()) {
            sizes.clear();
            for (const QString &s : args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bool ok = false;
                const int n = s.trimmed().toInt(&ok);
                if (!ok || n < 0) {
                    std::fprintf(stderr, "bad size: %s\n", qPrintable(s));
                    return 2;
                }
                sizes.push_back(n);
            }
        } else if (a == QLatin1String("--file") && i + 1 < args.size()) {
            file = args[++i];
        } else if (a == QLatin1String("--generate") && i + 2 < args.size()) {
            bool ok = false;
            const int n = args[i + 1].toInt(&ok);
            QString error;
            if (!ok || n < 0 || !BenchGenerator::writeTaskFile(args[i + 2], n, &error)) {
                std::fprintf(stderr, "cannot generate: %s\n", qPrintable(error));
                return 1;
            }
            return 0;
        } else if (a == QLatin1String("--groups") && i + 1 < args.size()) {
            onlyGroups = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else {
            printUsage();
            return a == QLatin1String("--help") || a == QLatin1String("-h") ? 0 : 2;
        }
    }

    std::stable_sort(registry().begin(), registry().end(),
                     [](const Registered &a, const Registered &b) { return a.order < b.order; });
    auto runGroups = [&](const BenchInput &input) {
        for (const Registered &g : registry()) {
            if (!onlyGroups.isEmpty() && !onlyGroups.contains(QString::fromLatin1(g.name)))
                continue;
            g.fn(input);
        }
    };

    if (!file.isEmpty()) {
        if (!QFileInfo(file).isFile()) {
            std::fprintf(stderr, "no such file: %s\n", qPrintable(file));
            return 2;
        }
        BenchInput input;
        input.filePath = QFileInfo(file).absoluteFilePath();
        input.tasks = BenchSupport::countTasks(input.filePath);
        runGroups(input);
        return 0;
    }

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/listra-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    for (int tasks : sizes) {
        BenchInput input;
        input.tasks = tasks;
        input.filePath = dir.filePath(QStringLiteral("Tasks-%1.XML").arg(tasks));
        QElapsedTimer timer;
        timer.start();
        QString error;
        if (!BenchGenerator::writeTaskFile(input.filePath, tasks, &error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(input.filePath), qPrintable(error));
            return 1;
        }
        std::fprintf(stderr, "# %d tasks: %.1f MB file generated in %lld ms\n", tasks,
                     double(QFileInfo(input.filePath).size()) / 1e6, qint64(timer.elapsed()));
        runGroups(input);
        QFile::remove(input.filePath);
    }
    return 0;
}
