#pragma once

#include <QString>
#include <QtGlobal>

// The offscreen platform reports window features it lacks (size hints, raising) as
// warnings; they say nothing about the program, so only those are dropped before the
// test's own warning check sees them.
inline void tolerateOffscreenLimits()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
            return;
        if (previous)
            previous(type, context, message);
    });
}
