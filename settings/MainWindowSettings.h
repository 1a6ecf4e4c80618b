// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;
class SettingsStore;
struct AppSettings;

// Moving the user's preferences between AppSettings and the settings store. The tree font
// lives on the tree widget itself; the placement is the main window's own.
namespace MainWindowSettings {

inline const QString kPlacementKey = QStringLiteral("Window placement");
inline const QString kTreeFontKey = QStringLiteral("Tree Font");

// The animation style a first run starts with: every platform we run on can blend.
int defaultEffectStyle();

// Reads the tree font (the tree's current font is the default) and every value, falling
// back to the defaults for missing, unreadable or out-of-range values.
void LoadSettings(AppSettings &settings, SettingsStore &store, QWidget *tree);

// Writes the placement of window, the tree's font and every value, in the storage order.
void SaveSettings(const AppSettings &settings, SettingsStore &store, QWidget *window, QWidget *tree);

} // namespace MainWindowSettings
