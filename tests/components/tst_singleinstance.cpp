#include "components/ActivationChannel.h"
#include "components/InstanceGuard.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kKey = QStringLiteral("{5D0A3C71-9E42-4F6B-8C1D-2B7E6A94F0C3}");

// Started again by the test with LISTRA_CHILD set, this executable is a second instance: it
// claims the key or asks for activation, prints the answer and ends before any test runs.
struct ChildProcess {
    ChildProcess()
    {
        const QByteArray mode = qgetenv("LISTRA_CHILD");
        if (mode.isEmpty())
            return;
        static QByteArray exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
        static char *argv[] = {exe.data(), nullptr}; // the lock names its owner by program name
        static int argc = 1;
        QCoreApplication app(argc, argv);
        const bool result = mode == "activate" ? ActivationServer::requestActivation(kKey, 3000)
                                               : (new InstanceGuard)->IsFirstInstance(kKey); // held till the end
        std::printf("%d\n", result ? 1 : 0);
        std::fflush(stdout);
        for (char c; mode == "hold" && std::fread(&c, 1, 1, stdin) > 0;) { } // until the test closes our input
        std::_Exit(0); // "die" ends like a crash: the lock file stays behind
    }
} childProcess;

// Runs a second instance, this event loop running, and returns its answer; a process given
// is left running.
QString runChild(const char *mode, const QString &runtimeDir = {}, QProcess *running = nullptr)
{
    QProcess local;
    QProcess &p = running ? *running : local;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LISTRA_CHILD"), QLatin1String(mode));
    if (!runtimeDir.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {});
    for (QDeadlineTimer t(10000); !p.canReadLine() && p.state() != QProcess::NotRunning && !t.hasExpired();)
        QTest::qWait(5);
    const QString answer = QString::fromLatin1(p.readLine()).trimmed();
    if (!running)
        p.waitForFinished(5000);
    return answer;
}

} // namespace

class TestSingleInstance : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void instanceGuard()
    {
        // A live process holds the key until it ends; the lock of a process that died is taken over.
        QProcess holder;
        QCOMPARE(runChild("hold", {}, &holder), QStringLiteral("1"));
        QVERIFY(!InstanceGuard().IsFirstInstance(kKey));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(runChild("die"), QStringLiteral("1"));
        QVERIFY(QFile::exists(InstanceGuard::lockFilePath(kKey)));
        InstanceGuard guard;
        QVERIFY(guard.IsFirstInstance(kKey));
        QCOMPARE(runChild("die"), QStringLiteral("0"));
    }

    void activationChannel()
    {
        QVERIFY(!ActivationServer::requestActivation(kKey, 3000)); // nobody listens
        ActivationServer server;
        QVERIFY(server.listen(kKey));
        QVERIFY(!ActivationServer().listen(kKey)); // a live listener is never taken over
        // The second start has its answer before the first starts bringing its window back.
        QProcess second;
        bool answeredFirst = false;
        connect(&server, &ActivationServer::activationRequested, this,
                [&] { answeredFirst = second.canReadLine() || second.waitForReadyRead(5000); });
        QCOMPARE(runChild("activate", {}, &second), QStringLiteral("1"));
        QVERIFY(answeredFirst);

        // Another runtime folder (another session) does not see this one; one too deep for a
        // socket path works all the same.
        QTemporaryDir tmp;
        const QString deep = tmp.filePath(QString(100, u'd'));
        QVERIFY(QDir().mkpath(deep));
        QFile::setPermissions(deep, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(runChild("activate", deep), QStringLiteral("0"));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", deep.toLocal8Bit());
        ActivationServer deepServer;
        QSignalSpy deepSpy(&deepServer, &ActivationServer::activationRequested);
        const bool listening = deepServer.listen(kKey);
        const QString deepSocket = ActivationServer::socketPath(kKey);
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY(listening);
        QCOMPARE(runChild("activate", deep), QStringLiteral("1"));
        QCOMPARE(deepSpy.count(), 1);
        QDir(QFileInfo(deepSocket).path()).removeRecursively();
    }
};

LISTRA_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
