#include "components/ActivationChannel.h"
#include "components/InstanceGuard.h"
#include "tests/support/TestMain.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kKey = QStringLiteral("{5D0A3C71-9E42-4F6B-8C1D-2B7E6A94F0C3}");

// Started again by the test as a second process, this executable does one thing and ends
// before the test runner starts: LISTRA_CHILD names the thing, LISTRA_CHILD_KEY the key.
struct ChildProcess {
    ChildProcess()
    {
        const QByteArray mode = qgetenv("LISTRA_CHILD");
        if (mode.isEmpty())
            return;
        // The lock file names the owner by its program name, as a real start would.
        static QByteArray exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
        static char *argv[] = {exe.data(), nullptr};
        static int argc = 1;
        QCoreApplication app(argc, argv);
        const QString key = qEnvironmentVariable("LISTRA_CHILD_KEY");
        if (mode == "activate") {
            std::printf("%d\n", ActivationServer::requestActivation(key, 3000) ? 1 : 0);
            std::fflush(stdout);
            std::_Exit(0);
        }
        auto *guard = new InstanceGuard; // never released: the claim ends with the process
        std::printf("%d\n", guard->IsFirstInstance(key) ? 1 : 0);
        std::fflush(stdout);
        if (mode == "hold") {
            // Hold the claim until the test closes our input.
            char buffer[16];
            while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
            }
        }
        // "die": end like a crash, leaving the lock file behind.
        std::_Exit(0);
    }
} childProcess;

// Starts this executable as a second instance and returns its first line of output.
QString runChild(const QByteArray &mode, const QString &key, QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                 QProcess *keep = nullptr)
{
    QProcess local;
    QProcess &p = keep ? *keep : local;
    env.insert(QStringLiteral("LISTRA_CHILD"), QString::fromLatin1(mode));
    env.insert(QStringLiteral("LISTRA_CHILD_KEY"), key);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), {});
    if (!p.waitForStarted(5000))
        return QStringLiteral("not started");
    // The event loop keeps running meanwhile, so a server in this process can answer.
    QElapsedTimer timer;
    timer.start();
    while (!p.canReadLine() && timer.elapsed() < 10000 && p.state() != QProcess::NotRunning)
        QTest::qWait(5);
    p.waitForReadyRead(100);
    const QString line = QString::fromLatin1(p.readLine()).trimmed();
    if (!keep)
        p.waitForFinished(5000);
    return line;
}

} // namespace

class TestSingleInstance : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void firstInstanceHoldsTheKey();
    void claimOfAnotherLiveProcess();
    void lockOfADeadProcessDoesNotBlock();
    void activationRoundTrip();
    void noListenerMeansNoActivation();
    void listenerIsPerRuntimeFolder();
    void staleAndLiveSockets();
};

