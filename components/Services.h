// SPDX-License-Identifier: MIT
#pragma once

class Prompts;
class DocumentOpener;
class Choosers;
class TaskEditorFactory;
class StartupRegistration;
class TrayIcon;
class WindowEffect;
class SettingsStore;
class DocumentPrinter;

// The outside pieces the windows use; the real Qt ones at run time, scripted fakes in tests.
struct Services {
    Prompts *prompts = nullptr;
    DocumentOpener *opener = nullptr;
    Choosers *choosers = nullptr;
    TaskEditorFactory *editors = nullptr;
    StartupRegistration *startup = nullptr;
    TrayIcon *tray = nullptr;
    WindowEffect *effect = nullptr;
    SettingsStore *settings = nullptr; // the one store of settings across runs
    DocumentPrinter *printer = nullptr;
};
