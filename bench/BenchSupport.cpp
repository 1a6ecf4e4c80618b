// SPDX-License-Identifier: MIT
#include "bench/BenchSupport.h"

#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

const char kChildRssSwitch[] = "--child-load-rss";

double statusFieldMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            // "VmHWM:    123456 kB"
            const QByteArray kb = line.mid(prefix.size()).trimmed().split(' ').value(0);
            return kb.toDouble() / 1024.0;
        }
    }
    return -1;
}

} // namespace

double BenchSupport::bestOfMs(int runs, const std::function<void()> &fn)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < std::max(runs, 1); ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

int BenchSupport::runsFor(int tasks)
{
    if (tasks >= 1000000)
        return 3;
    if (tasks >= 100000)
        return 7;
    return 15;
}

int BenchSupport::countTasks(const QString &path)
{
    // Counted from the bytes in small pieces: building a tree here would leave its memory in
    // the heap of a process that is about to measure its own.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int tasks = 0;
    QByteArray carry;
    while (!file.atEnd()) {
        const QByteArray chunk = carry + file.read(1 << 20);
        if (chunk.size() == carry.size())
            break;
        qsizetype at = 0;
        while ((at = chunk.indexOf("<Task", at)) >= 0 && at + 5 < chunk.size()) {
            const char next = chunk.at(at + 5);
            if (next == ' ' || next == '>' || next == '/' || next == '\t' || next == '\r' || next == '\n')
                ++tasks;
            at += 5;
        }
        // A tag cut in two, or one whose next character is still to come, lies within the
        // last five bytes; nothing counted above does.
        carry = chunk.right(5);
    }
    return tasks;
}

double BenchSupport::currentRssMiB()
{
    return statusFieldMiB("VmRSS");
}

double BenchSupport::peakRssMiB()
{
    return statusFieldMiB("VmHWM");
}

double BenchSupport::childLoadPeakRssMiB(const QString &path)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildRssSwitch), path});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    bool ok = false;
    const double mib = child.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? mib : -1;
}

int BenchSupport::runChildIfAsked(int argc, char *argv[])
{
    if (argc != 3 || std::strcmp(argv[1], kChildRssSwitch) != 0)
        return -1;
    // The same start as the program: the toolkit first, then the task file.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    QApplication app(appArgc, argv);
    TaskTree tree;
    const LoadResult loaded = loadTaskFile(QString::fromLocal8Bit(argv[2]), tree);
    if (loaded.status != LoadResult::Status::Loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[2], qPrintable(loaded.error));
        return 1;
    }
    std::printf("%.1f\n", peakRssMiB());
    return 0;
}
