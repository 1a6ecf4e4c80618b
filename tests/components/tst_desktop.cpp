#include "components/DesktopOpener.h"
#include "components/QtChoosers.h"
#include "components/SystemTrayIcon.h"
#include "tests/components/ModalDriver.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

namespace {

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// Takes the place of the desktop's handler for a scheme, so nothing is really launched.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void openUrl(const QUrl &url) { urls.append(url); }
};

QLineEdit *fileNameEdit(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// The file dialog lists its folder in the background and resets the name box when the
// list arrives; a user types once the files are shown.
void whenFolderListed(QFileDialog *dialog, std::function<void()> act)
{
    QPointer<QFileDialog> target(dialog);
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, target, act] {
        auto *model = target ? target->findChild<QFileSystemModel *>() : nullptr;
        if (model && model->rowCount(model->index(target->directory().absolutePath())) < 5)
            return;
        timer->stop();
        timer->deleteLater();
        if (target)
            QTimer::singleShot(0, target, act);
    });
    timer->start();
}

// The button is enabled once the dialog knows the typed names.
void clickWhenEnabled(QAbstractButton *button)
{
    QPointer<QAbstractButton> target(button);
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, target] {
        if (target && !target->isEnabled())
            return;
        timer->stop();
        timer->deleteLater();
        if (target)
            QTest::mouseClick(target.data(), Qt::LeftButton);
    });
    timer->start();
}

} // namespace

class TestDesktop : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void resolvingDocuments();
    void openingGoesToTheDesktop();
    void fileFilters();
    void customColorText();
    void colorDialog();
    void fileAndFolderChoosers();
    void fontDialog();
    void trayIconMenu();

private:
    QTemporaryDir m_dir;
};

void TestDesktop::initTestCase()
{
    tolerateOffscreenLimits();
    QVERIFY(m_dir.isValid());
    touch(m_dir.filePath(QStringLiteral("план.txt")));
    touch(m_dir.filePath(QStringLiteral("C:\\x")));
    touch(m_dir.filePath(QStringLiteral("a.txt")));
    touch(m_dir.filePath(QStringLiteral("b.txt")));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
}

void TestDesktop::resolvingDocuments()
{
    const QString here = m_dir.path();
    auto resolve = [&](const QString &doc) { return DesktopOpener::resolveDocument(doc, here); };
    auto local = [&](const QString &name) { return QUrl::fromLocalFile(here + QLatin1Char('/') + name); };

    // Addresses stay addresses, whatever their scheme.
    QCOMPARE(resolve(QStringLiteral("https://example.org/a?b=c")), QUrl(QStringLiteral("https://example.org/a?b=c")));
    QCOMPARE(resolve(QStringLiteral("ftp://example.org/file.zip"))->scheme(), QStringLiteral("ftp"));
    QCOMPARE(resolve(QStringLiteral("mailto:someone@example.org"))->path(), QStringLiteral("someone@example.org"));
    QCOMPARE(resolve(QStringLiteral("tel:+100"))->scheme(), QStringLiteral("tel"));
    QCOMPARE(resolve(QStringLiteral("http://example.org/a b"))->host(), QStringLiteral("example.org"));
    QVERIFY(!resolve(QStringLiteral("http://[broken")));

    // Paths: absolute, relative to the current folder, cleaned; they must exist.
    QCOMPARE(resolve(here + QStringLiteral("/план.txt")), local(QStringLiteral("план.txt")));
    QCOMPARE(resolve(QStringLiteral("план.txt")), local(QStringLiteral("план.txt")));
    QCOMPARE(resolve(QStringLiteral("sub")), local(QStringLiteral("sub")));
    QCOMPARE(resolve(QStringLiteral("sub/../план.txt")), local(QStringLiteral("план.txt")));
    QCOMPARE(resolve(QUrl::fromLocalFile(here + QStringLiteral("/a.txt")).toString()), local(QStringLiteral("a.txt")));
    QVERIFY(!resolve(QStringLiteral("missing.txt")));
    QVERIFY(!resolve(here + QStringLiteral("/missing.txt")));
    QVERIFY(!resolve(QStringLiteral("file:///no/such/file")));
    QVERIFY(!resolve(QStringLiteral("www.example.org")));
    // A drive letter is not a scheme.
    QCOMPARE(resolve(QStringLiteral("C:\\x")), local(QStringLiteral("C:\\x")));
    // "~" is an ordinary name here.
    touch(TestSupport::homeDir() + QStringLiteral("/home-file"));
    QVERIFY(!resolve(QStringLiteral("~/home-file")));
    QVERIFY(!resolve(QString()));
    QVERIFY(!resolve(QStringLiteral("   ")));
}

