// SPDX-License-Identifier: MIT
#include "components/platform/SystemStartupRegistration.h"

#include <QSettings>

namespace {

const QString kRunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QString SystemStartupRegistration::entryPath(const QString &name)
{
    return kRunKey + QLatin1Char('\\') + name;
}

bool SystemStartupRegistration::IsRegistered(const QString &name)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    return isUsableName(name) && run.contains(name);
}

bool SystemStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    if (!isUsableName(name)) {
        setError(error, QStringLiteral("Недопустимое имя записи автозапуска."));
        return false;
    }
    QSettings run(kRunKey, QSettings::NativeFormat);
    run.setValue(name, commandLine);
    run.sync();
    if (run.status() != QSettings::NoError) {
        setError(error, QStringLiteral("Не удаётся записать ключ автозапуска в реестр."));
        return false;
    }
    return true;
}

bool SystemStartupRegistration::Unregister(const QString &name, QString *error)
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    if (!isUsableName(name) || !run.contains(name))
        return true;
    run.remove(name);
    run.sync();
    if (run.status() != QSettings::NoError) {
        setError(error, QStringLiteral("Не удаётся удалить ключ автозапуска из реестра."));
        return false;
    }
    return true;
}
