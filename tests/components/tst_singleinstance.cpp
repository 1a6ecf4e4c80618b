// SPDX-License-Identifier: MIT
#include "components/platform/TaskFileGuard.h"
#include "components/qt/ActivationChannel.h"
#include "components/qt/InstanceGuard.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kKey = QStringLiteral("{5D0A3C71-9E42-4F6B-8C1D-2B7E6A94F0C3}");
std::atomic<int> g_answer = -1; // of the last activation request: -1 while it waits

// Started again by the test with LISTRA_CHILD set, this executable is a second instance: before
// any test runs, it prints whether it got the key and holds it till it is killed.
const bool g_child = [] {
    if (!qEnvironmentVariableIsSet("LISTRA_CHILD"))
        return false;
    // The lock names its owner by program name.
    QCoreApplication::setApplicationName(QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName());
    const bool first = (new InstanceGuard)->IsFirstInstance(kKey);
    std::printf("%d\n", first ? 1 : 0);
    std::fflush(stdout);
    if (first)
        std::getchar(); // until killed, or the test ends
    std::_Exit(0);
}();

QString startChild(QProcess &p)
{
    qputenv("LISTRA_CHILD", "1"); // for the children only: this process has looked already
    p.start(QCoreApplication::applicationFilePath(), {});
    p.waitForReadyRead(10000);
    return QString::fromLatin1(p.readLine()).trimmed();
}

// Asks from another thread, as a second start would, while this one serves the request.
bool requestActivation()
{
    g_answer = -1;
    std::thread second([] { g_answer = ActivationServer::requestActivation(kKey, 5000); });
    while (g_answer < 0)
        QTest::qWait(5);
    second.join();
    return g_answer == 1;
}

} // namespace

class TestSingleInstance : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void instanceGuard()
    {
        // A live process holds the key; the lock of one that was killed is taken over.
        QProcess holder, second;
        QCOMPARE(startChild(holder), QStringLiteral("1"));
        QVERIFY(!InstanceGuard().IsFirstInstance(kKey));
        holder.kill();
        QVERIFY(holder.waitForFinished(5000));
        QVERIFY(QFile::exists(InstanceGuard::lockFilePath(kKey)));
        InstanceGuard guard;
        QVERIFY(guard.IsFirstInstance(kKey));
        QCOMPARE(startChild(second), QStringLiteral("0"));
        QVERIFY(second.waitForFinished(5000));
    }

    void taskFileGuard()
    {
        // Every path to one task file meets the one claim, and learns where its holder listens.
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("data"));
        const QString file = data + QStringLiteral("/Tasks.XML");
        QVERIFY(QDir().mkpath(data));
        QVERIFY(QFile::link(data, tmp.filePath(QStringLiteral("linked"))));
        QVERIFY(QFile::link(file, tmp.filePath(QStringLiteral("linked.XML")))); // no file behind it yet
        auto first = std::make_unique<TaskFileGuard>();
        QVERIFY(first->claim(tmp.filePath(QStringLiteral("linked/Tasks.XML")), QStringLiteral("/run/a.activate"))
                == TaskFileGuard::Claim::Taken);
        for (const QString &path :
             {file, tmp.filePath(QStringLiteral("linked.XML")), data + QStringLiteral("/../data/Tasks.XML")}) {
            TaskFileGuard second;
            QVERIFY2(second.claim(path, QStringLiteral("/run/b.activate")) == TaskFileGuard::Claim::HeldByAnother,
                     qPrintable(path));
            QCOMPARE(second.ownerAddress(), QStringLiteral("/run/a.activate"));
        }
        first.reset();
        QVERIFY(TaskFileGuard().claim(file, {}) == TaskFileGuard::Claim::Taken);

        // A lock that cannot be made is never taken for a free file.
        TaskFileGuard nowhere;
        QVERIFY(nowhere.claim(tmp.filePath(QStringLiteral("gone/Tasks.XML")), {}) == TaskFileGuard::Claim::Unavailable);
        QVERIFY(nowhere.errorString().contains(QStringLiteral("gone")));
    }

    void activationChannel()
    {
        QVERIFY(!requestActivation()); // nobody listens
        ActivationServer server;
        QVERIFY(server.listen(kKey));
        QVERIFY(!ActivationServer().listen(kKey)); // a live listener is never taken over
        // The second start has its answer before the first starts bringing its window back.
        bool answeredFirst = false;
        connect(&server, &ActivationServer::activationRequested, this,
                [&] { answeredFirst = QTest::qWaitFor([] { return g_answer >= 0; }, 5000); });
        QVERIFY(requestActivation());
        QVERIFY(answeredFirst);

        // A runtime folder too deep for a socket path works all the same.
        QTemporaryDir tmp;
        const QString deep = tmp.filePath(QString(100, u'd'));
        QVERIFY(QDir().mkpath(deep));
        QFile::setPermissions(deep, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", deep.toLocal8Bit());
        ActivationServer deepServer;
        const bool reached = deepServer.listen(kKey) && requestActivation();
        QDir(QFileInfo(ActivationServer::socketPath(kKey)).path()).removeRecursively();
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY(reached);
    }

    // What the channel finds at its place, and what callers say on it.
    void channelMeetsWhatIsThere()
    {
        const QString path = ActivationServer::socketPath(kKey);
        const QByteArray native = QFile::encodeName(path);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        const auto rawSocket = [&](bool listening) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const bool done = listening ? ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                                        : ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
            return done ? fd : (::close(fd), -1);
        };

        // A socket left behind by an instance that died is taken over.
        QFile::remove(path);
        const int dead = rawSocket(true);
        QVERIFY(dead >= 0);
        ::close(dead);
        QVERIFY(QFile::exists(path));
        {
            ActivationServer server;
            QVERIFY(server.listen(kKey));
            int activations = 0;
            connect(&server, &ActivationServer::activationRequested, this, [&] { ++activations; });
            // A caller that says something else is let go, and the channel goes on answering.
            const int stranger = rawSocket(false);
            QVERIFY(stranger >= 0 && ::fcntl(stranger, F_SETFL, O_NONBLOCK) == 0);
            QCOMPARE(::write(stranger, "HELLO\n", 6), ssize_t(6));
            char byte = 0;
            QTRY_COMPARE(::read(stranger, &byte, 1), ssize_t(0)); // closed without an answer
            ::close(stranger);
            QVERIFY(requestActivation());
            QCOMPARE(activations, 1);
        }
        QVERIFY(!QFile::exists(path)); // gone with its listener

        // Anything else at that place is the user's: left alone, and no channel.
        QVERIFY(writeFile(path, "not a socket"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("activation channel cannot be opened")));
        QVERIFY(!ActivationServer().listen(kKey));
        QCOMPARE(readFile(path), QByteArray("not a socket"));
        QFile::remove(path);
    }
};

LISTRA_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
