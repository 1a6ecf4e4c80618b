#include "components/DesktopOpener.h"
#include "components/QtChoosers.h"
#include "components/SystemTrayIcon.h"
#include "tests/components/ModalDriver.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>

namespace {

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// Stands in for the desktop's handler of a scheme, so that nothing is really launched.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void openUrl(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestDesktop : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void openingDocuments();
    void colorChooserAndFilters();
    void trayIcon();

private:
    QTemporaryDir m_dir;
};

void TestDesktop::openingDocuments()
{
    const QString here = m_dir.path();
    touch(here + QStringLiteral("/план.txt"));
    touch(here + QStringLiteral("/C:\\x"));
    touch(TestSupport::homeDir() + QStringLiteral("/home-file"));
    QVERIFY(QDir(here).mkdir(QStringLiteral("sub")));
    auto resolve = [&](const QString &doc) { return DesktopOpener::resolveDocument(doc, here); };
    auto local = [&](const QString &name) { return QUrl::fromLocalFile(here + QLatin1Char('/') + name); };

    // Addresses stay addresses, whatever the scheme.
    QCOMPARE(resolve(QStringLiteral("https://example.org/a?b=c")), QUrl(QStringLiteral("https://example.org/a?b=c")));
    QCOMPARE(resolve(QStringLiteral("mailto:someone@example.org"))->scheme(), QStringLiteral("mailto"));
    QCOMPARE(resolve(QStringLiteral("ftp://example.org/f.zip"))->host(), QStringLiteral("example.org"));
    QVERIFY(!resolve(QStringLiteral("http://[broken")));
    // Paths, absolute or relative to the current folder, that exist.
    QCOMPARE(resolve(here + QStringLiteral("/план.txt")), local(QStringLiteral("план.txt")));
    QCOMPARE(resolve(QStringLiteral("sub/../план.txt")), local(QStringLiteral("план.txt")));
    QCOMPARE(resolve(QStringLiteral("sub")), local(QStringLiteral("sub")));
    QCOMPARE(resolve(QStringLiteral("C:\\x")), local(QStringLiteral("C:\\x"))); // a drive letter is no scheme
    for (const QString &doc :
         {QStringLiteral("missing.txt"), QStringLiteral("file:///no/such/file"), QStringLiteral("www.example.org"),
          QStringLiteral("~/home-file"), QString(), QStringLiteral("  ")})
        QVERIFY2(!resolve(doc), qPrintable(doc));

    // Opening hands the resolved address to the desktop; a missing file is a failure.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "openUrl");
    const QString before = QDir::currentPath();
    QDir::setCurrent(here);
    DesktopOpener opener;
    const bool results[]
        = {opener.open(QStringLiteral("план.txt")), opener.open(QStringLiteral("https://example.org/")),
           opener.open(QStringLiteral("missing.txt"))};
    QDir::setCurrent(before);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QVERIFY(results[0] && results[1] && !results[2]);
    QCOMPARE(catcher.urls,
             (QList<QUrl> {local(QStringLiteral("план.txt")), QUrl(QStringLiteral("https://example.org/"))}));
}

void TestDesktop::colorChooserAndFilters()
{
    QCOMPARE(QtChoosers::toQtFilter(QStringLiteral("Все файлы|*.*")), QStringLiteral("Все файлы (*)"));
    QCOMPARE(QtChoosers::toQtFilter(QStringLiteral("Тексты|*.txt;*.md|Все файлы|*.*")),
             QStringLiteral("Тексты (*.txt *.md);;Все файлы (*)"));

    // Custom colours as text: unreadable slots read as white, readable ones keep their place.
    const QtChoosers::CustomColors parsed
        = QtChoosers::parseCustomColors(QStringLiteral(" 0x0000ff ,255,zz,0x1000000,-1,,fake-custom"));
    QCOMPARE(parsed[0], OleColor(0xFF));
    QCOMPARE(parsed[1], OleColor(255));
    for (size_t i = 2; i < parsed.size(); ++i)
        QCOMPARE(parsed[i], OleColor(0xFFFFFF));
    QCOMPARE(QtChoosers::parseCustomColors(QtChoosers::formatCustomColors(parsed)), parsed);

    // The user picks a colour, adds it to the custom colours and confirms.
    QtChoosers choosers;
    QString custom = QStringLiteral("0x0000FF,0x00FF00");
    QColor initialShown;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QColorDialog *>(w);
        initialShown = dialog->currentColor();
        dialog->setCurrentColor(QColor(1, 2, 3));
        for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
            if (b->text().contains(QStringLiteral("Custom")))
                QTest::mouseClick(b, Qt::LeftButton);
        }
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QCOMPARE(choosers.chooseColor(nullptr, 0x9BFF9B, custom), std::optional<OleColor>(oleFromRgb(1, 2, 3)));
    QCOMPARE(initialShown, QColor(0x9B, 0xFF, 0x9B));
    const QtChoosers::CustomColors slots = QtChoosers::parseCustomColors(custom);
    QCOMPARE(slots[0], oleFromRgb(1, 2, 3));
    QCOMPARE(slots[1], OleColor(0x00FF00)); // loaded from the text given

    // Cancel changes nothing.
    const QString before = custom;
    whenModalShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(!choosers.chooseColor(nullptr, kSystemWindowBackground, custom));
    QCOMPARE(custom, before);
}

void TestDesktop::trayIcon()
{
    SystemTrayIcon tray;
    QSignalSpy activated(&tray, &TrayIcon::activated);
    QSignalSpy quit(&tray, &SystemTrayIcon::quitRequested);
    QCOMPARE(tray.isTrayAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
    tray.setInTray(true);
    tray.setIconPicture(QIcon(QStringLiteral(":/res/A_MAIN.svg")));
    QVERIFY(tray.inTray());

    // A click or a double click brings the window back, a context click does not; the menu
    // offers both ways.
    auto *icon = tray.findChild<QSystemTrayIcon *>();
    Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
    Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);
    Q_EMIT icon->activated(QSystemTrayIcon::Context);
    QCOMPARE(activated.count(), 2);
    QStringList texts;
    for (QAction *a : tray.contextMenu()->actions()) {
        texts.append(a->text());
        a->trigger();
    }
    QCOMPARE(texts, (QStringList {QStringLiteral("Показать"), QString(), QStringLiteral("Выход")}));
    QCOMPARE(activated.count(), 3);
    QCOMPARE(quit.count(), 1);
}

LISTRA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
