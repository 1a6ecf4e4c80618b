#include "components/DesktopOpener.h"
#include "tests/support/TestMain.h"

class TestDesktop : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void documentResolution()
    {
        QTemporaryDir dir;
        for (const QString &name : {QStringLiteral("план.txt"), QStringLiteral("C:\\x")})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile(TestSupport::homeDir() + QStringLiteral("/home-file")).open(QIODevice::WriteOnly));
        auto resolve = [&](const QString &doc) { return DesktopOpener::resolveDocument(doc, dir.path()); };
        auto local = [&](const QString &name) { return QUrl::fromLocalFile(dir.filePath(name)); };
        // Addresses stay addresses; paths, absolute or relative to the current folder, must exist.
        QCOMPARE(resolve(QStringLiteral("https://example.org/a?b=c")),
                 QUrl(QStringLiteral("https://example.org/a?b=c")));
        QCOMPARE(resolve(QStringLiteral("mailto:someone@example.org"))->scheme(), QStringLiteral("mailto"));
        QCOMPARE(resolve(dir.filePath(QStringLiteral("план.txt"))), local(QStringLiteral("план.txt")));
        QCOMPARE(resolve(QStringLiteral("sub/../план.txt")), local(QStringLiteral("план.txt")));
        QCOMPARE(resolve(QStringLiteral("sub")), local(QStringLiteral("sub")));
        QCOMPARE(resolve(QStringLiteral("C:\\x")), local(QStringLiteral("C:\\x"))); // a drive letter is no scheme
        for (const QString &doc : {QStringLiteral("missing.txt"), QStringLiteral("file:///no/such/file"),
                                   QStringLiteral("http://[broken"), QStringLiteral("~/home-file"), QString()})
            QVERIFY2(!resolve(doc), qPrintable(doc));
        QVERIFY(!DesktopOpener().open(dir.filePath(QStringLiteral("missing.txt")))); // reported, nothing started
    }
};

LISTRA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
