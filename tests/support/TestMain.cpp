// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include <QDir>

namespace {
QTemporaryDir *g_home = nullptr;
}

void TestSupport::prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_home = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/listra-test-XXXXXX"));
    const QString home = g_home->path();
    for (const char *sub : {"config", "data", "runtime", "cache", "state"})
        QDir(home).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(home + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", (home + QStringLiteral("/state")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (home + QStringLiteral("/runtime")).toLocal8Bit());
}

QString TestSupport::homeDir()
{
    return g_home ? g_home->path() : QString();
}
