// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

// The offscreen platform reports features it lacks (size hints, raising, window opacity, a
// notification area) as warnings; they say nothing about the program, so only these are
// dropped before the test's own warning check sees them.
inline void tolerateOffscreenLimits()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type == QtWarningMsg
            && (message.startsWith(QLatin1String("This plugin does not support"))
                || message.contains(QLatin1String("QPlatformNativeInterface::systemTrayWindowChanged"))))
            return;
        if (previous)
            previous(type, context, message);
    });
}
