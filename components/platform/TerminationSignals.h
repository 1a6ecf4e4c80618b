// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the termination requests a session sends a process (SIGTERM, SIGHUP, SIGINT on Unix)
// into a signal on the event loop, so the program can save before it ends. Elsewhere the
// session's end arrives through the session manager and this object stays silent.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void terminationRequested();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};
