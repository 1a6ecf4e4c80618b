#include "components/OverlayWindowEffect.h"
#include "tests/components/OffscreenPlatform.h"
#include "tests/support/TestMain.h"

#include <QPainter>
#include <QSignalSpy>
#include <QWidget>

namespace {

const QRect kWindowRect(100, 100, 200, 100);

// Four quadrants, so that every part of the picture can be told apart on the overlay.
QPixmap quadrants()
{
    QPixmap pm(kWindowRect.size());
    QPainter p(&pm);
    p.fillRect(0, 0, 100, 50, Qt::red);
    p.fillRect(100, 0, 100, 50, Qt::green);
    p.fillRect(0, 50, 100, 50, Qt::blue);
    p.fillRect(100, 50, 100, 50, Qt::yellow);
    return pm;
}

struct Shown {
    bool visible = false;
    QRect rect; // in the window's client coordinates
    QColor topLeft, bottomRight;
    int alpha = 0;
};

Shown overlayNow(OverlayWindowEffect &effect)
{
    Shown s;
    QWidget *overlay = effect.overlay();
    if (!overlay || !overlay->isVisible())
        return s;
    s.visible = true;
    s.rect = overlay->geometry().translated(-kWindowRect.topLeft());
    const QImage image = overlay->grab().toImage();
    s.topLeft = image.pixelColor(3, 3);
    s.bottomRight = image.pixelColor(image.width() - 4, image.height() - 4);
    s.alpha = s.topLeft.alpha();
    s.topLeft.setAlpha(255);
    s.bottomRight.setAlpha(255);
    return s;
}

} // namespace

class TestWindowEffect : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void init();
    void cleanup() { delete m_window; }
    void middleFrames_data();
    void middleFrames();
    void startEndAndBlend();
    void windowStateAroundTheAnimation();
    void snapshotOfTheClientArea();

private:
    QWidget *m_window = nullptr;
};

void TestWindowEffect::init()
{
    TestCase::init();
    m_window = new QWidget;
    m_window->setGeometry(kWindowRect);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestWindowEffect::middleFrames_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("direction");
    QTest::addColumn<bool>("show");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QColor>("topLeft");
    QTest::addColumn<QColor>("bottomRight");

    const QColor R(Qt::red), G(Qt::green), B(Qt::blue), Y(Qt::yellow);
    const int roll = Effect::Roll, slide = Effect::Slide;
    struct Row {
        const char *name;
        int direction;
        QRect rect;
        QColor rollTL, rollBR, slideTL, slideBR;
    };
    // Half-way through showing: the part of the window that shows, and what the picture
    // has there (roll reveals the still picture, slide brings its leading edge in).
    const Row shows[] = {
        {"up-left", 0, QRect(100, 50, 100, 50), Y, Y, R, R},  {"up", 1, QRect(0, 50, 200, 50), B, Y, R, G},
        {"up-right", 2, QRect(0, 50, 100, 50), B, B, G, G},   {"left", 3, QRect(100, 0, 100, 100), G, Y, R, B},
        {"centre", 4, QRect(50, 25, 100, 50), R, Y, R, Y},    {"right", 5, QRect(0, 0, 100, 100), R, B, G, Y},
        {"down-left", 6, QRect(100, 0, 100, 50), G, G, B, B}, {"down", 7, QRect(0, 0, 200, 50), R, G, B, Y},
        {"down-right", 8, QRect(0, 0, 100, 50), R, R, Y, Y},  {"no direction", 9, QRect(50, 25, 100, 50), R, Y, R, Y},
    };
    for (const Row &r : shows) {
        QTest::addRow("show roll %s", r.name) << roll << r.direction << true << r.rect << r.rollTL << r.rollBR;
        QTest::addRow("show slide %s", r.name) << slide << r.direction << true << r.rect << r.slideTL << r.slideBR;
    }
    // Half-way through hiding, the picture keeps moving in the direction and leaves by
    // the far edge.
    const Row hides[] = {
        {"up-left", 0, QRect(0, 0, 100, 50), R, R, Y, Y},
        {"centre", 4, QRect(50, 25, 100, 50), R, Y, R, Y},
        {"right", 5, QRect(100, 0, 100, 100), G, Y, R, B},
        {"down", 7, QRect(0, 50, 200, 50), B, Y, R, G},
    };
    for (const Row &r : hides) {
        QTest::addRow("hide roll %s", r.name) << roll << r.direction << false << r.rect << r.rollTL << r.rollBR;
        QTest::addRow("hide slide %s", r.name) << slide << r.direction << false << r.rect << r.slideTL << r.slideBR;
    }
}

void TestWindowEffect::middleFrames()
{
    QFETCH(int, style);
    QFETCH(int, direction);
    QFETCH(bool, show);
    QFETCH(QRect, rect);
    QFETCH(QColor, topLeft);
    QFETCH(QColor, bottomRight);

    if (show)
        m_window->hide();
    OverlayWindowEffect effect;
    effect.animate(m_window, show, style, direction, 60000, quadrants());
    QVERIFY(effect.isRunning());
    effect.setProgressForTest(0.5);
    const Shown s = overlayNow(effect);
    QVERIFY(s.visible);
    QCOMPARE(s.rect, rect);
    QCOMPARE(s.topLeft, topLeft);
    QCOMPARE(s.bottomRight, bottomRight);
    QCOMPARE(s.alpha, 255);
    effect.finish();
}

