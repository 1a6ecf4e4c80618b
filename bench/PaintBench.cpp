// SPDX-License-Identifier: MIT
// Start to a painted main window: the real frmMain loads the generated file, shows itself
// and paints its tree. Measured in a fresh process each time, so the memory figure is what
// a user's freshly started program holds, not what earlier groups left behind.
//   paint       ms from building the window to the end of the tree's first paint
//   rss_shown   resident set (MiB) once the window is shown and painted
//   menu_open   ms for the command menu (Menu key) at the last top-level task: built, placed
//               below the task's row and painted

#include "bench/Bench.h"
#include "bench/BenchSupport.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "components/qt/SettingsStore.h"
#include "settings/AppSettings.h"
#include "ui/main/CommandMenu.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPaintEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const char kChildVariable[] = "LISTRA_BENCH_PAINT_CHILD";

// A measurement must never stop for a question; a message would mean the file was bad.
class QuietPrompts : public Prompts
{
public:
    MsgAnswer messageBox(QWidget *, const QString &text, MsgStyle, const QString &) override
    {
        std::fprintf(stderr, "# message: %s\n", qPrintable(text));
        return MsgAnswer::Ok;
    }
    QString inputBox(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    MsgAnswer showError(QWidget *, const QString &details, MsgStyle, const QString &prompt) override
    {
        std::fprintf(stderr, "# error: %s %s\n", qPrintable(prompt), qPrintable(details));
        return MsgAnswer::Ok;
    }
    void showAboutBox(QWidget *) override { }
};

// Notes the moment the watched widget has finished its first paint.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(const QElapsedTimer &clock)
        : m_clock(clock)
    {
    }
    qint64 doneNs = -1;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || doneNs >= 0)
            return false;
        // Let the paint run now, then read the clock.
        watched->removeEventFilter(this);
        QCoreApplication::sendEvent(watched, event);
        doneNs = m_clock.nsecsElapsed();
        return true;
    }

private:
    const QElapsedTimer &m_clock;
};

void measureHere(const BenchInput &input)
{
    QuietPrompts prompts;
    SettingsStore settingsStore;
    Services services;
    services.prompts = &prompts;
    services.settings = &settingsStore;
    AppSettings settings;
    frmMain::Options options;
    options.taskFilePath = input.filePath;

#ifdef __GLIBC__
    // The driver counted the tasks by loading the file once; hand that memory back so the
    // figure is what a freshly started program holds.
    malloc_trim(0);
#endif
    QElapsedTimer clock;
    clock.start();
    auto window = std::make_unique<frmMain>(services, settings, options);
    FirstPaint watcher(clock);
    window->tvTasks()->viewport()->installEventFilter(&watcher);
    window->Load();
    QElapsedTimer limit;
    limit.start();
    while (watcher.doneNs < 0 && limit.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (watcher.doneNs < 0) {
        std::fprintf(stderr, "# paint: the tree never painted\n");
        return;
    }
    benchReport(QStringLiteral("paint"), input.tasks, double(watcher.doneNs) / 1e6, QStringLiteral("ms"));
    QCoreApplication::processEvents();
    benchReport(QStringLiteral("rss_shown"), input.tasks, BenchSupport::currentRssMiB(), QStringLiteral("MiB"));

    TaskNode *root = window->tree().root();
    if (root->childCount() == 0)
        return;
    window->tree().setSelected(root->child(root->childCount() - 1));
    double best = 1e300;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        QMenu *menu = window->commandMenu().build();
        menu->popup(window->commandMenu().position());
        QCoreApplication::processEvents();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        menu->close();
        QCoreApplication::processEvents();
    }
    benchReport(QStringLiteral("menu_open"), input.tasks, best, QStringLiteral("ms"));
}

void runPaint(const BenchInput &input)
{
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        measureHere(input);
        return;
    }
    // A fresh process with its own settings and runtime folders: the user's stored window
    // placement and a running instance's channel stay out of it.
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--groups"), QStringLiteral("paint"), QStringLiteral("--file"), input.filePath});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "# paint: the measuring process failed\n");
        return;
    }
    // The child counted the tasks itself; report them under the size this run asked for.
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 5 && f[0] == "BENCH")
            benchReport(QString::fromLatin1(f[1]), input.tasks, f[3].toDouble(), QString::fromLatin1(f[4]));
    }
}

} // namespace

LISTRA_BENCH_GROUP(paint, 40, runPaint);
