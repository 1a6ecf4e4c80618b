#include "tests/operations/MainWindowFixture.h"

#include "ui/main/TaskSearch.h"

namespace {

const QString kNothing = QStringLiteral("Ни чего не найдено.");

const QString kPrompt = QStringLiteral(
    "Введите выражение или часть выражения, которое следует найти.\r\n\r\n"
    "Учтите, что при поиске регистр символов учитываться не будет. Тоесть если вы введёте \"Бака\", будут найдены "
    "\"БАКА\", \"бака\" и даже \"бАкА\".\r\n\r\n"
    "Также обратите внимание, что поиск всегда ведётся со следующего элемента. Тоесть если выделенная задача уже "
    "содержит поисковую фразу, она не будет выделена как найденая. Это удобно для продолжения поиска, если данная "
    "задача была найдена во время предыдущего поиска. Чтобы начать поиск с самого начала просто нажмите Home, а "
    "затем Ctrl+F.");

} // namespace

class TestSearch : public TestCase
{
    Q_OBJECT
private Q_SLOTS:
    void findsCaseInsensitivelyWithoutWrapping()
    {
        MainWindowFixture f;
        TaskNode *caps = f.task(f.root(), QStringLiteral("БАКА"));
        TaskNode *other = f.task(f.root(), QStringLiteral("другое"));
        TaskNode *title = f.task(other, QStringLiteral("Бака"));
        TaskNode *mixed = f.task(f.root(), QStringLiteral("бАкА список"));
        f.select(f.root());

        // F4 with no phrase yet asks, exactly like Ctrl+F.
        f.prompts().inputAnswers = {QStringLiteral("бака")};
        f.key(Qt::Key_F4);
        QCOMPARE(f.prompts().inputPrompts, QStringList{kPrompt});
        QCOMPARE(f.prompts().inputDefaults, QStringList{QString()});
        QCOMPARE(f.tree().selected(), caps);
        QCOMPARE(f.window->search().LastSearchPhrase, QStringLiteral("бака"));

        // F4 again: the next match, no question; the collapsed branch is opened up.
        QVERIFY(!other->isExpanded());
        f.key(Qt::Key_F4);
        QCOMPARE(f.prompts().inputPrompts.size(), 1);
        QCOMPARE(f.tree().selected(), title);
        QVERIFY(other->isExpanded());
        QVERIFY(f.shown(title));
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), mixed);

        // The last match selected: nothing more, and no wrapping round.
        f.key(Qt::Key_F4);
        QCOMPARE(f.prompts().lastText(), kNothing);
        QCOMPARE(f.prompts().messages.last().style, 64);
        QCOMPARE(f.tree().selected(), mixed);

        // Ctrl+F offers the last phrase; Cancel keeps it for F4.
        f.select(f.root());
        f.prompts().inputAnswers = {QString()};
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.prompts().inputDefaults.last(), QStringLiteral("бака"));
        QCOMPARE(f.tree().selected(), f.root());
        QCOMPARE(f.prompts().messages.size(), 1);
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), caps);
    }

    void phraseAndStartingPoint()
    {
        MainWindowFixture f;
        TaskNode *tight = f.task(f.root(), QStringLiteral("xaby"));
        TaskNode *spaced = f.task(f.root(), QStringLiteral("x ab y"));
        f.select(f.root());

        // Blanks round the phrase are part of it.
        f.prompts().inputAnswers = {QStringLiteral(" ab ")};
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.tree().selected(), spaced);
        QCOMPARE(f.window->search().LastSearchPhrase, QStringLiteral(" ab "));

        // The selected task is never its own match.
        f.prompts().inputAnswers = {QStringLiteral("AB")};
        f.select(tight);
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.tree().selected(), spaced);

        // With nothing selected the top node, "Задачи", is looked at first.
        f.tree().setSelected(nullptr);
        f.prompts().inputAnswers = {QStringLiteral("ЗАДАЧ")};
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.tree().selected(), f.root());
        QVERIFY(f.prompts().messages.isEmpty());
    }

    void searchFollowsCreationOrder()
    {
        MainWindowFixture f;
        TaskNode *hitA = f.task(f.root(), QStringLiteral("hit A"));
        TaskNode *plain = f.task(f.root(), QStringLiteral("plain"));
        TaskNode *hitC = f.task(f.root(), QStringLiteral("hit C"));

        // Moved down, A shows before C but now counts as created after it.
        f.select(hitA);
        f.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(MainWindowFixture::childTexts(f.root()),
                 (QStringList{QStringLiteral("plain"), QStringLiteral("hit A"), QStringLiteral("hit C")}));
        f.select(f.root());
        f.prompts().inputAnswers = {QStringLiteral("hit")};
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.tree().selected(), hitC);
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), hitA);

        // Re-parenting by drag and drop keeps the place: C is still found first.
        const QPoint from = f.pointOf(hitC), to = f.pointOf(plain);
        QTest::mousePress(f.viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(f.viewport(), to);
        QTest::mouseRelease(f.viewport(), Qt::LeftButton, Qt::NoModifier, to);
        QCOMPARE(hitC->parent(), plain);
        f.select(f.root());
        f.key(Qt::Key_F4);
        QCOMPARE(f.tree().selected(), hitC);
    }

    void beyondSixteenBitPositions()
    {
        MainWindowFixture f;
        TaskNode *bulk = f.task(f.root(), QStringLiteral("bulk"));
        f.tree().beginBulkLoad();
        for (int i = 0; i < 40000; ++i)
            f.tree().addChild(bulk, QStringLiteral("task %1").arg(i));
        TaskNode *last = f.tree().addChild(bulk, QStringLiteral("Иголка в стоге"));
        f.tree().endBulkLoad();
        f.select(f.root());
        f.prompts().inputAnswers = {QStringLiteral("ИГОЛКА")};
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.tree().selected(), last);
        QVERIFY(f.shown(last));
    }
};

LISTRA_TEST_MAIN(TestSearch)
#include "tst_search.moc"