void TestWindowEffect::startEndAndBlend()
{
    const QRect whole(QPoint(0, 0), kWindowRect.size());
    auto fullPicture = [&](const Shown &s) {
        return s.visible && s.rect == whole && s.topLeft == QColor(Qt::red) && s.bottomRight == QColor(Qt::yellow);
    };
    // Slide and roll: nothing at the start of showing, the whole picture at its end;
    // the reverse for hiding.
    for (int style : {Effect::Slide, Effect::Roll}) {
        for (int direction = 0; direction <= 8; ++direction) {
            for (bool show : {true, false}) {
                const QByteArray what = QByteArray::number(style) + "/" + QByteArray::number(direction);
                OverlayWindowEffect effect;
                m_window->setVisible(!show);
                effect.animate(m_window, show, style, direction, 60000, quadrants());
                QVERIFY2(show ? !overlayNow(effect).visible : fullPicture(overlayNow(effect)), what);
                effect.setProgressForTest(1.0);
                QVERIFY2(show ? fullPicture(overlayNow(effect)) : !overlayNow(effect).visible, what);
                effect.finish();
                QCOMPARE(m_window->isVisible(), show);
            }
        }
    }
    // Blend fades the whole picture in and out, whatever the direction.
    for (int direction : {2, 7}) {
        OverlayWindowEffect effect;
        m_window->hide();
        effect.animate(m_window, true, Effect::Blend, direction, 60000, quadrants());
        effect.setProgressForTest(0.5);
        QVERIFY(fullPicture(overlayNow(effect)));
        QVERIFY(qAbs(overlayNow(effect).alpha - 128) <= 2);
        effect.finish();
        effect.animate(m_window, false, Effect::Blend, direction, 60000, quadrants());
        QCOMPARE(overlayNow(effect).alpha, 255);
        effect.setProgressForTest(0.25);
        QVERIFY(qAbs(overlayNow(effect).alpha - 191) <= 2);
        effect.finish();
    }
}

void TestWindowEffect::windowStateAroundTheAnimation()
{
    OverlayWindowEffect effect;
    QSignalSpy finished(&effect, &WindowEffect::finished);

    // Hiding: the window goes at once; its picture stays on a frameless overlay until the end.
    effect.animate(m_window, false, Effect::Roll, 7, 60000, quadrants());
    QVERIFY(!m_window->isVisible());
    QVERIFY(effect.overlay()->isVisible() && effect.isRunning());
    const Qt::WindowFlags flags = effect.overlay()->windowFlags();
    QVERIFY(flags.testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput));
    QCOMPARE(finished.count(), 0);
    effect.finish();
    QVERIFY(!effect.isRunning() && !effect.overlay()->isVisible() && !m_window->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.last().at(0).toBool(), false);

    // Showing: the window appears, at its old place and active, only at the end.
    QWidget other;
    other.setGeometry(400, 400, 100, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    effect.animate(m_window, true, Effect::Slide, 3, 60000, quadrants());
    effect.setProgressForTest(0.9);
    QVERIFY(!m_window->isVisible());
    // A new request ends the running one at once, in its requested state.
    effect.animate(m_window, false, Effect::Slide, 3, 60000, quadrants());
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.last().at(0).toBool(), true);
    effect.animate(m_window, true, Effect::Slide, 3, 60000, quadrants());
    QCOMPARE(finished.count(), 3);
    effect.finish();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCOMPARE(m_window->geometry(), kWindowRect);
    QCOMPARE(finished.count(), 4);
    effect.finish(); // nothing left to finish
    QCOMPARE(finished.count(), 4);

    // No effect, no time, or a window already shown: at once, without an overlay.
    OverlayWindowEffect instant;
    QSignalSpy done(&instant, &WindowEffect::finished);
    instant.animate(m_window, true, Effect::Blend, 7, 60000, quadrants());
    instant.animate(m_window, false, Effect::None, 7, 250, quadrants());
    QVERIFY(!m_window->isVisible());
    instant.animate(m_window, true, Effect::Roll, 7, 0, quadrants());
    QVERIFY(m_window->isVisible());
    QVERIFY(!instant.overlay() && !instant.isRunning());
    QCOMPARE(done.count(), 3);

    // The event loop drives a real animation to its end; the call itself returns at once.
    instant.animate(m_window, false, Effect::Slide, 8, 120, QPixmap());
    QVERIFY(instant.isRunning());
    QVERIFY(done.wait(5000));
    QVERIFY(!m_window->isVisible());

    // The window going away mid-animation leaves nothing behind.
    effect.animate(m_window, true, Effect::Blend, 0, 60000, quadrants());
    delete m_window;
    m_window = nullptr;
    effect.finish();
    QCOMPARE(finished.count(), 5);
    QVERIFY(!effect.overlay()->isVisible());
}

void TestWindowEffect::snapshotOfTheClientArea()
{
    m_window->setAutoFillBackground(true);
    QPalette pal = m_window->palette();
    pal.setColor(QPalette::Window, QColor(10, 200, 30));
    m_window->setPalette(pal);
    m_window->repaint();
    for (bool shown : {true, false}) { // a hidden window still gives its picture
        m_window->setVisible(shown);
        const QPixmap shot = OverlayWindowEffect::CacheWindowImage(m_window);
        QCOMPARE(shot.deviceIndependentSize().toSize(), kWindowRect.size());
        QCOMPARE(shot.toImage().pixelColor(150, 80), QColor(10, 200, 30));
    }
}

LISTRA_TEST_MAIN(TestWindowEffect)
#include "tst_windoweffect.moc"
