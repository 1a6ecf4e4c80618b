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
    void startAndEndFrames();
    void blendFades();
    void hideAndShowAroundTheAnimation();
    void newRequestFinishesTheRunningOne();
    void instantCases();
    void runsOnTheClock();
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
        {"up-left", 0, QRect(100, 50, 100, 50), Y, Y, R, R},
        {"up", 1, QRect(0, 50, 200, 50), B, Y, R, G},
        {"up-right", 2, QRect(0, 50, 100, 50), B, B, G, G},
        {"left", 3, QRect(100, 0, 100, 100), G, Y, R, B},
        {"centre", 4, QRect(50, 25, 100, 50), R, Y, R, Y},
        {"right", 5, QRect(0, 0, 100, 100), R, B, G, Y},
        {"down-left", 6, QRect(100, 0, 100, 50), G, G, B, B},
        {"down", 7, QRect(0, 0, 200, 50), R, G, B, Y},
        {"down-right", 8, QRect(0, 0, 100, 50), R, R, Y, Y},
        {"no direction", 9, QRect(50, 25, 100, 50), R, Y, R, Y},
        {"negative direction", -1, QRect(50, 25, 100, 50), R, Y, R, Y},
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

void TestWindowEffect::startAndEndFrames()
{
    const QRect whole(QPoint(0, 0), kWindowRect.size());
    for (int style : {Effect::Slide, Effect::Roll}) {
        for (int direction = 0; direction <= 8; ++direction) {
            const QByteArray what = QByteArray::number(style) + " / " + QByteArray::number(direction);
            for (bool show : {true, false}) {
                OverlayWindowEffect effect;
                m_window->setVisible(!show);
                effect.animate(m_window, show, style, direction, 60000, quadrants());
                // Nothing shows yet when showing; the whole picture when hiding begins.
                Shown s = overlayNow(effect);
                QVERIFY2(s.visible == !show, what.constData());
                if (!show) {
                    QVERIFY2(s.rect == whole, what.constData());
                    QVERIFY2(s.topLeft == QColor(Qt::red) && s.bottomRight == QColor(Qt::yellow), what.constData());
                }
                effect.setProgressForTest(1.0);
                s = overlayNow(effect);
                QVERIFY2(s.visible == show, what.constData());
                if (show) {
                    QVERIFY2(s.rect == whole, what.constData());
                    QVERIFY2(s.topLeft == QColor(Qt::red) && s.bottomRight == QColor(Qt::yellow), what.constData());
                }
                effect.finish();
                QVERIFY(!effect.overlay()->isVisible());
                QCOMPARE(m_window->isVisible(), show);
            }
        }
    }
}

void TestWindowEffect::blendFades()
{
    const QRect whole(QPoint(0, 0), kWindowRect.size());
    for (int direction : {2, 7, 4}) {
        OverlayWindowEffect effect;
        m_window->hide();
        effect.animate(m_window, true, Effect::Blend, direction, 60000, quadrants());
        effect.setProgressForTest(0.5);
        Shown s = overlayNow(effect);
        QVERIFY(s.visible);
        QCOMPARE(s.rect, whole); // the direction plays no part
        QVERIFY(qAbs(s.alpha - 128) <= 2);
        QCOMPARE(s.topLeft, QColor(Qt::red));
        QCOMPARE(s.bottomRight, QColor(Qt::yellow));
        effect.setProgressForTest(1.0);
        QCOMPARE(overlayNow(effect).alpha, 255);
        effect.finish();

        effect.animate(m_window, false, Effect::Blend, direction, 60000, quadrants());
        QCOMPARE(overlayNow(effect).alpha, 255);
        effect.setProgressForTest(0.25);
        s = overlayNow(effect);
        QCOMPARE(s.rect, whole);
        QVERIFY(qAbs(s.alpha - 191) <= 2);
        effect.finish();
    }
}

