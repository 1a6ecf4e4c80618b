// SPDX-License-Identifier: MIT
#include "ui/main/frmMain.h"

#include "components/AppIdentity.h"
#include "components/DocumentOpener.h"
#include "components/Prompts.h"
#include "components/ResourceIcon.h"
#include "components/Services.h"
#include "components/TrayIcon.h"
#include "components/WindowEffect.h"
#include "components/platform/FileSync.h"
#include "components/platform/MemoryRelease.h"
#include "components/qt/ActivationChannel.h"
#include "components/qt/DesignLayout.h"
#include "components/qt/OverlayWindowEffect.h"
#include "components/qt/SettingsStore.h"
#include "components/qt/WindowPlacement.h"
#include "settings/AppSettings.h"
#include "settings/MainWindowSettings.h"
#include "storage/Backups.h"
#include "storage/EmergencyCopy.h"
#include "storage/FileError.h"
#include "storage/Journal.h"
#include "storage/StorageLog.h"
#include "storage/TaskFile.h"
#include "ui/main/CommandMenu.h"
#include "ui/main/KeysWindow.h"
#include "ui/main/MainCommands.h"
#include "ui/main/RelatedDocumentsMenu.h"
#include "ui/main/TaskDragDrop.h"
#include "ui/main/TaskFileSync.h"
#include "ui/main/TaskItemModel.h"
#include "ui/main/TaskOperations.h"
#include "ui/main/TaskOutput.h"
#include "ui/main/TaskSearch.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/UiLog.h"
#include "ui/settings/frmSettings.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace {

const QString kSaveFailed = QStringLiteral("Не удалось сохранить файл с задачами.");
const QString kSaveFailedExit
    = QStringLiteral("Не удалось сохранить файл ") + QStringLiteral("с задачами. Всё равно выйти из программы?");
const QString kLoadFailed = QStringLiteral("Не удалось загрузить файл данных.");

// Design size of the client area, used until a placement is stored.
constexpr int kDesignWidth = 541;
constexpr int kDesignHeight = 409;
constexpr int kToolbarHeight = 46;
// A shown window that is never painted (covered at once) still finishes its load.
constexpr int kFinishLoadLatestMs = 1000;

// Only Shift, Ctrl and Alt count, and they must match exactly; the keypad flag is not a
// modifier the user chose.
Qt::KeyboardModifiers modifierState(const QKeyEvent *event)
{
    return event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

bool is(const QKeyEvent *event, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    return event->key() == key && modifierState(event) == mods;
}

} // namespace

