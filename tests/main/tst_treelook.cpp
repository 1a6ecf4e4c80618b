// SPDX-License-Identifier: MIT
#include "tests/main/MainHarness.h"

#include <QScrollBar>
#include <QStyleFactory>
#include <cmath>

namespace {

QPalette lightPalette()
{
    QPalette p(QColor(0xEF, 0xEF, 0xEF));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    return p;
}

QPalette darkPalette()
{
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2D, 0x2D, 0x2D));
    p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::Text, QColor(0xDD, 0xDD, 0xDD));
    p.setColor(QPalette::WindowText, QColor(0xDD, 0xDD, 0xDD));
    p.setColor(QPalette::ButtonText, QColor(0xDD, 0xDD, 0xDD));
    p.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

// The WCAG contrast of two colours, worked out here on its own.
double contrast(QColor a, QColor b)
{
    const auto lum = [](QColor c) {
        double sum = 0;
        const double weights[] = {0.2126, 0.7152, 0.0722};
        const int channels[] = {c.red(), c.green(), c.blue()};
        for (int i = 0; i < 3; ++i) {
            const double s = channels[i] / 255.0;
            sum += weights[i] * (s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double x = lum(a), y = lum(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Background (the commonest colour) and text (the pixel that stands out most) of a rectangle.
std::pair<QColor, QColor> drawnColors(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb back = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(back))
            back = it.key();
    QColor text = QColor(back);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (contrast(QColor(it.key()), QColor(back)) > contrast(text, QColor(back)))
            text = QColor(it.key());
    return {QColor(back), text};
}

// Sets the application's palette or style for one test and puts the old one back.
struct ThemeScope {
    QPalette palette = QApplication::palette();
    QString style = QApplication::style()->name();
    ~ThemeScope()
    {
        QApplication::setPalette(palette);
        QApplication::setStyle(QStyleFactory::create(style));
    }
};

} // namespace

// How the tree looks: status colours on light and dark themes, long rows, lines and boxes.
class TreeLookTest : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void statusColorsReadOnLightAndDarkThemes_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("useBackColor");
        QTest::addColumn<bool>("chosen");
        for (bool dark : {false, true})
            for (bool back : {false, true})
                for (bool chosen : {false, true})
                    QTest::addRow("%s, backgrounds %s, %s colours", dark ? "dark" : "light", back ? "on" : "off",
                                  chosen ? "chosen" : "default")
                        << dark << back << chosen;
    }

    void statusColorsReadOnLightAndDarkThemes()
    {
        QFETCH(bool, dark);
        QFETCH(bool, useBackColor);
        QFETCH(bool, chosen);
        ThemeScope theme;
        QApplication::setPalette(dark ? darkPalette() : lightPalette());
        MainHarness h;
        h.show();
        AppSettings &s = h.settings;
        s.UseBackColor = useBackColor;
        if (chosen) {
            s.ProgressTasksColor = 0x996633;
            s.DoneTasksColor = 0x40C040;
            s.RejectedTasksColor = 0x3030A0;
            s.DoneTasksBackColor = 0x303030;
            s.RejectedTasksBackColor = 0xE0E0FF;
            s.ProgressTasksBackColor = 0xD0F0F0;
        }
        const StatusColors colors = s.statusColors();
        const std::pair<TaskStatus, QString> rows[] = {{TaskStatus::Progress, QStringLiteral("Задача в работе")},
                                                       {TaskStatus::Done, QStringLiteral("Выполненная задача")},
                                                       {TaskStatus::Rejected, QStringLiteral("Отклонённая задача")}};
        QList<TaskNode *> tasks;
        for (const auto &[status, text] : rows)
            tasks << h.task(h.root(), text, status);
        h.tv()->applySettings(s); // as after the settings dialog
        h.select(h.root());
        const QImage image = h.viewport()->grab().toImage();
        for (TaskNode *task : tasks) {
            const QRect row = h.tv()->visualRect(h.indexOf(task));
            const int textLeft = row.left() + h.tv()->style()->pixelMetric(QStyle::PM_SmallIconSize) + 8;
            const int textWidth = h.tv()->fontMetrics().horizontalAdvance(task->text()) - 10;
            const QRect text(textLeft, row.top() + 2, textWidth, row.height() - 4);
            const auto [back, fore] = drawnColors(image, text);
            if (chosen) {
                const auto [chosenFore, chosenBack] = colors.of(task->status());
                QCOMPARE(fore, QColor(oleRed(chosenFore), oleGreen(chosenFore), oleBlue(chosenFore)));
                if (useBackColor)
                    QCOMPARE(back, QColor(oleRed(chosenBack), oleGreen(chosenBack), oleBlue(chosenBack)));
            } else {
                QVERIFY2(contrast(fore, back) >= 4.5,
                         qPrintable(QStringLiteral("%1: %2 on %3, %4:1")
                                        .arg(task->text(), fore.name(), back.name())
                                        .arg(contrast(fore, back), 0, 'f', 2)));
            }
        }
    }

    // Long rows bring the sideways scroll bar as the window first shows: the task selected at
    // the bottom stays wholly in view above it, from the first frame on.
    void selectedRowStaysAboveTheSidewaysBar()
    {
        QByteArray tasks = "<Tasks>";
        for (int i = 0; i < 60; ++i)
            tasks += "<Task Name=\"Длинная задача номер " + QByteArray::number(i)
                + ", которую видно только со сдвигом вправо, когда окно узкое\"" + (i == 59 ? " Selected=\"True\"" : "")
                + "/>";
        MainHarness h(tasks + "</Tasks>");
        h.show();
        const TaskNode *selected = h.tree().selected();
        QVERIFY(selected && selected->text().contains(QStringLiteral("номер 59")));
        QTRY_VERIFY(h.tv()->horizontalScrollBar()->maximum() > 0);
        const QRect row = h.tv()->visualRect(h.indexOf(selected));
        QVERIFY2(row.top() >= 0 && row.bottom() < h.viewport()->height(),
                 qPrintable(QStringLiteral("row %1 to %2 in a view %3 high")
                                .arg(row.top())
                                .arg(row.bottom())
                                .arg(h.viewport()->height())));
    }

    void longRowsScrollSideways()
    {
        const QString longText = QStringLiteral("Очень длинная задача, которую нужно прочитать до конца ").repeated(3)
            + QStringLiteral("КОНЕЦ");
        MainHarness h;
        h.show();
        TaskNode *parent = h.root();
        for (int level = 0; level < 6; ++level)
            parent = h.task(parent, QStringLiteral("Уровень %1").arg(level + 1));
        TaskNode *nearTop = h.task(parent, longText);
        for (int i = 0; i < 200; ++i)
            h.task(h.root(), QStringLiteral("Задача %1").arg(i));
        TaskNode *farDown = h.task(h.task(h.root(), QStringLiteral("Внизу")), longText + QStringLiteral(" ЕЩЁ"));
        h.window->resize(360, 300);
        QScrollBar *bar = h.tv()->horizontalScrollBar();

        // Each row is read to its end once it is on screen, the far one only after scrolling to it.
        for (TaskNode *task : {nearTop, farDown}) {
            h.select(task);
            bar->setValue(0);
            (void)h.viewport()->grab(); // the rows on screen are painted
            const QRect row = h.tv()->visualRect(h.indexOf(task));
            const int end = row.left() + h.tv()->style()->pixelMetric(QStyle::PM_SmallIconSize) + 6
                + h.tv()->fontMetrics().horizontalAdvance(task->text());
            QTRY_VERIFY2(end <= h.viewport()->width() + bar->maximum(),
                         qPrintable(QStringLiteral("text ends at %1, the view reaches %2")
                                        .arg(end)
                                        .arg(h.viewport()->width() + bar->maximum())));
            // Scrolled to the right end, the row's last letters are drawn inside the view.
            bar->setValue(bar->maximum());
            const QImage image = h.viewport()->grab().toImage();
            const QRect shown = h.tv()->visualRect(h.indexOf(task));
            const QColor base = h.tv()->palette().color(QPalette::Base);
            const QColor highlight = h.tv()->palette().color(QPalette::Highlight);
            int rightmostInk = -1; // of the letters, drawn over the selection
            for (int y = shown.top(); y <= shown.bottom(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (QColor(image.pixel(x, y)) != base && QColor(image.pixel(x, y)) != highlight)
                        rightmostInk = qMax(rightmostInk, x);
            QVERIFY(rightmostInk > image.width() / 2 && rightmostInk < image.width() - 2);
        }
        // A row measured once and renamed longer is measured again.
        const int reach = h.viewport()->width() + bar->maximum();
        h.tree().setText(farDown, farDown->text() + QStringLiteral(" И ЕЩЁ НЕМНОГО"));
        (void)h.viewport()->grab();
        QTRY_VERIFY(h.viewport()->width() + bar->maximum() > reach);
    }

    void linesAndBoxesAreCrispOnEveryStyle_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString &style : QStyleFactory::keys())
            QTest::newRow(qPrintable(style)) << style;
    }

    void linesAndBoxesAreCrispOnEveryStyle()
    {
        QFETCH(QString, style);
        ThemeScope theme;
        QApplication::setStyle(QStyleFactory::create(style));
        MainHarness h(sampleTasks()); // alpha (closed, one sub-task), beta, gamma
        h.show();
        h.select(h.root());
        const QImage image = h.viewport()->grab().toImage();
        const QColor base = h.tv()->palette().color(QPalette::Base);
        const QColor text = h.tv()->palette().color(QPalette::Text);
        const int indent = h.tv()->indentation();
        // Pixels of the branch cell of a row, relative to the cell's centre.
        const auto at = [&](TaskNode *node, int dx, int dy) {
            const QRect row = h.tv()->visualRect(h.indexOf(node));
            return QColor(image.pixel(row.left() - indent + indent / 2 + dx, row.top() + row.height() / 2 + dy));
        };
        TaskNode *alpha = h.root()->child(0), *beta = h.root()->child(1), *gamma = h.root()->child(2);
        QCOMPARE(at(h.root(), 0, 0), text); // the open top node: a minus
        QCOMPARE(at(h.root(), 0, -2), base);
        QCOMPARE(at(alpha, 0, 0), text); // a closed task: a plus
        QCOMPARE(at(alpha, 0, -2), text);
        QCOMPARE(at(alpha, -4, -4), at(alpha, 4, 4)); // the box's corners
        QVERIFY(at(alpha, -4, -4) != base);
        const QRect betaRow = h.tv()->visualRect(h.indexOf(beta));
        QVERIFY(at(beta, 0, -betaRow.height() / 2) != base);    // a line up to alpha
        QVERIFY(at(beta, 0, betaRow.height() / 2 - 1) != base); // and on down to gamma
        QVERIFY(at(beta, 4, 0) != base);                        // across to beta itself
        QCOMPARE(at(gamma, 0, betaRow.height() / 2 - 1), base); // the last one ends there
        // Whole pixels: nothing but the window, the lines and the signs, no blended edges.
        QSet<QRgb> colors;
        for (TaskNode *node : {h.root(), alpha, beta, gamma}) {
            const QRect row = h.tv()->visualRect(h.indexOf(node));
            for (int y = row.top(); y <= row.bottom(); ++y)
                for (int x = row.left() - indent; x < row.left(); ++x)
                    colors.insert(image.pixel(x, y));
        }
        QCOMPARE(colors.size(), 3);
    }
};

LISTRA_TEST_MAIN(TreeLookTest)
#include "tst_treelook.moc"
