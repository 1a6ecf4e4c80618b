// SPDX-License-Identifier: MIT
#include "components/qt/ActivationChannel.h"

#include "components/platform/RuntimePaths.h"

// The listener and the requests live with each system's sockets (components/platform/).

QString ActivationServer::socketPath(const QString &name)
{
#if defined(Q_OS_WIN)
    // Named pipes are per session already; the user name keeps users apart on shared machines.
    return RuntimePaths::fileNameFor(name) + QLatin1Char('-')
        + RuntimePaths::fileNameFor(qEnvironmentVariable("USERNAME"));
#else
    return RuntimePaths::shortenedPath(RuntimePaths::folder(), RuntimePaths::fileNameFor(name),
                                       QStringLiteral(".activate"));
#endif
}

bool ActivationServer::requestActivation(const QString &name, int timeoutMs)
{
    return requestActivationAt(socketPath(name), timeoutMs);
}