frmMain::frmMain(Services &services, AppSettings &settings, Options options, QWidget *parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_settings(settings)
    , m_options(std::move(options))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Listra"));

    m_model = std::make_unique<TaskItemModel>(m_tree);
    m_model->setSettings(&m_settings);
    // The filter row (shown when the settings ask for it) above the tree.
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlMain"));
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    // Hidden, the row takes no room at all: the tree keeps the window's whole client area.
    m_pnlFilter = new QWidget(central);
    m_pnlFilter->setObjectName(QStringLiteral("pnlFilter"));
    column->addWidget(m_pnlFilter);
    m_tvTasks = new TaskTreeView(central);
    column->addWidget(m_tvTasks);
    setCentralWidget(central);

    MainContext ctx;
    ctx.window = this;
    ctx.tree = &m_tree;
    ctx.view = m_tvTasks;
    ctx.services = &m_services;
    ctx.settings = &m_settings;
    ctx.relayout = [this] { relayout(); };
    m_operations = std::make_unique<TaskOperations>(ctx);
    m_search = std::make_unique<TaskSearch>(ctx);
    m_output = std::make_unique<TaskOutput>(ctx);
    m_documentsMenu = std::make_unique<RelatedDocumentsMenu>(ctx);
    m_commandMenu = std::make_unique<CommandMenu>(*this);
    m_dragDrop = std::make_unique<TaskDragDrop>(ctx, *m_operations);
    // Another program's version is loaded only while nothing modal or a drag holds the tree.
    m_sync = std::make_unique<TaskFileSync>(ctx, m_options.taskFilePath, [this] {
        return !m_ready || m_unloaded || QApplication::activeModalWidget() || QApplication::activePopupWidget()
            || m_tvTasks->isDragging();
    });
    connect(m_sync.get(), &TaskFileSync::reloaded, this, [this](bool fromDisk, const FileStamp &stamp) {
        m_operations->history().clear();
        // The unsaved changes the journal extends the file with are now those of the new version.
        if (fromDisk && m_journal)
            m_journal->saved(stamp);
    });

    connect(m_tvTasks, &TaskTreeView::otherButtonPressed, this,
            [this](TaskNode *node) { m_documentsMenu->ShowRelatedDocumentsMenu(node, true); });
    connect(m_tvTasks, &TaskTreeView::dragDropped, this,
            [this](TaskNode *dragged, TaskNode *target) { m_dragDrop->onDragDropped(dragged, target); });

    if (m_services.effect) {
        connect(m_services.effect, &WindowEffect::finished, this, [this](bool shown) {
            if (!shown || m_unloaded)
                return;
            raise();
            activateWindow();
            if (m_settings.EffectStyle != 0)
                m_tvTasks->setFocus();
        });
    }
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { saveForSessionEnd(); });

    qApp->installEventFilter(this);
}

frmMain::~frmMain()
{
    qApp->removeEventFilter(this);
    stopActivationChannel();
    // The view goes before the model it shows, and the model before the tree it observes.
    m_documentsMenu.reset();
    m_commandMenu.reset();
    delete m_tvTasks;
    m_tvTasks = nullptr;
    m_model.reset();
}

void frmMain::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // Centre at the design size; the stored placement, if any, replaces it later.
    resize(kDesignWidth, kDesignHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_tvTasks->setFont(QFont(QStringLiteral("Georgia"), 12));
    LoadSettings();
    BuildToolbar();
    FillFilterCombo();
    BuildTaskTree();
    if (m_unloaded)
        return; // ended while a start-up box was open
    // Only now: the system's font list may still be being read, and nothing before needs it.
    // Where the design family is missing the main window keeps the system's font.
    if (fontInstalled(kDesignFamily))
        setFont(designFont(QFont()));
    RestoreWindowPlacement();
    m_ready = true; // the user's tree is there: a session end saves it from here on

    // The rest is nothing the window's first frame shows: it follows that frame, so the tree
    // is on the screen sooner. A hidden start has no frame to wait for.
    if (isVisible() && !isMinimized()) {
        m_tvTasks->viewport()->installEventFilter(this);
        QTimer::singleShot(kFinishLoadLatestMs, this, &frmMain::finishLoad);
    } else {
        finishLoad();
    }
}

void frmMain::finishLoad()
{
    if (m_loadFinished || m_unloaded)
        return;
    m_loadFinished = true;
    m_tvTasks->viewport()->removeEventFilter(this);
    // Rendered at every size the window manager may want: the dearest step of a start.
    if (!m_options.inIde)
        setWindowIcon(resourceIcon(QStringLiteral("A_MAIN")));
    if (m_services.tray) {
        m_services.tray->setToolTip(windowTitle());
        m_services.tray->setIconPicture(resourceIcon(QStringLiteral("A_MAIN")));
        m_services.tray->setInTray(true);
        connect(m_services.tray, &TrayIcon::activated, this, &frmMain::ActivateMainWindow);
        connect(m_services.tray, &TrayIcon::newTaskRequested, this, &frmMain::AddTaskFromTray);
    }
    showRecoveryNote();
    // From here on a second start finds this window.
    startActivationChannel();
    Q_EMIT loadFinished();
}

void frmMain::LoadSettings()
{
    MainWindowSettings::LoadSettings(m_settings, *m_services.settings, m_tvTasks);
}

