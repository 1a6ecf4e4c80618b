// SPDX-License-Identifier: MIT
#include "app/Startup.h"

#include "ListraVersion.h"
#include "app/AppLog.h"
#include "app/DeferredIconStyle.h"
#include "components/ResourceIcon.h"

#include "components/AppIdentity.h"
#include "components/Services.h"
#include "components/platform/MemoryRelease.h"
#include "components/platform/SystemStartupRegistration.h"
#include "components/platform/TaskFileGuard.h"
#include "components/platform/TerminationSignals.h"
#include "components/qt/ActivationChannel.h"
#include "components/qt/DesktopOpener.h"
#include "components/qt/InstanceGuard.h"
#include "components/qt/OverlayWindowEffect.h"
#include "components/qt/QtChoosers.h"
#include "components/qt/QtDocumentPrinter.h"
#include "components/qt/QtPrompts.h"
#include "components/qt/SettingsStore.h"
#include "components/qt/SystemTrayIcon.h"
#include "settings/AppSettings.h"
#include "settings/AutorunStart.h"
#include "storage/TaskFile.h"
#include "ui/editor/TaskEditorDialogFactory.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

namespace {
// How long a second start waits for the running one to answer.
constexpr int kActivationTimeoutMs = 3000;
} // namespace

bool Startup::inIde()
{
#ifdef LISTRA_IN_IDE
    return true;
#else
    return false;
#endif
}

QString Startup::taskFileName()
{
    return inIde() ? QStringLiteral("Tasks.Debug.XML") : QStringLiteral("Tasks.XML");
}

QString Startup::dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString Startup::PrepareTaskFilePath(const QString &folder, Prompts &prompts)
{
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        prompts.messageBox(nullptr, QStringLiteral("Не удаётся создать каталог данных программы."),
                           MsgStyle::OkCritical);
        return {};
    }
    return QDir(folder).filePath(taskFileName());
}

bool Startup::ClaimTaskFile(TaskFileGuard &guard, const QString &taskFilePath, Prompts &prompts, bool *activated)
{
    *activated = false;
    switch (guard.claim(taskFilePath, ActivationServer::socketPath(AppIdentity::kGuid))) {
    case TaskFileGuard::Claim::Taken:
        if (!guard.errorString().isEmpty())
            qCWarning(lcApp) << "The task file is held, but its lock could not name this process:"
                             << guard.errorString();
        return true;
    case TaskFileGuard::Claim::HeldByAnother:
        // Started under another runtime folder, or through another path to the same file.
        if (ActivationServer::requestActivationAt(guard.ownerAddress(), kActivationTimeoutMs)) {
            *activated = true;
            return false;
        }
        qCWarning(lcApp) << "The program that holds the task file did not answer at" << guard.ownerAddress();
        prompts.messageBox(nullptr,
                           QStringLiteral("Файл с задачами уже открыт в другой запущенной копии программы:\r\n")
                               + QDir::toNativeSeparators(taskFilePath)
                               + QStringLiteral("\r\n\r\nЗакройте её и запустите программу снова."),
                           MsgStyle::OkCritical);
        return false;
    case TaskFileGuard::Claim::Unavailable:
        break;
    }
    // Without the lock nothing keeps a second copy from writing over this one's work.
    qCWarning(lcApp) << "The task file could not be locked:" << guard.errorString();
    prompts.messageBox(nullptr,
                       QStringLiteral("Не удаётся занять файл с задачами, поэтому нельзя убедиться, что "
                                      "с ним не работает другая копия программы:\r\n")
                           + QDir::toNativeSeparators(taskFilePath) + QStringLiteral("\r\n\r\n") + guard.errorString(),
                       MsgStyle::OkCritical);
    return false;
}

void Startup::setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(AppIdentity::kOrganization);
    QCoreApplication::setApplicationName(AppIdentity::kApplication);
    // No display name: desktops would append it to every window title, and each window's
    // caption is exactly its own. The desktop entry ties the windows to the menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("listra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LISTRA_VERSION));
}

void Startup::loadTranslations()
{
    auto *translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

int Startup::run(const QStringList &arguments)
{
    setApplicationIdentity();
    loadTranslations();
    setParseMemoryRelease(releasePages);

    // Held for the whole life of the process: its claim ends with it.
    static InstanceGuard guard;
    if (!guard.IsFirstInstance(AppIdentity::kGuid)) {
        // The running instance shows itself; this one ends without a window.
        ActivationServer::requestActivation(AppIdentity::kGuid, kActivationTimeoutMs);
        return 0;
    }

    // Before any widget: the toolbar reads the style's pictures when it is made.
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()));

    QtPrompts prompts;
    const QString taskFilePath = PrepareTaskFilePath(dataFolder(), prompts);
    if (taskFilePath.isEmpty())
        return 1;
    // The runtime folder's lock only meets starts that share that folder; this one meets every
    // start that reaches the same task file.
    static TaskFileGuard fileGuard;
    bool activated = false;
    if (!ClaimTaskFile(fileGuard, taskFilePath, prompts, &activated))
        return activated ? 0 : 1;

    DesktopOpener opener;
    QtChoosers choosers;
    SystemStartupRegistration startup;
    SystemTrayIcon tray;
    OverlayWindowEffect effect;
    SettingsStore settingsStore;
    QtDocumentPrinter printer;
    Services services;
    services.prompts = &prompts;
    services.opener = &opener;
    services.choosers = &choosers;
    services.startup = &startup;
    services.tray = &tray;
    services.effect = &effect;
    services.settings = &settingsStore;
    services.printer = &printer;
    TaskEditorDialogFactory editors(services);
    services.editors = &editors;

    // The window hides to the tray; only its unload ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    AppSettings settings;
    frmMain::Options options;
    options.taskFilePath = taskFilePath;
    options.autorun = AutorunStart::isAutorun(AutorunStart::argumentText(arguments));
    options.inIde = inIde();
    frmMain window(services, settings, options);
    QObject::connect(&window, &frmMain::unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&tray, &SystemTrayIcon::quitRequested, &window, &QWidget::close);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window, [&window] {
        window.EndSession();
        // Ends every running event loop, a modal box's too: a signal may come before the
        // application's own loop runs, where a queued quit would be lost.
        QCoreApplication::exit(window.exitCode());
    });
    // The icon for the dialogs, rendered at every size, waits for the window's first frame.
    if (!inIde()) {
        QObject::connect(&window, &frmMain::loadFinished, qApp,
                         [] { QApplication::setWindowIcon(resourceIcon(QStringLiteral("A_MAIN"))); });
    }
    window.Load();
    if (window.isUnloaded())
        return window.exitCode();
    const int code = QApplication::exec();
    return code != 0 ? code : window.exitCode();
}
