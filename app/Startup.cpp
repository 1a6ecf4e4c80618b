#include "app/Startup.h"

#include "components/ActivationChannel.h"
#include "components/AppIdentity.h"
#include "components/DesktopOpener.h"
#include "components/InstanceGuard.h"
#include "components/OverlayWindowEffect.h"
#include "components/QtChoosers.h"
#include "components/QtPrompts.h"
#include "components/Services.h"
#include "components/SystemTrayIcon.h"
#include "components/TerminationSignals.h"
#include "components/XdgStartupRegistration.h"
#include "settings/AppSettings.h"
#include "settings/AutorunStart.h"
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
    if (!inIde())
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/res/A_MAIN.svg")));

    // Held for the whole life of the process: its claim ends with it.
    static InstanceGuard guard;
    if (!guard.IsFirstInstance(AppIdentity::kGuid)) {
        // The running instance shows itself; this one ends without a window.
        ActivationServer::requestActivation(AppIdentity::kGuid, kActivationTimeoutMs);
        return 0;
    }

    QtPrompts prompts;
    const QString taskFilePath = PrepareTaskFilePath(dataFolder(), prompts);
    if (taskFilePath.isEmpty())
        return 1;

    DesktopOpener opener;
    QtChoosers choosers;
    SystemStartupRegistration startup;
    SystemTrayIcon tray;
    OverlayWindowEffect effect;
    Services services;
    services.prompts = &prompts;
    services.opener = &opener;
    services.choosers = &choosers;
    services.startup = &startup;
    services.tray = &tray;
    services.effect = &effect;
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
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window, &frmMain::EndSession);
    window.Load();
    return QApplication::exec();
}
