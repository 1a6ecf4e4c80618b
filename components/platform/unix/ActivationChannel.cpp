// SPDX-License-Identifier: MIT
#include "components/qt/ActivationChannel.h"

#include "components/ComponentsLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

// Unix domain sockets, straight from the system: a start reaches the channel without loading a
// network library.

namespace {

// A descriptor that closes itself.
class Socket
{
public:
    Socket() = default;
    explicit Socket(int fd)
        : m_fd(fd)
    {
    }
    ~Socket() { reset(); }
    Socket(Socket &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Socket &operator=(Socket &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    int fd() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// Non-blocking, closed on exec, and no SIGPIPE from a peer that went away.
bool prepare(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) < 0)
        return false;
#ifdef SO_NOSIGPIPE
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return true;
}

int sendFlags()
{
#ifdef MSG_NOSIGNAL
    return MSG_NOSIGNAL;
#else
    return 0;
#endif
}

bool addressOf(const QString &path, sockaddr_un &address)
{
    const QByteArray native = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return true;
}

Socket newSocket()
{
    Socket socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (socket.isValid() && !prepare(socket.fd()))
        socket.reset();
    return socket;
}

// Waits for events on fd until the deadline; false when they did not come.
bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p {fd, events, 0};
        const int ms = int(qMin<qint64>(deadline.remainingTime(), 60000));
        const int n = ::poll(&p, 1, ms < 0 ? 0 : ms);
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// A connection to the socket at path; none when nobody listens there within the time.
Socket connectTo(const QString &path, const QDeadlineTimer &deadline)
{
    sockaddr_un address;
    if (!addressOf(path, address))
        return {};
    for (;;) {
        Socket socket = newSocket();
        if (!socket.isValid())
            return {};
        if (::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return socket;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t length = sizeof error;
            if (waitFor(socket.fd(), POLLOUT, deadline)
                && ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                return socket;
            return {};
        }
        // A listener whose queue is full takes nobody now; it may in a moment.
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired())
            return {};
        ::usleep(5000);
    }
}

// The peer is this user: a socket in a shared temporary folder may be reached by others.
bool sameUser(int fd)
{
#if defined(SO_PEERCRED)
    struct ucred credentials {
    };
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == ::getuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(fd, &uid, &gid) == 0 && uid == ::getuid();
#endif
}

// One second start on the line: it says the request, gets the answer and is let go.
class Client : public QObject
{
public:
    Client(Socket socket, ActivationServer *server, QObject *parent)
        : QObject(parent)
        , m_socket(std::move(socket))
        , m_server(server)
        , m_notifier(m_socket.fd(), QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &Client::read);
        QTimer::singleShot(ActivationServer::kIdleClientMs, this, &Client::drop);
    }

private:
    void read()
    {
        char bytes[16];
        const qsizetype wanted = ActivationServer::kRequest.size() - m_request.size();
        const ssize_t n = ::recv(m_socket.fd(), bytes, size_t(qMin<qsizetype>(wanted, sizeof bytes)), 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0)
            return drop();
        m_request.append(bytes, n);
        if (!ActivationServer::kRequest.startsWith(m_request))
            return drop();
        if (m_request.size() < ActivationServer::kRequest.size())
            return;
        // The answer goes out first: the asking process is released before the window comes back.
        ::send(m_socket.fd(), ActivationServer::kAnswer.data(), size_t(ActivationServer::kAnswer.size()), sendFlags());
        drop();
        Q_EMIT m_server->activationRequested();
    }

    void drop()
    {
        m_notifier.setEnabled(false);
        m_socket.reset();
        deleteLater();
    }

    Socket m_socket;
    ActivationServer *m_server;
    QSocketNotifier m_notifier;
    QByteArray m_request;
};

} // namespace

class ActivationServer::Listener
{
public:
    Listener(ActivationServer *owner, Socket socket, QString path)
        : m_socket(std::move(socket))
        , m_path(std::move(path))
        , m_notifier(m_socket.fd(), QSocketNotifier::Read)
        , m_owner(owner)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, owner, [this] { accept(); });
    }

    ~Listener()
    {
        m_notifier.setEnabled(false);
        m_socket.reset();
        // Only the socket this listener made goes; a later listener's stays.
        struct stat now {
        };
        if (::lstat(QFile::encodeName(m_path).constData(), &now) == 0 && now.st_ino == m_inode
            && now.st_dev == m_device)
            ::unlink(QFile::encodeName(m_path).constData());
    }

    void remember(const struct stat &made)
    {
        m_inode = made.st_ino;
        m_device = made.st_dev;
    }

private:
    void accept()
    {
        for (;;) {
            Socket client(::accept(m_socket.fd(), nullptr, nullptr));
            if (!client.isValid()) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    qCWarning(lcComponents) << "The activation channel took no call:" << std::strerror(errno);
                return;
            }
            if (!prepare(client.fd()) || !sameUser(client.fd()))
                continue;
            new Client(std::move(client), m_owner, m_owner);
        }
    }

    Socket m_socket;
    QString m_path;
    QSocketNotifier m_notifier;
    ActivationServer *m_owner;
    ino_t m_inode = 0;
    dev_t m_device = 0;
};

ActivationServer::ActivationServer(QObject *parent)
    : QObject(parent)
{
}

ActivationServer::~ActivationServer() = default;

bool ActivationServer::listen(const QString &name)
{
    stop();
    const QString path = socketPath(name);
    sockaddr_un address;
    if (!addressOf(path, address))
        return false;
    // Somebody answers there already: that socket is alive and stays.
    if (connectTo(path, QDeadlineTimer(200)).isValid())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat old {
    };
    if (::lstat(native.constData(), &old) == 0 && S_ISSOCK(old.st_mode))
        ::unlink(native.constData()); // left by an instance that is gone

    Socket socket = newSocket();
    if (!socket.isValid() || ::bind(socket.fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        qCWarning(lcComponents) << "The activation channel cannot be opened at" << path << ":" << std::strerror(errno);
        return false;
    }
    struct stat made {
    };
    if (::chmod(native.constData(), S_IRUSR | S_IWUSR) != 0 || ::lstat(native.constData(), &made) != 0
        || ::listen(socket.fd(), 16) != 0) {
        qCWarning(lcComponents) << "The activation channel cannot listen at" << path << ":" << std::strerror(errno);
        ::unlink(native.constData());
        return false;
    }
    m_listener = std::make_unique<Listener>(this, std::move(socket), path);
    m_listener->remember(made);
    return true;
}

void ActivationServer::stop()
{
    m_listener.reset();
}

bool ActivationServer::isListening() const
{
    return m_listener != nullptr;
}

bool ActivationServer::requestActivationAt(const QString &path, int timeoutMs)
{
    if (path.isEmpty())
        return false;
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    const Socket socket = connectTo(path, deadline);
    if (!socket.isValid())
        return false;
    qsizetype sent = 0;
    while (sent < kRequest.size()) {
        const ssize_t n = ::send(socket.fd(), kRequest.data() + sent, size_t(kRequest.size() - sent), sendFlags());
        if (n > 0)
            sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        else if (sent < kRequest.size() && !waitFor(socket.fd(), POLLOUT, deadline))
            return false;
    }
    char answer = 0;
    for (;;) {
        const ssize_t n = ::recv(socket.fd(), &answer, 1, 0);
        if (n == 1)
            return QByteArrayView(&answer, 1) == kAnswer;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
        if (!waitFor(socket.fd(), POLLIN, deadline))
            return false;
    }
}
