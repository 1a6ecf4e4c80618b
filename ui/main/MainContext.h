// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class QWidget;
class TaskTree;
class TaskTreeView;
struct Services;
struct AppSettings;

// What the main window's operations work on: the window, its tree and view, the outside
// services and the settings. Owned by frmMain; the operations only borrow it.
struct MainContext {
    QWidget *window = nullptr;
    TaskTree *tree = nullptr;
    TaskTreeView *view = nullptr;
    Services *services = nullptr;
    AppSettings *settings = nullptr;
    // The layout step that also runs on a resize.
    std::function<void()> relayout;
};