void TestDesktop::openingGoesToTheDesktop()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "openUrl");
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());

    DesktopOpener opener;
    const bool relative = opener.open(QStringLiteral("план.txt"));
    const bool address = opener.open(QStringLiteral("https://example.org/"));
    const bool missing = opener.open(QStringLiteral("missing.txt"));

    QDir::setCurrent(before);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QVERIFY(relative);
    QVERIFY(address);
    QVERIFY(!missing);
    QCOMPARE(catcher.urls,
             (QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("план.txt"))), QUrl(QStringLiteral("https://example.org/"))}));
}

void TestDesktop::fileFilters()
{
    QCOMPARE(QtChoosers::toQtFilter(QStringLiteral("Все файлы|*.*")), QStringLiteral("Все файлы (*)"));
    QCOMPARE(QtChoosers::toQtFilter(QStringLiteral("Тексты|*.txt;*.md|Все файлы|*.*")),
             QStringLiteral("Тексты (*.txt *.md);;Все файлы (*)"));
    QCOMPARE(QtChoosers::toQtFilter(QStringLiteral("Картинки|*.png|")), QStringLiteral("Картинки (*.png)"));
    QCOMPARE(QtChoosers::toQtFilter(QString()), QString());
}

void TestDesktop::customColorText()
{
    QtChoosers::CustomColors colors;
    for (size_t i = 0; i < colors.size(); ++i)
        colors[i] = OleColor(i * 0x010203u);
    colors[15] = 0xFFFFFF;
    const QString text = QtChoosers::formatCustomColors(colors);
    QCOMPARE(text.split(QLatin1Char(',')).size(), 16);
    QVERIFY(text.startsWith(QStringLiteral("0x000000,0x010203,")));
    QCOMPARE(QtChoosers::parseCustomColors(text), colors);

    // Whatever cannot be read is white; what can be read is kept in its slot.
    const QtChoosers::CustomColors garbage = QtChoosers::parseCustomColors(
        QStringLiteral(" 0x0000ff , 255,zz,0x1000000,-1,,0xGG, 16777215,fake-custom"));
    QCOMPARE(garbage[0], OleColor(0xFF));
    QCOMPARE(garbage[1], OleColor(255));
    for (size_t i : {2u, 3u, 4u, 5u, 6u, 8u, 9u, 15u})
        QCOMPARE(garbage[i], OleColor(0xFFFFFF));
    QCOMPARE(garbage[7], OleColor(0xFFFFFF));
    QCOMPARE(QtChoosers::parseCustomColors(QString())[0], OleColor(0xFFFFFF));
}

void TestDesktop::colorDialog()
{
    QtChoosers choosers;
    QString custom = QStringLiteral("0x0000FF,0x00FF00");

    // The user picks a colour, keeps it as a custom colour and confirms.
    QColor initialShown;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QColorDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        initialShown = dialog->currentColor();
        dialog->setCurrentColor(QColor(1, 2, 3));
        for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
            if (b->text().contains(QStringLiteral("Custom")))
                QTest::mouseClick(b, Qt::LeftButton);
        }
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    const std::optional<OleColor> picked = choosers.chooseColor(nullptr, 0x9BFF9B, custom);
    QCOMPARE(initialShown, QColor(0x9B, 0xFF, 0x9B));
    QVERIFY(picked);
    QCOMPARE(*picked, oleFromRgb(1, 2, 3));
    const QtChoosers::CustomColors slots = QtChoosers::parseCustomColors(custom);
    QCOMPARE(custom.split(QLatin1Char(',')).size(), 16);
    // The new colour took the first slot; the others are still those of the text given.
    QCOMPARE(slots[0], oleFromRgb(1, 2, 3));
    QCOMPARE(slots[1], OleColor(0x00FF00));
    QCOMPARE(slots[2], OleColor(0xFFFFFF));

    // Cancel changes nothing.
    const QString before = custom;
    whenModalShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(!choosers.chooseColor(nullptr, kSystemWindowBackground, custom));
    QCOMPARE(custom, before);
}

