// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;
class SettingsStore;

// Centres the window's frame on its screen (the owner's, before it is shown); Qt would
// centre a dialog over its owner instead.
void centreOnScreen(QWidget *window);

// Where a window stood and whether it was maximized, kept in the settings across runs.
void SaveFormPlacement(SettingsStore &store, QWidget *window, const QString &section, const QString &key);
// Applies the stored placement (or leaves the design placement) and shows the window.
void RestoreFormPlacement(SettingsStore &store, QWidget *window, const QString &section, const QString &key);