void frmMain::SaveSettings()
{
    MainWindowSettings::SaveSettings(m_settings, *m_services.settings, this, m_tvTasks);
}

void frmMain::BuildToolbar()
{
    m_tbMain = new QToolBar(this);
    m_tbMain->setObjectName(QStringLiteral("tbMain"));
    m_tbMain->setMovable(false);
    m_tbMain->setFloatable(false);
    m_tbMain->setFixedHeight(kToolbarHeight);
    m_tbMain->setIconSize(QSize(24, 24));
    m_tbMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_tbMain->setContextMenuPolicy(Qt::PreventContextMenu);
    m_tbMain->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, m_tbMain);

    auto *statusMenu = new QMenu(this);
    statusMenu->setObjectName(QStringLiteral("mnuSetItemStatus"));
    QList<QAction *> buttons;
    for (const MainCommand &command : mainCommands()) {
        // Pictures only; the tooltip names the button for assistive tools too.
        const QString key = command.name();
        auto *action = new QAction(this);
        action->setObjectName(key);
        action->setData(key);
        if (command.tip)
            action->setToolTip(command.toolTip());
        connect(action, &QAction::triggered, this, [this, key] { ExecuteCommand(key); });
        if (command.menuText) {
            action->setText(QString::fromUtf8(command.menuText));
            // The key stands in the menu's own column and reaches a screen reader as the
            // entry's shortcut, not as part of its name. The main window handles the key
            // itself; here it acts only inside the open menu.
            const KeyBinding &binding = command.keys.first();
            action->setShortcut(QKeySequence(QKeyCombination(binding.modifiers, Qt::Key(binding.key))));
            action->setShortcutContext(Qt::WidgetShortcut);
            action->setShortcutVisibleInContextMenu(true);
            statusMenu->addAction(action);
            continue;
        }
        if (!command.picture)
            continue;
        action->setIcon(resourceIcon(QString::fromLatin1(command.picture)));
        if (command.separatorBefore)
            m_tbMain->addSeparator();
        if (key == QLatin1String("SetItemStatus")) {
            m_statusButton = new QToolButton(m_tbMain);
            m_statusButton->setObjectName(QStringLiteral("tbSetItemStatus"));
            m_statusButton->setDefaultAction(action);
            m_statusButton->setMenu(statusMenu);
            m_statusButton->setPopupMode(QToolButton::MenuButtonPopup);
            m_statusButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
            // Like the toolbar's own buttons: the keys stay with the tree.
            m_statusButton->setFocusPolicy(Qt::NoFocus);
            m_statusButton->setAccessibleName(action->toolTip());
            m_tbMain->addWidget(m_statusButton);
        } else {
            m_tbMain->addAction(action);
            buttons.append(action);
        }
    }
    for (QAction *action : buttons)
        if (QWidget *w = m_tbMain->widgetForAction(action))
            w->setAccessibleName(action->toolTip());
}

namespace {

// The filter box's entries, in order: every task, then one status each.
constexpr std::array<std::optional<TaskStatus>, 4> kFilterEntries {std::nullopt, TaskStatus::Done, TaskStatus::Progress,
                                                                   TaskStatus::Rejected};

} // namespace

