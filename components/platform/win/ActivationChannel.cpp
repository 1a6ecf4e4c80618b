// SPDX-License-Identifier: MIT
#include "components/qt/ActivationChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

// Named pipes through Qt's local sockets.

class ActivationServer::Listener
{
public:
    explicit Listener(ActivationServer *owner)
        : m_owner(owner)
    {
    }

    ~Listener() { m_server.close(); }

    bool listen(const QString &path)
    {
        // Somebody answers there already: that pipe is alive and stays.
        {
            QLocalSocket probe;
            probe.connectToServer(path);
            if (probe.waitForConnected(200)) {
                probe.abort();
                return false;
            }
        }
        QLocalServer::removeServer(path);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server.listen(path))
            return false;
        QObject::connect(&m_server, &QLocalServer::newConnection, m_owner, [this] { handleConnection(); });
        return true;
    }

    bool isListening() const { return m_server.isListening(); }

private:
    void handleConnection()
    {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, m_owner, [this, socket] { handleRequest(socket); });
            QTimer::singleShot(kIdleClientMs, socket, [socket] { socket->abort(); });
            if (socket->bytesAvailable() > 0)
                handleRequest(socket);
        }
    }

    void handleRequest(QLocalSocket *socket)
    {
        if (socket->property("answered").toBool())
            return;
        if (socket->bytesAvailable() < kRequest.size()) {
            const QByteArray head = socket->peek(kRequest.size());
            if (!kRequest.startsWith(head))
                socket->abort();
            return;
        }
        if (socket->read(kRequest.size()) != kRequest) {
            socket->abort();
            return;
        }
        socket->setProperty("answered", true);
        // The answer goes out first: the asking process is released before the window comes back.
        socket->write(kAnswer.data(), kAnswer.size());
        socket->flush();
        socket->disconnectFromServer();
        Q_EMIT m_owner->activationRequested();
    }

    ActivationServer *m_owner;
    QLocalServer m_server;
};

ActivationServer::ActivationServer(QObject *parent)
    : QObject(parent)
{
}

ActivationServer::~ActivationServer() = default;

bool ActivationServer::listen(const QString &name)
{
    stop();
    auto listener = std::make_unique<Listener>(this);
    if (!listener->listen(socketPath(name)))
        return false;
    m_listener = std::move(listener);
    return true;
}

void ActivationServer::stop()
{
    m_listener.reset();
}

bool ActivationServer::isListening() const
{
    return m_listener && m_listener->isListening();
}

bool ActivationServer::requestActivationAt(const QString &path, int timeoutMs)
{
    if (path.isEmpty())
        return false;
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(kRequest.data(), kRequest.size());
    // A local socket often takes the bytes at once; then there is nothing to wait for.
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    while (socket.bytesAvailable() < kAnswer.size()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.read(kAnswer.size()) == kAnswer;
}
