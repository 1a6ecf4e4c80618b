// SPDX-License-Identifier: MIT
#include "components/platform/TerminationSignals.h"

// The session's end arrives through the session manager here: nothing to listen to.
TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::onReadable()
{
    Q_EMIT terminationRequested();
}
