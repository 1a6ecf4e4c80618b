// SPDX-License-Identifier: MIT
#include "components/qt/ActivationChannel.h"

#include "components/platform/RuntimePaths.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {
constexpr QByteArrayView kRequest("ACTIVATE\n");
constexpr QByteArrayView kAnswer("1");
// A client that says nothing useful in this time is dropped.
constexpr int kIdleClientMs = 5000;
} // namespace

ActivationServer::ActivationServer(QObject *parent)
    : QObject(parent)
{
}

ActivationServer::~ActivationServer()
{
    stop();
}

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

bool ActivationServer::listen(const QString &name)
{
    stop();
    const QString path = socketPath(name);

    // Somebody answers there already: that socket is alive and stays.
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return false;
        }
    }
    QLocalServer::removeServer(path);

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &ActivationServer::handleConnection);
    return true;
}

void ActivationServer::stop()
{
    if (!m_server)
        return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

bool ActivationServer::isListening() const
{
    return m_server && m_server->isListening();
}

void ActivationServer::handleConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { handleRequest(socket); });
        QTimer::singleShot(kIdleClientMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0)
            handleRequest(socket);
    }
}

void ActivationServer::handleRequest(QLocalSocket *socket)
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
    Q_EMIT activationRequested();
}

bool ActivationServer::requestActivation(const QString &name, int timeoutMs)
{
    return requestActivationAt(socketPath(name), timeoutMs);
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
