// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "app/DeferredIconStyle.h"
#include "components/ResourceIcon.h"

#include <QAction>
#include <QDirIterator>
#include <QStyleFactory>
#include <QToolBar>

// The pictures are read late, when first drawn; drawn, they are exactly what the system's own
// picture engines make of the same files.
class PicturesTest : public TestCase
{
    Q_OBJECT

    // A toolbar too narrow for its buttons, drawn by the application's style of the moment.
    static QImage narrowToolbar(Qt::Orientation orientation)
    {
        QToolBar bar;
        bar.setOrientation(orientation);
        bar.setToolButtonStyle(Qt::ToolButtonTextOnly);
        for (int i = 0; i < 8; ++i)
            bar.addAction(QStringLiteral("Кнопка %1").arg(i));
        bar.resize(orientation == Qt::Horizontal ? QSize(150, 40) : QSize(40, 150));
        return bar.grab().toImage();
    }

private Q_SLOTS:
    void resourcePicturesDrawAsTheirFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("mode");
        QDirIterator files(QStringLiteral(":/res"), {QStringLiteral("*.svg")});
        while (files.hasNext()) {
            const QString name = files.nextFileInfo().completeBaseName();
            for (int side : {16, 24, 48})
                for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected})
                    QTest::addRow("%s %d mode %d", qPrintable(name), side, int(mode)) << name << side << int(mode);
        }
    }

    void resourcePicturesDrawAsTheirFiles()
    {
        QFETCH(QString, name);
        QFETCH(int, side);
        QFETCH(int, mode);
        const QIcon::Mode iconMode = QIcon::Mode(mode);
        const QIcon ours = resourceIcon(name);
        const QIcon system(QStringLiteral(":/res/%1.svg").arg(name));
        QVERIFY(!ours.isNull());
        QCOMPARE(ours.actualSize(QSize(side, side), iconMode), system.actualSize(QSize(side, side), iconMode));
        // Twice: the second comes from what the first rendered.
        for (int round = 0; round < 2; ++round)
            QCOMPARE(ours.pixmap(side, iconMode).toImage(), system.pixmap(side, iconMode).toImage());
    }

    void overflowArrowIsTheStyles_data()
    {
        QTest::addColumn<Qt::Orientation>("orientation");
        QTest::addColumn<Qt::LayoutDirection>("direction");
        QTest::newRow("across") << Qt::Horizontal << Qt::LeftToRight;
        QTest::newRow("down") << Qt::Vertical << Qt::LeftToRight;
        QTest::newRow("across, right to left") << Qt::Horizontal << Qt::RightToLeft;
    }

    void overflowArrowIsTheStyles()
    {
        QFETCH(Qt::Orientation, orientation);
        QFETCH(Qt::LayoutDirection, direction);
        QGuiApplication::setLayoutDirection(direction);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        const QImage plain = narrowToolbar(orientation);
        QApplication::setStyle(new DeferredIconStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
        const QImage deferred = narrowToolbar(orientation);
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
        QCOMPARE(deferred, plain);
    }
};

LISTRA_TEST_MAIN(PicturesTest)
#include "tst_pictures.moc"