void TestWindowEffect::hideAndShowAroundTheAnimation()
{
    OverlayWindowEffect effect;
    QSignalSpy finished(&effect, &WindowEffect::finished);

    // Hiding: the window goes at once, its picture stays on the overlay until the end.
    effect.animate(m_window, false, Effect::Roll, 7, 60000, quadrants());
    QVERIFY(!m_window->isVisible());
    QVERIFY(effect.overlay()->isVisible());
    const Qt::WindowFlags flags = effect.overlay()->windowFlags();
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::WindowTransparentForInput));
    QVERIFY(effect.overlay()->isWindow());
    QCOMPARE(finished.count(), 0);
    effect.finish();
    QVERIFY(!effect.isRunning());
    QVERIFY(!effect.overlay()->isVisible());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->geometry(), kWindowRect); // it comes back at its place
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);

    // Showing: the window appears, active, only when the animation is over.
    QWidget other;
    other.setGeometry(400, 400, 100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    effect.animate(m_window, true, Effect::Slide, 3, 60000, quadrants());
    effect.setProgressForTest(0.9);
    QVERIFY(!m_window->isVisible());
    effect.finish();
    QVERIFY(m_window->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCOMPARE(m_window->geometry(), kWindowRect);
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    // Nothing more to finish.
    effect.finish();
    QCOMPARE(finished.count(), 2);
}

void TestWindowEffect::newRequestFinishesTheRunningOne()
{
    OverlayWindowEffect effect;
    QSignalSpy finished(&effect, &WindowEffect::finished);
    effect.animate(m_window, false, Effect::Slide, 7, 60000, quadrants());
    effect.setProgressForTest(0.3);
    effect.animate(m_window, true, Effect::Roll, 1, 60000, quadrants());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(effect.isRunning());
    QVERIFY(!m_window->isVisible());
    effect.finish();
    QVERIFY(m_window->isVisible());
    QCOMPARE(finished.count(), 2);

    // The window going away in the middle leaves nothing behind.
    effect.animate(m_window, false, Effect::Blend, 0, 60000, quadrants());
    delete m_window;
    m_window = nullptr;
    effect.finish();
    QCOMPARE(finished.count(), 3);
    QVERIFY(!effect.overlay()->isVisible());
}

void TestWindowEffect::instantCases()
{
    OverlayWindowEffect effect;
    QSignalSpy finished(&effect, &WindowEffect::finished);

    // No effect, or no time for one: at once, no overlay.
    effect.animate(m_window, false, Effect::None, 7, 250, quadrants());
    QVERIFY(!m_window->isVisible());
    QVERIFY(!effect.isRunning());
    effect.animate(m_window, true, Effect::None, 7, 250, quadrants());
    QVERIFY(m_window->isVisible());
    effect.animate(m_window, false, Effect::Slide, 7, 0, quadrants());
    QVERIFY(!m_window->isVisible());
    effect.animate(m_window, true, Effect::Roll, 7, -5, quadrants());
    QVERIFY(m_window->isVisible());
    QVERIFY(!effect.overlay());
    QCOMPARE(finished.count(), 4);

    // A window already shown is not animated again, only brought forward.
    effect.animate(m_window, true, Effect::Blend, 7, 60000, quadrants());
    QVERIFY(!effect.isRunning());
    QVERIFY(m_window->isVisible());
    QCOMPARE(finished.count(), 5);
    QCOMPARE(finished.last().at(0).toBool(), true);
}

void TestWindowEffect::runsOnTheClock()
{
    OverlayWindowEffect effect;
    QSignalSpy finished(&effect, &WindowEffect::finished);
    effect.animate(m_window, false, Effect::Slide, 8, 120, QPixmap());
    // The call returns at once; the event loop drives the animation to its end.
    QVERIFY(effect.isRunning());
    QVERIFY(finished.wait(5000));
    QVERIFY(!effect.isRunning());
    QVERIFY(!m_window->isVisible());

    effect.animate(m_window, true, Effect::Blend, 4, 120, QPixmap());
    QVERIFY(finished.wait(5000));
    QVERIFY(m_window->isVisible());
    QCOMPARE(finished.count(), 2);
}

void TestWindowEffect::snapshotOfTheClientArea()
{
    m_window->setAutoFillBackground(true);
    QPalette pal = m_window->palette();
    pal.setColor(QPalette::Window, QColor(10, 200, 30));
    m_window->setPalette(pal);
    m_window->repaint();
    QCoreApplication::processEvents();

    const QPixmap shot = OverlayWindowEffect::CacheWindowImage(m_window);
    QCOMPARE(shot.deviceIndependentSize().toSize(), kWindowRect.size());
    QCOMPARE(shot.toImage().pixelColor(50, 50), QColor(10, 200, 30));

    // A hidden window still gives its picture.
    m_window->hide();
    const QPixmap hidden = OverlayWindowEffect::CacheWindowImage(m_window);
    QCOMPARE(hidden.deviceIndependentSize().toSize(), kWindowRect.size());
    QCOMPARE(hidden.toImage().pixelColor(150, 80), QColor(10, 200, 30));
    QVERIFY(OverlayWindowEffect::CacheWindowImage(nullptr).isNull());
}

LISTRA_TEST_MAIN(TestWindowEffect)
#include "tst_windoweffect.moc"
