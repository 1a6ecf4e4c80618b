// SPDX-License-Identifier: MIT
#include "settings/MainWindowSettings.h"

#include "components/qt/SettingsStore.h"
#include "components/qt/WindowPlacement.h"
#include "settings/AppSettings.h"

#include <QWidget>

#include <limits>

namespace {

const QString kTop;
const QString kColors = QStringLiteral("Colors");
const QString kEffects = QStringLiteral("Effects");

constexpr qint64 kMaxColor = 0xFFFFFF;

bool readBool(SettingsStore &store, const QString &section, const QString &key, bool def)
{
    const QVariant v = store.ReadValue(section, key, SettingValueType::Boolean, def);
    return v.canConvert<bool>() ? v.toBool() : def;
}

qint32 readInt(SettingsStore &store, const QString &section, const QString &key, qint32 def)
{
    const QVariant v = store.ReadValue(section, key, SettingValueType::Integer, def);
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return def;
    return qint32(n);
}

// Stored colours are plain 24-bit values; anything else (a system colour included) is a
// damaged entry and the default wins.
OleColor readColor(SettingsStore &store, const QString &key, OleColor def)
{
    const qint32 v = readInt(store, kColors, key, qint32(def));
    if (v < 0 || v > kMaxColor)
        return def;
    return OleColor(v);
}

void writeBool(SettingsStore &store, const QString &section, const QString &key, bool value)
{
    store.WriteValue(section, key, SettingValueType::Boolean, value);
}

void writeInt(SettingsStore &store, const QString &section, const QString &key, qint32 value)
{
    store.WriteValue(section, key, SettingValueType::Integer, value);
}

} // namespace

int MainWindowSettings::defaultEffectStyle()
{
    return 1;
}

void MainWindowSettings::LoadSettings(AppSettings &s, SettingsStore &store, QWidget *tree)
{
    const AppSettings d; // the defaults
    if (tree)
        tree->setFont(store.ReadFont(kTreeFontKey, tree->font()));

    s.CollapseOnESC = readBool(store, kTop, QStringLiteral("Collapse on ESC"), d.CollapseOnESC);
    s.FullRowSelect = readBool(store, kTop, QStringLiteral("Full Row Select"), d.FullRowSelect);
    s.DontMarkSubTasks = readBool(store, kTop, QStringLiteral("Don't Mark Sub Tasks"), d.DontMarkSubTasks);
    s.ShowFilter = readBool(store, kTop, QStringLiteral("Show Filter"), d.ShowFilter);
    s.ShowSubTaskCounter = readBool(store, kTop, QStringLiteral("Show Sub Task Counter"), d.ShowSubTaskCounter);

    s.DoneTasksColor = readColor(store, QStringLiteral("Done Tasks Color"), d.DoneTasksColor);
    s.ProgressTasksColor = readColor(store, QStringLiteral("Progress Tasks Color"), d.ProgressTasksColor);
    s.RejectedTasksColor = readColor(store, QStringLiteral("Rejected Tasks Color"), d.RejectedTasksColor);
    s.CustomColors
        = store.ReadValue(kColors, QStringLiteral("Custom Colors"), SettingValueType::Text, QString()).toString();
    s.DoneTasksBackColor = readColor(store, QStringLiteral("Done Tasks Back Color"), d.DoneTasksBackColor);
    s.ProgressTasksBackColor = readColor(store, QStringLiteral("Progress Tasks Back Color"), d.ProgressTasksBackColor);
    s.RejectedTasksBackColor = readColor(store, QStringLiteral("Rejected Tasks Back Color"), d.RejectedTasksBackColor);
    s.UseBackColor = readBool(store, kColors, QStringLiteral("Use Back Color"), d.UseBackColor);

    // The duration is taken as stored, even zero or negative.
    s.EffectTimeout = readInt(store, kEffects, QStringLiteral("Timeout"), d.EffectTimeout);
    s.EffectStyle = readInt(store, kEffects, QStringLiteral("Style"), defaultEffectStyle());
    if (s.EffectStyle < 0 || s.EffectStyle > 3)
        s.EffectStyle = defaultEffectStyle();
    s.SlideDirection = readInt(store, kEffects, QStringLiteral("Slide Direction"), d.SlideDirection);
    if (s.SlideDirection < 0 || s.SlideDirection > 8)
        s.SlideDirection = 7;
}

void MainWindowSettings::SaveSettings(const AppSettings &s, SettingsStore &store, QWidget *window, QWidget *tree)
{
    if (window)
        SaveFormPlacement(store, window, kTop, kPlacementKey);
    if (tree)
        store.WriteFont(kTreeFontKey, tree->font());

    writeBool(store, kTop, QStringLiteral("Collapse on ESC"), s.CollapseOnESC);
    writeBool(store, kTop, QStringLiteral("Full Row Select"), s.FullRowSelect);
    writeBool(store, kTop, QStringLiteral("Don't Mark Sub Tasks"), s.DontMarkSubTasks);
    writeBool(store, kTop, QStringLiteral("Show Filter"), s.ShowFilter);
    writeBool(store, kTop, QStringLiteral("Show Sub Task Counter"), s.ShowSubTaskCounter);

    writeInt(store, kColors, QStringLiteral("Done Tasks Color"), qint32(s.DoneTasksColor));
    writeInt(store, kColors, QStringLiteral("Progress Tasks Color"), qint32(s.ProgressTasksColor));
    writeInt(store, kColors, QStringLiteral("Rejected Tasks Color"), qint32(s.RejectedTasksColor));
    store.WriteValue(kColors, QStringLiteral("Custom Colors"), SettingValueType::Text, s.CustomColors);
    writeInt(store, kColors, QStringLiteral("Done Tasks Back Color"), qint32(s.DoneTasksBackColor));
    writeInt(store, kColors, QStringLiteral("Progress Tasks Back Color"), qint32(s.ProgressTasksBackColor));
    writeInt(store, kColors, QStringLiteral("Rejected Tasks Back Color"), qint32(s.RejectedTasksBackColor));
    writeBool(store, kColors, QStringLiteral("Use Back Color"), s.UseBackColor);

    writeInt(store, kEffects, QStringLiteral("Timeout"), s.EffectTimeout);
    writeInt(store, kEffects, QStringLiteral("Style"), s.EffectStyle);
    writeInt(store, kEffects, QStringLiteral("Slide Direction"), s.SlideDirection);
    store.sync();
}
