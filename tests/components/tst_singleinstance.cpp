#include "components/ActivationChannel.h"
#include "components/InstanceGuard.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kKey = QStringLiteral("{5D0A3C71-9E42-4F6B-8C1D-2B7E6A94F0C3}");

// Started again by the test as a second instance, this executable does one thing and ends
// before the test runner starts: LISTRA_CHILD says what, LISTRA_CHILD_KEY with which key.
struct ChildProcess {
    ChildProcess()
    {
        const QByteArray mode = qgetenv("LISTRA_CHILD");
        if (mode.isEmpty())
            return;
        // The lock file names its owner by program name, as in a real start.
        static QByteArray exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
        static char *argv[] = {exe.data(), nullptr};
        static int argc = 1;
        QCoreApplication app(argc, argv);
        const QString key = qEnvironmentVariable("LISTRA_CHILD_KEY");
        bool result = false;
        if (mode == "activate")
            result = ActivationServer::requestActivation(key, 3000);
        else
            result = (new InstanceGuard)->IsFirstInstance(key); // held until the process ends
        std::printf("%d\n", result ? 1 : 0);
        std::fflush(stdout);
        if (mode == "hold") { // until the test closes our input
            char buffer[16];
            while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) { }
        }
        std::_Exit(0); // "die" ends like a crash: the lock file stays behind
    }
} childProcess;

// Runs this executable as a second instance; its answer, with this event loop running.
QString runChild(const QByteArray &mode, const QString &key, QProcess *keep = nullptr, const QString &runtimeDir = {})
{
    QProcess local;
    QProcess &p = keep ? *keep : local;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LISTRA_CHILD"), QString::fromLatin1(mode));
    env.insert(QStringLiteral("LISTRA_CHILD_KEY"), key);
    if (!runtimeDir.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {});
    QDeadlineTimer deadline(10000);
    while (!p.canReadLine() && !deadline.hasExpired() && p.state() != QProcess::NotRunning)
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
    void instanceGuard();
    void activationChannel();
    void separateRuntimeFoldersAndStaleSockets();
};

void TestSingleInstance::instanceGuard()
{
    const QString lockPath = InstanceGuard::lockFilePath(kKey);
    QVERIFY(lockPath.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/')));
    {
        InstanceGuard first;
        QVERIFY(first.IsFirstInstance(kKey));
        InstanceGuard second;
        QVERIFY(!second.IsFirstInstance(kKey));
        QCOMPARE(runChild("die", kKey), QStringLiteral("0"));
    }
    QVERIFY(!QFile::exists(lockPath)); // the claim ends with the guard

    // A live process holds it: refused until that process ends.
    QProcess holder;
    QCOMPARE(runChild("hold", kKey, &holder), QStringLiteral("1"));
    QVERIFY(!InstanceGuard().IsFirstInstance(kKey));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    QVERIFY(InstanceGuard().IsFirstInstance(kKey));

    // A dead process's lock does not block.
    QCOMPARE(runChild("die", kKey), QStringLiteral("1"));
    QVERIFY(QFile::exists(lockPath));
    QVERIFY(InstanceGuard().IsFirstInstance(kKey));

    // Nor does an old lock file that names no owner.
    QFile empty(InstanceGuard::lockFilePath(QStringLiteral("empty")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    QVERIFY(empty.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    empty.close();
    QVERIFY(InstanceGuard().IsFirstInstance(QStringLiteral("empty")));
}

void TestSingleInstance::activationChannel()
{
    QVERIFY(!ActivationServer::requestActivation(kKey, 2000)); // nobody listens
    ActivationServer server;
    QSignalSpy spy(&server, &ActivationServer::activationRequested);
    QVERIFY(server.listen(kKey));
    QVERIFY(ActivationServer::socketPath(kKey).startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/')));

    // From another thread of this process...
    bool answered = false;
    QThread *thread = QThread::create([&answered] { answered = ActivationServer::requestActivation(kKey, 5000); });
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 10000);
    delete thread;
    QVERIFY(answered);
    QCOMPARE(spy.count(), 1);
    // ...and from a second process, as a second start does.
    QCOMPARE(runChild("activate", kKey), QStringLiteral("1"));
    QCOMPARE(spy.count(), 2);

    // A client that asks for something else gets nothing and changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(ActivationServer::socketPath(kKey));
    QVERIFY(stranger.waitForConnected(2000));
    stranger.write("HELLO\n");
    QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(stranger.bytesAvailable(), 0);

    server.stop();
    QVERIFY(!ActivationServer::requestActivation(kKey, 1000));
    QCOMPARE(spy.count(), 2);
}

void TestSingleInstance::separateRuntimeFoldersAndStaleSockets()
{
    // Whatever a crashed instance left where the socket goes is replaced.
    QFile leftover(ActivationServer::socketPath(kKey));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    ActivationServer server;
    QSignalSpy spy(&server, &ActivationServer::activationRequested);
    QVERIFY(server.listen(kKey));
    // A live listener is never taken over.
    QVERIFY(!ActivationServer().listen(kKey));

    // Another runtime folder (another session) sees neither the listener nor the claim.
    QTemporaryDir otherRuntime;
    QFile::setPermissions(otherRuntime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    InstanceGuard here;
    QVERIFY(here.IsFirstInstance(kKey));
    QCOMPARE(runChild("activate", kKey, nullptr, otherRuntime.path()), QStringLiteral("0"));
    QCOMPARE(runChild("die", kKey, nullptr, otherRuntime.path()), QStringLiteral("1"));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(runChild("activate", kKey), QStringLiteral("1"));
    QCOMPARE(spy.count(), 1);

    // A name too long for a socket path still works.
    ActivationServer longServer;
    QVERIFY(longServer.listen(QString(300, QLatin1Char('x'))));
    QCOMPARE(runChild("activate", QString(300, QLatin1Char('x'))), QStringLiteral("1"));
}

LISTRA_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
