// SPDX-License-Identifier: MIT
#pragma once

#include "model/TaskTree.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <memory>

class BackgroundDataSync;
class CommandMenu;
class Journal;
class QComboBox;
class QKeyEvent;
class QLabel;
class QToolBar;
class QToolButton;
class RelatedDocumentsMenu;
class TaskDragDrop;
class TaskFileSync;
class TaskItemModel;
class TaskOperations;
class TaskOutput;
class TaskSearch;
class TaskTreeView;
struct AppSettings;
struct FileStamp;
struct Services;

// The main window: the toolbar, the task tree and everything the user does with them.
// It lives until its unload; hiding to the tray keeps it loaded.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    struct Options {
        QString taskFilePath;
        bool autorun = false; // started with "/Autorun": stay in the tray
        bool inIde = false;   // development build: Escape closes, no window icon
    };

    frmMain(Services &services, AppSettings &settings, Options options, QWidget *parent = nullptr);
    ~frmMain() override;

    // Builds the window, reads the settings and the task file and shows (or hides) the
    // window. The window icon, the tray icon and the activation channel follow the first
    // frame (loadFinished). Runs once.
    void Load();
    bool isLoadFinished() const { return m_loadFinished; }

    // Runs the command of that key (a row of MainCommands); keys compare exactly.
    void ExecuteCommand(const QString &key);
    // True when the file was written, or (asked) when the user chose to exit anyway.
    bool SaveTaskFile(bool askOnFailure);
    void SaveSettings();
    void ShowSettingsDialog();
    void ShowAboutBox();
    void ShowCommandMenu();
    // F1: the keys and mouse actions of the window.
    void ShowKeysWindow();
    // Opens the folder of the task file's backups with the system's program.
    void ShowBackupsFolder();
    // The tray's "Новая задача…": a new top-level task, the window left hidden; it shows the
    // task selected the next time it comes up.
    void AddTaskFromTray();

    // takeSnapshot false: the picture to animate was taken already.
    void HideToTray(bool takeSnapshot = true);
    // The session or the system ends the program: save like a normal exit, ask nothing.
    void EndSession();
    void ActivateMainWindow();

    TaskTree &tree() { return m_tree; }
    TaskTreeView *tvTasks() const { return m_tvTasks; }
    QToolBar *tbMain() const { return m_tbMain; }
    QToolButton *statusButton() const { return m_statusButton; }
    QComboBox *cboFilter() const { return m_cboFilter; }
    TaskOperations &operations() { return *m_operations; }
    TaskSearch &search() { return *m_search; }
    TaskOutput &output() { return *m_output; }
    RelatedDocumentsMenu &documentsMenu() { return *m_documentsMenu; }
    CommandMenu &commandMenu() { return *m_commandMenu; }
    TaskDragDrop &dragDrop() { return *m_dragDrop; }

    // The activation channel's name; a second start asks on it.
    QString activationChannelName() const;
    bool isActivationListening() const;
    // True once the unload went through: the program is to end.
    bool isUnloaded() const { return m_unloaded; }
    // Not 0 when the end of a session could not write the task file.
    int exitCode() const { return m_exitCode; }

Q_SIGNALS:
    // The unload went through; the application quits on it.
    void unloaded();
    // The load's last steps are done: icons set, the activation channel listening.
    void loadFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildToolbar();
    void FillFilterCombo();
    // Shows or hides the filter box as the settings say; hidden, it shows every task.
    void ShowFilter();
    void BuildTaskTree();
    void LoadTaskFile();
    // A copy left by a session's end that could not save: asks whether to load it, and puts it
    // in the task file's place if so. True when the file now holds it.
    bool OfferEmergencyCopy();
    void LoadSettings();
    void RestoreWindowPlacement();
    void finishLoad();
    void relayout();
    void CacheWindowImage();
    // Undoes a minimise while a dialog is open and brings the dialog to the front.
    void restoreMinimised(QWidget *window);
    void AnimateMainWindow(bool show);

    // Key preview: Escape, then the bindings of the command table. True when the key is consumed.
    bool previewKeyDown(QWidget *receiver, QKeyEvent *event);
    bool treeKeyDown(QKeyEvent *event);
    bool treeKeyUp(QKeyEvent *event);
    void escapeRule();
    // Hands the key on to its receiver without its character: typed text reaches no control.
    void passOnWithoutText(QWidget *receiver, QKeyEvent *event);
    bool belongsHere(QObject *object) const;

    // Writes the task file; details of a failure in *error.
    bool writeTaskFile(QString *error);
    // Plays the changes a killed run left unsaved onto the tree just loaded, then journals.
    void attachJournal(const FileStamp &loaded);
    void showRecoveryNote();
    // Session end: save like a normal exit, asking nothing.
    void saveForSessionEnd();
    void startActivationChannel();
    void stopActivationChannel();
    bool trayAvailable() const;

    Services &m_services;
    AppSettings &m_settings;
    Options m_options;

    TaskTree m_tree;
    std::unique_ptr<TaskItemModel> m_model;
    TaskTreeView *m_tvTasks = nullptr;
    QToolBar *m_tbMain = nullptr;
    QToolButton *m_statusButton = nullptr;
    QComboBox *m_cboFilter = nullptr;
    QWidget *m_pnlFilter = nullptr; // the filter's label and box, above the tree
    QLabel *m_lblTag = nullptr;
    QPixmap m_picCache;

    std::unique_ptr<TaskOperations> m_operations;
    std::unique_ptr<TaskSearch> m_search;
    std::unique_ptr<TaskOutput> m_output;
    std::unique_ptr<RelatedDocumentsMenu> m_documentsMenu;
    std::unique_ptr<CommandMenu> m_commandMenu;
    std::unique_ptr<TaskDragDrop> m_dragDrop;
    std::unique_ptr<TaskFileSync> m_sync;
    QObject *m_activation = nullptr;                // the listening ActivationServer, while there is one
    std::unique_ptr<BackgroundDataSync> m_dataSync; // outlives the journal that uses it
    std::unique_ptr<Journal> m_journal;             // after m_tree: it lets go of the tree first
    QString m_recoveryNote;                         // shown once the window has its place

    QRect m_placeBeforeHide;
    bool m_hasPlaceBeforeHide = false;
    bool m_loaded = false;
    bool m_ready = false;                // the load went through to its end
    bool m_emergencyCopyPending = false; // found at an "/Autorun" start: asked at the first show
    int m_exitCode = 0;
    bool m_unloaded = false;
    bool m_loadFinished = false;
    bool m_passingOn = false;
    // The task file could not be read: its copy aside must exist before a save replaces it.
    bool m_unreadableNotKept = false;
};
