// SPDX-License-Identifier: MIT
#include "components/qt/OverlayWindowEffect.h"
#include "tests/support/OffscreenWarnings.h"
#include "tests/support/TestMain.h"

#include <QPainter>
#include <QSignalSpy>
#include <QWidget>

namespace {

const QRect kWindowRect(100, 100, 200, 100);
const QString kWhole = QStringLiteral("0,0 200x100 4 RY");

// Four quadrants, so that every part of the picture can be told apart on the overlay.
QPixmap quadrants()
{
    QPixmap pm(kWindowRect.size());
    QPainter p(&pm);
    const Qt::GlobalColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i)
        p.fillRect(i % 2 * 100, i / 2 * 50, 100, 50, colors[i]);
    return pm;
}

// What the overlay shows now: "-" when nothing, else the part of the window it covers, its
// opacity in quarters and the colours in its top-left and bottom-right corners.
QString seen(const OverlayWindowEffect &effect)
{
    QWidget *o = effect.overlay();
    if (!o || !o->isVisible())
        return QStringLiteral("-");
    const QImage image = o->grab().toImage();
    auto letter = [&](const QColor &c) { return u"BRGY"[(c.red() > 127) + 2 * (c.green() > 127)]; };
    const QRect r = o->geometry().translated(-kWindowRect.topLeft());
    const int quarters = qRound(image.pixelColor(3, 3).alphaF() * 4);
    QString s = QString::asprintf("%d,%d %dx%d %d ", r.x(), r.y(), r.width(), r.height(), quarters);
    if (quarters)
        s.append(letter(image.pixelColor(3, 3)))
            .append(letter(image.pixelColor(image.width() - 4, image.height() - 4)));
    return s.trimmed();
}

} // namespace

class TestWindowEffect : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tolerateOffscreenLimits(); }
    void startMiddleEnd_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("show");
        QTest::addColumn<QString>("middle");
        // Half-way: roll reveals the still picture, slide brings its leading edge in; hiding,
        // the picture keeps moving in the direction and leaves by the far edge.
        const int roll = Effect::Roll, slide = Effect::Slide;
        QTest::newRow("show roll up-left") << roll << 0 << true << "100,50 100x50 4 YY";
        QTest::newRow("show slide up-left") << slide << 0 << true << "100,50 100x50 4 RR";
        QTest::newRow("show slide right") << slide << 5 << true << "0,0 100x100 4 GY";
        QTest::newRow("show roll no direction") << roll << 9 << true << "50,25 100x50 4 RY";
        QTest::newRow("hide slide right") << slide << 5 << false << "100,0 100x100 4 RB";
    }
    void startMiddleEnd()
    {
        QFETCH(int, style);
        QFETCH(int, direction);
        QFETCH(bool, show);
        QFETCH(QString, middle);
        const QString gone = QStringLiteral("-");
        QWidget window;
        window.setGeometry(kWindowRect);
        window.setVisible(!show);
        QVERIFY(show || QTest::qWaitForWindowExposed(&window));
        OverlayWindowEffect effect;
        QSignalSpy finished(&effect, &WindowEffect::finished);
        effect.animate(&window, show, style, direction, 60000, quadrants());
        QCOMPARE(seen(effect), show ? gone : kWhole);
        QVERIFY(!window.isVisible()); // hidden at once, shown only at the end
        effect.setProgressForTest(0.5);
        QCOMPARE(seen(effect), middle);
        // Asked again, as the clicks of a double click on the tray icon do: it plays on.
        effect.animate(&window, show, style, direction, 60000, quadrants());
        QVERIFY(effect.isRunning());
        QCOMPARE(seen(effect), middle);
        effect.setProgressForTest(1.0);
        QCOMPARE(seen(effect), show ? kWhole : gone);
        effect.finish();
        QCOMPARE(seen(effect), QStringLiteral("-"));
        QCOMPARE(window.isVisible(), show);
        QCOMPARE(finished.count(), 1);
    }

    // The fade is drawn over a picture of what lies beneath, not by a translucent window,
    // which an X server without a compositor would show opaque.
    void blendFadesOverWhatLiesBeneath()
    {
        QWidget desktop;
        desktop.setGeometry(0, 0, 400, 300);
        QPalette blue;
        blue.setColor(QPalette::Window, Qt::blue);
        desktop.setPalette(blue);
        desktop.setAutoFillBackground(true);
        desktop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desktop));
        for (const bool show : {true, false}) {
            QWidget window;
            window.setGeometry(kWindowRect);
            window.setVisible(!show);
            QVERIFY(show || QTest::qWaitForWindowExposed(&window));
            OverlayWindowEffect effect;
            effect.animate(&window, show, Effect::Blend, 0, 60000, quadrants());
            // A fade out starts once the windows beneath have had their moment to repaint.
            QTRY_VERIFY(effect.overlay()->isVisible());
            for (const qreal t : {0.0, 0.5, 1.0}) {
                effect.setProgressForTest(t);
                const qreal red = show ? t : 1.0 - t; // the picture's corner is red
                const QColor c = effect.overlay()->grab().toImage().pixelColor(3, 3);
                QVERIFY2(c.alpha() == 255 && qAbs(c.redF() - red) < 0.02 && qAbs(c.blueF() - (1.0 - red)) < 0.02,
                         qPrintable(QStringLiteral("%1 at %2").arg(c.name(QColor::HexArgb)).arg(t)));
            }
            effect.finish();
        }
    }
};

LISTRA_TEST_MAIN(TestWindowEffect)
#include "tst_windoweffect.moc"
