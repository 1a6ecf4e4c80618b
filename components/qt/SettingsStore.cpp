// SPDX-License-Identifier: MIT
#include "components/qt/SettingsStore.h"

#include "components/AppIdentity.h"
#include "components/ComponentsLog.h"

#include <QSettings>
#include <QStringList>
#include <limits>
#include <optional>

namespace {

QString fullKey(const QString &section, const QString &key)
{
    return section.isEmpty() ? key : section + QLatin1Char('/') + key;
}

// An INI value with unquoted commas reads back as a list; a text wants it whole.
std::optional<QString> asText(const QVariant &v)
{
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    if (v.canConvert<QString>())
        return v.toString();
    return std::nullopt;
}

std::optional<int> asInteger(const QVariant &v)
{
    qlonglong value = 0;
    bool ok = false;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
        value = v.toLongLong(&ok);
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong: {
        const qulonglong u = v.toULongLong(&ok);
        ok = ok && u <= qulonglong(std::numeric_limits<int>::max());
        value = qlonglong(u);
        break;
    }
    case QMetaType::QString:
        value = v.toString().trimmed().toLongLong(&ok, 10);
        break;
    case QMetaType::QByteArray:
        value = v.toByteArray().trimmed().toLongLong(&ok, 10);
        break;
    default:
        return std::nullopt;
    }
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

// True/False in any letter case, and the numbers 1, -1 (true) and 0 (false).
std::optional<bool> asBoolean(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    QString text;
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray)
        text = v.toString().trimmed();
    else if (const std::optional<int> n = asInteger(v))
        text = QString::number(*n);
    else
        return std::nullopt;
    if (text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || text == QStringLiteral("1")
        || text == QStringLiteral("-1"))
        return true;
    if (text.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 || text == QStringLiteral("0"))
        return false;
    return std::nullopt;
}

// The value as the asked type, or nothing when it cannot be read as that type.
std::optional<QVariant> asType(SettingValueType type, const QVariant &value)
{
    switch (type) {
    case SettingValueType::Text:
        if (const auto t = asText(value))
            return *t;
        break;
    case SettingValueType::Integer:
        if (const auto n = asInteger(value))
            return *n;
        break;
    case SettingValueType::Boolean:
        if (const auto b = asBoolean(value))
            return *b;
        break;
    }
    return std::nullopt;
}

QVariant typedDefault(SettingValueType type, const QVariant &defaultValue)
{
    return asType(type, defaultValue).value_or(defaultValue);
}

// QFont::fromString accepts a bare family name and warns about anything else it cannot
// read; a stored font must be the full form it was written in, with numbers where numbers go.
bool looksLikeFontDescription(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() < 10 || fields.size() > 17 || fields.first().trimmed().isEmpty())
        return false;
    bool ok = false;
    const double pointSize = fields.at(1).toDouble(&ok);
    if (!ok)
        return false;
    const int pixelSize = fields.at(2).toInt(&ok);
    if (!ok || (pointSize <= 0 && pixelSize <= 0))
        return false;
    for (int i = 3; i < 10; ++i) {
        fields.at(i).toInt(&ok);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, AppIdentity::kOrganization,
                                             AppIdentity::kApplication))
{
}

SettingsStore::SettingsStore(const QString &iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QVariant SettingsStore::ReadValue(const QString &section, const QString &key, SettingValueType type,
                                  const QVariant &defaultValue)
{
    const QVariant stored = m_settings->value(fullKey(section, key));
    if (!stored.isValid())
        return typedDefault(type, defaultValue);
    if (const auto typed = asType(type, stored))
        return *typed;
    return typedDefault(type, defaultValue);
}

void SettingsStore::WriteValue(const QString &section, const QString &key, SettingValueType type, const QVariant &value)
{
    QVariant v;
    switch (type) {
    case SettingValueType::Text:
        v = asText(value).value_or(QString());
        break;
    case SettingValueType::Integer:
        v = asInteger(value).value_or(value.toInt());
        break;
    case SettingValueType::Boolean:
        v = asBoolean(value).value_or(value.toBool());
        break;
    }
    m_settings->setValue(fullKey(section, key), v);
}

QFont SettingsStore::ReadFont(const QString &key, const QFont &defaultFont)
{
    const std::optional<QString> text = asText(m_settings->value(key));
    if (!text) // nothing stored, or something that is no text at all
        return defaultFont;
    QStringList fields = text->split(QLatin1Char(','));
    for (QString &f : fields)
        f = f.trimmed();
    const QString description = fields.join(QLatin1Char(','));
    if (!looksLikeFontDescription(description))
        return defaultFont;
    QFont font;
    if (!font.fromString(description))
        return defaultFont;
    return font;
}

void SettingsStore::WriteFont(const QString &key, const QFont &font)
{
    m_settings->setValue(key, font.toString());
}

QByteArray SettingsStore::ReadBytes(const QString &section, const QString &key)
{
    return m_settings->value(fullKey(section, key)).toByteArray();
}

void SettingsStore::WriteBytes(const QString &section, const QString &key, const QByteArray &value)
{
    m_settings->setValue(fullKey(section, key), value);
}

bool SettingsStore::sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