void TestDesktop::fileAndFolderChoosers()
{
    QtChoosers choosers;
    QString shownFolder;
    QStringList shownFilters;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        shownFolder = dialog->directory().absolutePath();
        shownFilters = dialog->nameFilters();
        whenFolderListed(dialog, [dialog] {
            QTest::keyClicks(fileNameEdit(dialog), QStringLiteral("\"b.txt\" \"a.txt\""));
            clickWhenEnabled(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open));
        });
    });
    const QStringList files = choosers.chooseFiles(nullptr, QStringLiteral("Все файлы|*.*"), m_dir.path());
    QCOMPARE(shownFolder, QDir(m_dir.path()).absolutePath());
    QCOMPARE(shownFilters, QStringList{QStringLiteral("Все файлы (*)")});
    QCOMPARE(files, (QStringList{m_dir.filePath(QStringLiteral("b.txt")), m_dir.filePath(QStringLiteral("a.txt"))}));

    whenModalShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(choosers.chooseFiles(nullptr, QStringLiteral("Все файлы|*.*"), m_dir.path()).isEmpty());

    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        QTest::keyClicks(fileNameEdit(dialog), m_dir.filePath(QStringLiteral("sub")));
        clickWhenEnabled(dialog->findChild<QDialogButtonBox *>()->buttons().first());
    });
    QCOMPARE(choosers.chooseFolder(nullptr), m_dir.filePath(QStringLiteral("sub")));

    whenModalShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(choosers.chooseFolder(nullptr).isEmpty());
}

void TestDesktop::fontDialog()
{
    QtChoosers choosers;
    const QFont initial(QStringLiteral("DejaVu Sans"), 14);
    QFont shown;
    whenModalShown([&](QWidget *w) {
        auto *dialog = qobject_cast<QFontDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        shown = dialog->currentFont();
        // The size box is the one box of the dialog the user types into.
        for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
            if (!edit->isReadOnly()) {
                edit->selectAll();
                QTest::keyClicks(edit, QStringLiteral("20"));
            }
        }
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    const std::optional<QFont> font = choosers.chooseFont(nullptr, initial);
    QCOMPARE(shown.pointSize(), 14);
    QVERIFY(font);
    QCOMPARE(font->pointSize(), 20);

    whenModalShown([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(!choosers.chooseFont(nullptr, initial));
}

void TestDesktop::trayIconMenu()
{
    SystemTrayIcon tray;
    QSignalSpy activated(&tray, &TrayIcon::activated);
    QSignalSpy quit(&tray, &SystemTrayIcon::quitRequested);
    QCOMPARE(tray.isTrayAvailable(), QSystemTrayIcon::isSystemTrayAvailable());

    tray.setToolTip(QStringLiteral("Listra"));
    QVERIFY(!tray.inTray());
    tray.setInTray(true);
    tray.setIconPicture(QIcon(QStringLiteral(":/res/A_MAIN.svg")));
    QVERIFY(tray.inTray());

    const QList<QAction *> actions = tray.contextMenu()->actions();
    QAction *show = nullptr, *exit = nullptr;
    for (QAction *a : actions) {
        if (a->text() == QStringLiteral("Показать"))
            show = a;
        else if (a->text() == QStringLiteral("Выход"))
            exit = a;
    }
    QVERIFY(show && exit);
    show->trigger();
    QCOMPARE(activated.count(), 1);
    QCOMPARE(quit.count(), 0);
    exit->trigger();
    QCOMPARE(quit.count(), 1);
    QCOMPARE(activated.count(), 1);

    // A click or a double click on the icon brings the window back; a context click does not.
    auto *icon = tray.findChild<QSystemTrayIcon *>();
    QVERIFY(icon);
    Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
    Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);
    Q_EMIT icon->activated(QSystemTrayIcon::Context);
    QCOMPARE(activated.count(), 3);
    tray.setInTray(false);
    QVERIFY(!tray.inTray());
}

LISTRA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