void frmMain::FillFilterCombo()
{
    m_lblTag = new QLabel(QStringLiteral("Фильтр:"), m_pnlFilter);
    m_lblTag->setObjectName(QStringLiteral("lblTag"));
    m_cboFilter = new QComboBox(m_pnlFilter);
    m_cboFilter->setObjectName(QStringLiteral("cboFilter"));
    m_cboFilter->addItems({QStringLiteral("Все"), QStringLiteral("Выполненые"), QStringLiteral("В работе"),
                           QStringLiteral("Отклонённые")});
    m_cboFilter->setCurrentIndex(0);
    m_lblTag->setBuddy(m_cboFilter);
    m_cboFilter->setAccessibleName(QStringLiteral("Фильтр"));
    auto *row = new QHBoxLayout(m_pnlFilter);
    row->setContentsMargins(4, 2, 4, 0);
    row->addWidget(m_lblTag);
    row->addWidget(m_cboFilter);
    row->addStretch();
    // The choice lives as long as the window: a new start shows every task again.
    connect(m_cboFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < int(kFilterEntries.size()))
            m_model->setFilter(kFilterEntries[size_t(index)]);
    });
    connect(m_model.get(), &TaskItemModel::filterChanged, this, [this] {
        const auto it = std::find(kFilterEntries.begin(), kFilterEntries.end(), m_model->filter());
        const QSignalBlocker blocker(m_cboFilter);
        m_cboFilter->setCurrentIndex(int(it - kFilterEntries.begin()));
    });
    // A chosen entry hands the keys back to the tree, where the commands act.
    connect(m_cboFilter, &QComboBox::activated, this, [this] { m_tvTasks->setFocus(); });
    ShowFilter();
}

void frmMain::ShowFilter()
{
    m_pnlFilter->setVisible(m_settings.ShowFilter);
    // A hidden box filters nothing.
    if (!m_settings.ShowFilter)
        m_cboFilter->setCurrentIndex(0);
}

void frmMain::BuildTaskTree()
{
    m_model->setIcons({
        {QStringLiteral("Main"), resourceIcon(QStringLiteral("A_MAIN"))},
        {QStringLiteral("Done"), resourceIcon(QStringLiteral("IDI_DONE"))},
        {QStringLiteral("Progress"), resourceIcon(QStringLiteral("IDI_PROGRESS"))},
        {QStringLiteral("Rejected"), resourceIcon(QStringLiteral("IDI_REJECTED"))},
    });
    m_tvTasks->setTaskModel(m_model.get());
    m_tvTasks->setFullRowSelect(m_settings.FullRowSelect);
    m_tree.setExpanded(m_tree.root(), true);
    if (!m_tree.selected())
        m_tree.setSelected(m_tree.root());
    LoadTaskFile();
}

bool frmMain::OfferEmergencyCopy()
{
    const QString copy = EmergencyCopy::find(m_options.taskFilePath);
    if (copy.isEmpty())
        return false;
    const MsgAnswer answer = m_services.prompts->messageBox(
        this,
        QStringLiteral("При прошлом завершении работы не удалось сохранить файл с задачами, и задачи "
                       "записаны в аварийную копию:\r\n")
            + QDir::toNativeSeparators(copy)
            + QStringLiteral("\r\n\r\nЗагрузить задачи из аварийной копии? Нынешний файл с задачами будет "
                             "сохранён рядом с ним.\r\nЕсли нет, файл останется как есть, а копия — на своём месте."),
        MsgStyle::YesNoQuestion);
    if (m_unloaded || answer != MsgAnswer::Yes)
        return false;
    QString aside, error;
    if (EmergencyCopy::restore(m_options.taskFilePath, copy, &aside, &error))
        return true;
    m_services.prompts->showError(this, error, MsgStyle::OkCritical,
                                  QStringLiteral("Не удалось загрузить задачи из аварийной копии."));
    return false;
}

void frmMain::LoadTaskFile()
{
    // Only the running instance gets here, so no other save is under way.
    removeLeftoverTemporaries(m_options.taskFilePath);
    // Hidden in the tray nobody could answer: the question waits for the window's first show.
    if (m_options.autorun)
        m_emergencyCopyPending = !EmergencyCopy::find(m_options.taskFilePath).isEmpty();
    else
        OfferEmergencyCopy();
    if (m_unloaded)
        return;
    m_sync->beforeLoad();
    const LoadResult result = loadTaskFile(m_options.taskFilePath, m_tree);
    m_sync->loaded(result.stamp);
    attachJournal(result.stamp);
    if (m_ready)
        showRecoveryNote(); // read again later on (an emergency copy taken): no start to wait for
    releaseFreedMemory();
    if (result.status != LoadResult::Status::Failed)
        return;
    // Keep what the user had before anything can write over it.
    QString notKept;
    const QString copy = keepUnreadableCopy(m_options.taskFilePath, &notKept);
    m_unreadableNotKept = copy.isEmpty() && !notKept.isEmpty(); // empty reason: the file is gone
    QString text = kLoadFailed;
    QString details = result.error;
    if (!copy.isEmpty())
        text += QStringLiteral("\r\n\r\nКопия файла сохранена: ") + copy;
    else if (m_unreadableNotKept)
        details += QStringLiteral("\r\nКопию файла сделать не удалось: ") + notKept;
    m_services.prompts->showError(this, details, MsgStyle::OkCritical, text);
}

