// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// Value-type codes of the store.
enum class SettingValueType { Text = 0, Integer = 1, Boolean = 3 };

// Named settings of this program across runs, over QSettings (organisation "Graywick",
// application "Listra"). A missing value, or one that cannot be read as the asked type,
// comes back as the default.
class SettingsStore
{
public:
    SettingsStore();
    // A store in the given INI file (tests).
    explicit SettingsStore(const QString &iniPath);
    ~SettingsStore();

    // Text -> QString, Integer -> int (32-bit), Boolean -> bool.
    QVariant ReadValue(const QString &section, const QString &key, SettingValueType type, const QVariant &defaultValue);
    void WriteValue(const QString &section, const QString &key, SettingValueType type, const QVariant &value);

    QFont ReadFont(const QString &key, const QFont &defaultFont);
    void WriteFont(const QString &key, const QFont &font);

    QByteArray ReadBytes(const QString &section, const QString &key);
    void WriteBytes(const QString &section, const QString &key, const QByteArray &value);

    // Writes pending changes; false when the store could not be written.
    bool sync();

private:
    std::unique_ptr<QSettings> m_settings;
};