void TestSingleInstance::firstInstanceHoldsTheKey()
{
    const QString lockPath = InstanceGuard::lockFilePath(kKey);
    QVERIFY(lockPath.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/')));
    {
        InstanceGuard first;
        QVERIFY(first.IsFirstInstance(kKey));
        QVERIFY(QFile::exists(lockPath));
        QVERIFY(first.IsFirstInstance(kKey)); // asking again changes nothing

        InstanceGuard second;
        QVERIFY(!second.IsFirstInstance(kKey));
        QLockFile other(lockPath);
        other.setStaleLockTime(0);
        QVERIFY(!other.tryLock(0));

        // Another key is another claim.
        InstanceGuard otherKey;
        QVERIFY(otherKey.IsFirstInstance(QStringLiteral("another/key with blanks")));
        QVERIFY(QFileInfo(InstanceGuard::lockFilePath(QStringLiteral("another/key with blanks"))).dir()
                == QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")));
    }
    // The claim ends with the guard.
    QVERIFY(!QFile::exists(lockPath));
    InstanceGuard again;
    QVERIFY(again.IsFirstInstance(kKey));
}

void TestSingleInstance::claimOfAnotherLiveProcess()
{
    {
        InstanceGuard mine;
        QVERIFY(mine.IsFirstInstance(kKey));
        QCOMPARE(runChild("die", kKey), QStringLiteral("0"));
    }
    // A live second process holds it: this one is refused until that process ends.
    QProcess holder;
    QCOMPARE(runChild("hold", kKey, QProcessEnvironment::systemEnvironment(), &holder), QStringLiteral("1"));
    {
        InstanceGuard refused;
        QVERIFY(!refused.IsFirstInstance(kKey));
    }
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    InstanceGuard after;
    QVERIFY(after.IsFirstInstance(kKey));
}

void TestSingleInstance::lockOfADeadProcessDoesNotBlock()
{
    const QString lockPath = InstanceGuard::lockFilePath(kKey);
    QCOMPARE(runChild("die", kKey), QStringLiteral("1"));
    QVERIFY(QFile::exists(lockPath)); // left behind by the dead process
    InstanceGuard guard;
    QVERIFY(guard.IsFirstInstance(kKey));

    // An empty lock file names no owner; once it is old it no longer counts either.
    const QString emptyLock = InstanceGuard::lockFilePath(QStringLiteral("empty"));
    QFile f(emptyLock);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    f.close();
    InstanceGuard emptyGuard;
    QVERIFY(emptyGuard.IsFirstInstance(QStringLiteral("empty")));
}

void TestSingleInstance::activationRoundTrip()
{
    ActivationServer server;
    QSignalSpy spy(&server, &ActivationServer::activationRequested);
    QVERIFY(server.listen(kKey));
    QVERIFY(server.isListening());
    QVERIFY(ActivationServer::socketPath(kKey).startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/')));

    // From another thread of this process, while the event loop runs here.
    bool answered = false;
    QThread *thread = QThread::create([&answered] { answered = ActivationServer::requestActivation(kKey, 5000); });
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 10000);
    delete thread;
    QVERIFY(answered);
    QCOMPARE(spy.count(), 1);

    // From a second process, as a second start does.
    QCOMPARE(runChild("activate", kKey), QStringLiteral("1"));
    QCOMPARE(spy.count(), 2);

    // A client that asks for something else gets nothing and triggers nothing.
    QLocalSocket stranger;
    stranger.connectToServer(ActivationServer::socketPath(kKey));
    QVERIFY(stranger.waitForConnected(2000));
    stranger.write("HELLO\n");
    QVERIFY(stranger.waitForBytesWritten(2000));
    QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(stranger.bytesAvailable(), 0);
    QCOMPARE(spy.count(), 2);

    server.stop();
    QVERIFY(!server.isListening());
    QVERIFY(!ActivationServer::requestActivation(kKey, 1000));
    QCOMPARE(spy.count(), 2);
}

void TestSingleInstance::noListenerMeansNoActivation()
{
    QVERIFY(!ActivationServer::requestActivation(kKey, 2000));
    QVERIFY(!ActivationServer::requestActivation(QStringLiteral("never listened"), 0));
}

void TestSingleInstance::listenerIsPerRuntimeFolder()
{
    ActivationServer server;
    QSignalSpy spy(&server, &ActivationServer::activationRequested);
    QVERIFY(server.listen(kKey));

    QTemporaryDir otherRuntime;
    QVERIFY(QFile::setPermissions(otherRuntime.path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
    QCOMPARE(runChild("activate", kKey, env), QStringLiteral("0"));
    // Nor does a guard there see this folder's claim.
    InstanceGuard here;
    QVERIFY(here.IsFirstInstance(kKey));
    QCOMPARE(runChild("die", kKey, env), QStringLiteral("1"));
    QCOMPARE(spy.count(), 0);

    QCOMPARE(runChild("activate", kKey), QStringLiteral("1"));
    QCOMPARE(spy.count(), 1);
}

void TestSingleInstance::staleAndLiveSockets()
{
    const QString path = ActivationServer::socketPath(kKey);
    // Something left where the socket goes (a crashed instance): it is replaced.
    QFile leftover(path);
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    ActivationServer first;
    QSignalSpy spy(&first, &ActivationServer::activationRequested);
    QVERIFY(first.listen(kKey));

    // A live listener is never taken over.
    ActivationServer second;
    QVERIFY(!second.listen(kKey));
    QVERIFY(!second.isListening());
    QCOMPARE(runChild("activate", kKey), QStringLiteral("1"));
    QCOMPARE(spy.count(), 1);

    // A very long name still gives a usable socket.
    const QString longName = QString(300, QLatin1Char('x'));
    ActivationServer longServer;
    QVERIFY(longServer.listen(longName));
    QCOMPARE(runChild("activate", longName), QStringLiteral("1"));
}

LISTRA_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