void frmMain::attachJournal(const FileStamp &loaded)
{
    if (!m_journal) {
        m_dataSync = std::make_unique<BackgroundDataSync>();
        m_journal = std::make_unique<Journal>(Journal::pathFor(m_options.taskFilePath), [this](int fd, QString *) {
            m_dataSync->request(fd);
            return true;
        });
    }
    Journal::Recovery recovery = m_journal->attach(m_tree, loaded);
    if (recovery.treeSpoiled) {
        // Half played: start again from the file alone (the journal is aside by now).
        const LoadResult again = loadTaskFile(m_options.taskFilePath, m_tree);
        m_sync->loaded(again.stamp);
        m_journal->attach(m_tree, again.stamp);
    }
    if (!recovery.keptAside.isEmpty())
        m_recoveryNote = QStringLiteral("Несохранённые изменения прошлого сеанса не подходят к файлу с задачами "
                                        "и отложены в сторону: ")
            + QDir::toNativeSeparators(recovery.keptAside);
    else if (recovery.restored > 0)
        m_recoveryNote = QStringLiteral("Восстановлены несохранённые изменения: %1.").arg(recovery.restored);
}

void frmMain::showRecoveryNote()
{
    if (m_recoveryNote.isEmpty())
        return;
    qCInfo(lcUi).noquote() << m_recoveryNote;
    // A note, not a question: under "/Autorun" nobody may be there to answer.
    if (trayAvailable())
        m_services.tray->showMessage(windowTitle(), m_recoveryNote);
    else
        statusBar()->showMessage(m_recoveryNote);
    m_recoveryNote.clear();
}

void frmMain::RestoreWindowPlacement()
{
    RestoreFormPlacement(*m_services.settings, this, QString(), MainWindowSettings::kPlacementKey);
    if (!isVisible())
        show();
    QCoreApplication::processEvents();
    relayout();
    if (m_options.autorun) {
        CacheWindowImage();
        if (trayAvailable())
            hide();
        else
            showMinimized(); // no tray to come back from: keep it reachable
    }
}

void frmMain::relayout()
{
    if (isMinimized())
        return;
    if (QLayout *l = layout())
        l->activate();
}

void frmMain::ExecuteCommand(const QString &key)
{
    if (const MainCommand *command = findCommand(key))
        command->run(*this);
    else
        qCWarning(lcUi) << "No such command:" << key;
}

void frmMain::ShowAboutBox()
{
    m_services.prompts->showAboutBox(this);
}

void frmMain::ShowCommandMenu()
{
    m_commandMenu->ShowCommandMenu();
}

void frmMain::ShowKeysWindow()
{
    KeysWindow dialog(this);
    dialog.exec();
}

void frmMain::ShowBackupsFolder()
{
    const QString folder = QDir::toNativeSeparators(Backups::folder(m_options.taskFilePath));
    if (!QDir(folder).exists() || QDir(folder).isEmpty(QDir::Files)) {
        m_services.prompts->messageBox(this,
                                       QStringLiteral("Резервных копий пока нет: копия файла с задачами делается "
                                                      "перед первым сохранением каждого дня."),
                                       MsgStyle::OkInformation);
        return;
    }
    Services *services = &m_services;
    services->opener->open(folder, this, [services, this, folder] {
        services->prompts->messageBox(this,
                                      folder + QStringLiteral("\r\n\r\nНе удаётся открыть папку с резервными копиями."),
                                      MsgStyle::OkCritical);
    });
}

