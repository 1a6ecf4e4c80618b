// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <memory>

// The running instance's end of the activation channel: a local socket in the user's runtime
// folder (a named pipe on Windows). A second start connects, asks, and gets the one-byte answer
// "1" before the running instance starts bringing its window back.
class ActivationServer : public QObject
{
    Q_OBJECT
public:
    explicit ActivationServer(QObject *parent = nullptr);
    ~ActivationServer() override;

    // Listens under name; a socket left by a dead instance is replaced, a live one is not.
    bool listen(const QString &name);
    void stop();
    bool isListening() const;

    // Where the socket of this name lives for the current user and runtime folder.
    static QString socketPath(const QString &name);
    // The second instance's side: true once a listener answered "1" within timeoutMs.
    static bool requestActivation(const QString &name, int timeoutMs);
    // The same, at a socket path found elsewhere (a start under another runtime folder).
    static bool requestActivationAt(const QString &path, int timeoutMs);

    // What is said on the channel, the same on every system.
    static constexpr QByteArrayView kRequest {"ACTIVATE\n"};
    static constexpr QByteArrayView kAnswer {"1"};
    // A client that says nothing useful in this time is dropped.
    static constexpr int kIdleClientMs = 5000;

Q_SIGNALS:
    void activationRequested();

private:
    // The listening end, in the system's own kind of socket.
    class Listener;
    std::unique_ptr<Listener> m_listener;
};
