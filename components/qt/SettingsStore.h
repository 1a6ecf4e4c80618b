#pragma once

#include <QFont>
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;
class QWidget;

// Centres the window's frame on its screen (the owner's, before it is shown); Qt would
// centre a dialog over its owner instead.
void centreOnScreen(QWidget *window);

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

    void SaveFormPlacement(QWidget *window, const QString &section, const QString &key);
    // Applies the stored placement (or leaves the design placement) and shows the window.
    void RestoreFormPlacement(QWidget *window, const QString &section, const QString &key);

    // Writes pending changes; false when the store could not be written.
    bool sync();

private:
    std::unique_ptr<QSettings> m_settings;
};