void frmMain::AddTaskFromTray()
{
    if (!m_ready || m_unloaded)
        return;
    // One modal window at a time: the one already open comes forward instead.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        restoreMinimised(modal);
        return;
    }
    // The new task is selected and scrolled to, hidden or not: the next show finds it there.
    m_operations->AddTopLevelTask();
}

void frmMain::ShowSettingsDialog()
{
    frmSettings dialog(this, m_settings, m_tvTasks, m_services, [this] { SaveSettings(); });
    dialog.exec();
    m_tvTasks->applySettings(m_settings);
    ShowFilter();
}

bool frmMain::writeTaskFile(QString *error)
{
    if (m_unreadableNotKept) {
        // The unreadable file is still the only copy of the user's old data, as long as it is there.
        QString why;
        const QString copy = keepUnreadableCopy(m_options.taskFilePath, &why);
        if (copy.isEmpty() && !why.isEmpty()) {
            *error = QStringLiteral("Файл данных, который не удалось прочитать, не удалось и скопировать: ")
                + m_options.taskFilePath + QStringLiteral("\r\n") + why;
            return false;
        }
        if (!copy.isEmpty())
            qCInfo(lcStorage) << "The unreadable task file was copied aside at last:" << copy;
        m_unreadableNotKept = false;
    }
    switch (m_sync->beforeWrite(error)) {
    case TaskFileSync::Write::Go:
        break;
    case TaskFileSync::Write::Skip:
        // Another program's version stays and nothing here was unsaved: the journal has nothing
        // to add to it, so the next start finds no changes that do not fit.
        if (!m_tree.isModified() && m_journal)
            m_journal->saved(FileStamp::read(m_options.taskFilePath));
        return true;
    case TaskFileSync::Write::Failed:
        return false;
    }
    Backups::keepDaily(m_options.taskFilePath);
    const SaveResult result = saveTaskFile(m_options.taskFilePath, m_tree);
    if (!result.ok) {
        *error = result.error;
        return false;
    }
    m_sync->saved(result.stamp);
    if (m_journal)
        m_journal->saved(result.stamp);
    const QString folder = QFileInfo(m_options.taskFilePath).absolutePath();
    clearSystemError();
    if (!syncFolder(folder))
        qCWarning(lcStorage) << "Could not flush the folder after a save:" << folder
                             << fileErrorText(lastSystemError());
    return true;
}

bool frmMain::SaveTaskFile(bool askOnFailure)
{
    // F2 asks when another program changed the file; the exit keeps both versions unasked.
    if (!askOnFailure && !m_sync->settleBeforeSave())
        return false;
    QString error;
    if (writeTaskFile(&error))
        return true;
    if (askOnFailure)
        return m_services.prompts->showError(this, error, MsgStyle::YesNoCritical, kSaveFailedExit) != MsgAnswer::No;
    m_services.prompts->showError(this, error, MsgStyle::OkCritical, kSaveFailed);
    return false;
}

void frmMain::saveForSessionEnd()
{
    // Still starting: the user has changed nothing, and the window has no placement of its own yet.
    if (!m_ready || m_unloaded)
        return;
    QString error;
    if (!writeTaskFile(&error)) {
        // Nobody is there to answer: the tasks go to an emergency copy, offered at the next start.
        m_exitCode = 1;
        qCCritical(lcUi) << "The task file could not be saved at the end of the session:" << error;
        QString copyError;
        const QString copy = EmergencyCopy::write(m_options.taskFilePath, m_tree, &copyError);
        if (copy.isEmpty())
            qCCritical(lcUi) << "No emergency copy of the tasks could be written either:" << copyError;
        else
            qCWarning(lcUi) << "The tasks were written to the emergency copy" << copy;
    }
    SaveSettings();
}

void frmMain::EndSession()
{
    if (!m_loaded || m_unloaded)
        return;
    saveForSessionEnd();
    stopActivationChannel();
    m_unloaded = true;
    Q_EMIT unloaded();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_unloaded || !m_loaded) {
        event->accept();
        return;
    }
    if (qApp->isSavingSession()) {
        saveForSessionEnd();
    } else if (!SaveTaskFile(true)) {
        event->ignore();
        return;
    }
    stopActivationChannel();
    SaveSettings();
    m_unloaded = true;
    event->accept();
    Q_EMIT unloaded();
}

// ---- tray, activation and the hide/show effect ----

bool frmMain::trayAvailable() const
{
    return m_services.tray && m_services.tray->isTrayAvailable();
}

void frmMain::CacheWindowImage()
{
    m_picCache = OverlayWindowEffect::CacheWindowImage(this);
}

void frmMain::AnimateMainWindow(bool show)
{
    if (!m_services.effect) {
        setVisible(show);
        return;
    }
    m_services.effect->animate(this, show, m_settings.EffectStyle, m_settings.SlideDirection, m_settings.EffectTimeout,
                               m_picCache);
}

void frmMain::HideToTray(bool takeSnapshot)
{
    if (!trayAvailable()) {
        // Nothing would bring the window back from a tray that does not exist.
        showMinimized();
        return;
    }
    if (!isVisible())
        return;
    m_placeBeforeHide = geometry();
    m_hasPlaceBeforeHide = true;
    if (takeSnapshot)
        CacheWindowImage();
    AnimateMainWindow(false);
    m_services.tray->setInTray(true);
}

void frmMain::ActivateMainWindow()
{
    if (m_unloaded)
        return;
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (!isVisible() && m_hasPlaceBeforeHide)
        setGeometry(m_placeBeforeHide);
    raise();
    activateWindow();
    AnimateMainWindow(true);
    if (m_emergencyCopyPending) {
        m_emergencyCopyPending = false;
        // Once the window is back, so the question has somewhere to stand.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_unloaded && OfferEmergencyCopy())
                    LoadTaskFile();
            },
            Qt::QueuedConnection);
    }
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_loaded || m_unloaded)
        return;
    if (!(windowState() & Qt::WindowMinimized))
        return;
    if (QApplication::activeModalWidget()) {
        // Nothing goes while a dialog is open: neither the window nor, with it, the dialog.
        QMetaObject::invokeMethod(
            this, [this] { restoreMinimised(this); }, Qt::QueuedConnection);
        return;
    }
    if (!trayAvailable())
        return;
    // A minimise request hides to the tray instead; the old state comes back first so the
    // window returns as it was. The window manager has already taken the window off the
    // screen, so its picture is rendered while it still counts as minimised.
    const Qt::WindowStates old = static_cast<QWindowStateChangeEvent *>(event)->oldState() & ~Qt::WindowMinimized;
    QMetaObject::invokeMethod(
        this,
        [this, old] {
            if (!(windowState() & Qt::WindowMinimized))
                return;
            CacheWindowImage();
            setWindowState(old);
            HideToTray(false);
        },
        Qt::QueuedConnection);
}

QString frmMain::activationChannelName() const
{
    return AppIdentity::kGuid;
}

bool frmMain::isActivationListening() const
{
    return m_activation != nullptr;
}

void frmMain::startActivationChannel()
{
    if (m_activation)
        return;
    auto *server = new ActivationServer(this);
    if (!server->listen(activationChannelName())) {
        delete server;
        return;
    }
    connect(server, &ActivationServer::activationRequested, this, &frmMain::ActivateMainWindow);
    m_activation = server;
}

void frmMain::stopActivationChannel()
{
    delete m_activation;
    m_activation = nullptr;
}

// ---- keys ----

bool frmMain::belongsHere(QObject *object) const
{
    if (!object || !object->isWidgetType())
        return false;
    return static_cast<QWidget *>(object)->window() == this;
}

void frmMain::restoreMinimised(QWidget *window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    if (QWidget *dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint && !m_loadFinished && watched == m_tvTasks->viewport()) {
        // Once this paint and the flush to the screen that follows it are done.
        QMetaObject::invokeMethod(this, &frmMain::finishLoad, Qt::QueuedConnection);
        return false;
    }
    // A dialog cannot be minimised apart from its owner, even where the window manager
    // offers a button for it: it comes straight back.
    if (type == QEvent::WindowStateChange && qobject_cast<QDialog *>(watched)
        && static_cast<QDialog *>(watched)->isMinimized()) {
        QPointer<QWidget> dialog = static_cast<QDialog *>(watched);
        QMetaObject::invokeMethod(
            this,
            [this, dialog] {
                if (dialog)
                    restoreMinimised(dialog);
            },
            Qt::QueuedConnection);
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, event);
    // A key handed on by us, or one meant for a dialog or a popup: not ours to preview.
    if (m_passingOn || !m_loaded || m_unloaded || !belongsHere(watched) || QApplication::activeModalWidget())
        return QMainWindow::eventFilter(watched, event);

    auto *receiver = static_cast<QWidget *>(watched);
    auto *key = static_cast<QKeyEvent *>(event);
    if (type == QEvent::KeyRelease) {
        if (receiver == m_tvTasks && treeKeyUp(key))
            return true;
        return false;
    }

    QPointer<QWidget> guard(receiver);
    if (previewKeyDown(receiver, key))
        return true;
    if (!guard || m_unloaded)
        return true;
    if (receiver == m_tvTasks && treeKeyDown(key))
        return true;
    // The tree would take a blank for a search and jump to the next row; Space belongs to
    // the documents menu on its release.
    if (receiver == m_tvTasks && key->key() == Qt::Key_Space)
        return true;
    // Delivered by us in one go, so a key the control ignores does not come back here on
    // its way up to the window and run its command twice.
    passOnWithoutText(receiver, key);
    return true;
}

bool frmMain::previewKeyDown(QWidget *receiver, QKeyEvent *event)
{
    if (is(event, Qt::Key_Escape)) {
        escapeRule();
        return true;
    }
    const MainCommand *command = commandForKey(event->key(), modifierState(event), receiver == m_tvTasks);
    if (!command)
        return false; // not ours: the focused control gets it
    ExecuteCommand(command->name());
    // A bound key does its command only: the tree would take Ctrl+Ins for Copy.
    return true;
}

void frmMain::escapeRule()
{
    if (m_dragDrop->cancelDrag())
        return;
    if (m_options.inIde || !m_settings.CollapseOnESC)
        close();
    else
        HideToTray();
}

bool frmMain::treeKeyDown(QKeyEvent *event)
{
    if (is(event, Qt::Key_Left)) {
        TaskNode *node = m_tree.selected();
        if (node && node->parent() && (!m_model->hasShownChildren(node) || !node->isExpanded())) {
            m_tree.setSelected(node->parent());
            m_tvTasks->EnsureVisible(node->parent());
            return true;
        }
        return false;
    }
    return false;
}

bool frmMain::treeKeyUp(QKeyEvent *event)
{
    if (!is(event, Qt::Key_Space) || event->isAutoRepeat())
        return false;
    m_documentsMenu->ShowRelatedDocumentsMenu(m_tree.selected(), true);
    return true;
}

void frmMain::passOnWithoutText(QWidget *receiver, QKeyEvent *event)
{
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->nativeScanCode(), event->nativeVirtualKey(),
                   event->nativeModifiers(), QString(), event->isAutoRepeat(), event->count(), event->device());
    m_passingOn = true;
    QCoreApplication::sendEvent(receiver, &copy);
    m_passingOn = false;
    // Delivered: the original must not travel up the parents again.
    event->accept();
}
