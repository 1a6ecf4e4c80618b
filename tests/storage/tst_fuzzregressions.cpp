// Task files the fuzzer turned up, read the way the program reads them: from a file on disk,
// saved and read again. The whole fuzz corpus is replayed here too, so the round-trip property
// is guarded by the ordinary test run, not only by the fuzzer.

#include "tests/support/TestMain.h"

#include "fuzz/RoundTrip.h"
#include "model/TaskTree.h"
#include "storage/TaskFile.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace {

const QChar kFeff(0xFEFF);

} // namespace

class FuzzRegressionsTest : public TestCase
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Writes bytes as a task file, loads it, saves the loaded tree over it and loads that.
    // The first tree stays in first, the reloaded one in second.
    void loadSaveLoad(const QString &name, const QByteArray &bytes, TaskTree &first, TaskTree &second)
    {
        const QString file = m_dir.filePath(name);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        }
        const LoadResult loaded = loadTaskFile(file, first, {});
        QVERIFY2(loaded.status == LoadResult::Status::Loaded, qPrintable(loaded.error));
        const SaveResult saved = saveTaskFile(file, first);
        QVERIFY2(saved.ok, qPrintable(saved.error));
        const LoadResult reloaded = loadTaskFile(file, second, {});
        QVERIFY2(reloaded.status == LoadResult::Status::Loaded, qPrintable(reloaded.error));
        QString problem;
        const auto before = RoundTrip::snapshot(first, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const auto after = RoundTrip::snapshot(second, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const QString difference = RoundTrip::difference(before, after);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

private Q_SLOTS:
    void rawControlBytesAreLeftOutOnReading()
    {
        // Control bytes typed straight into the file, which the parser lets through and a
        // save cannot write: they are gone as soon as the file is read, not only after a save.
        const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<Tasks>\n"
                                 "  <Task Name=\"bre\003ak\001\" State=\"Done\" Expanded=\"False\">\n"
                                 "    <RelatedDocuments>\n"
                                 "      <Document FileName=\"/tmp/\002file\037.txt\" />\n"
                                 "      <Document FileName=\"\x04\x05\" />\n"
                                 "    </RelatedDocuments>\n"
                                 "  </Task>\n"
                                 "  <Task Name=\"\x0B \x06\" State=\"Progress\" />\n"
                                 "  <Task Name=\"\x0C  padded \x07\" State=\"Progress\" />\n"
                                 "  <Task Name=\"nonchar \xEF\xBF\xBE\xEF\xBF\xBF end\" State=\"Progress\" />\n"
                                 "</Tasks>\n";
        TaskTree first, second;
        loadSaveLoad(QStringLiteral("controls.xml"), bytes, first, second);
        if (QTest::currentTestFailed())
            return;
        const TaskNode *root = first.root();
        QCOMPARE(root->childCount(), 4);
        QCOMPARE(root->child(0)->text(), QStringLiteral("break"));
        QCOMPARE(root->child(0)->info()->RelatedDocuments(), QStringList {QStringLiteral("/tmp/file.txt")});
        // Nothing but controls and blanks: untitled, like a blank name.
        QCOMPARE(root->child(1)->text(), TaskTree::kUntitled);
        // Trimmed after the controls are gone, so the next read finds no blanks to trim.
        QCOMPARE(root->child(2)->text(), QStringLiteral("padded"));
        QCOMPARE(root->child(3)->text(), QStringLiteral("nonchar  end"));
    }

    void leadingZeroWidthNoBreakSpaceSurvives()
    {
        // U+FEFF at the start of an attribute is text, not a byte order mark.
        const QByteArray bytes
            = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<Tasks>\n"
              "  <Task Name=\" \357\273\277after blank\" State=\"Done\">\n"
              "    <RelatedDocuments><Document FileName=\"\xEF\xBB\xBF\xEF\xBB\xBF/x\" /></RelatedDocuments>\n"
              "  </Task>\n"
              "  <Task Name=\"\357\273\277first\" State=\"Progress\" />\n"
              "  <Task Name=\"mid\357\273\277dle\" State=\"Progress\" />\n"
              "</Tasks>\n";
        // The file itself starts with a real byte order mark, which is not text.
        TaskTree first, second;
        loadSaveLoad(QStringLiteral("feff.xml"), "\xEF\xBB\xBF" + bytes, first, second);
        if (QTest::currentTestFailed())
            return;
        const TaskNode *root = first.root();
        QCOMPARE(root->childCount(), 3);
        QCOMPARE(root->child(0)->text(), kFeff + QStringLiteral("after blank"));
        QCOMPARE(root->child(0)->info()->RelatedDocuments(), QStringList {QString(2, kFeff) + QStringLiteral("/x")});
        QCOMPARE(root->child(1)->text(), kFeff + QStringLiteral("first"));
        QCOMPARE(root->child(2)->text(), QStringLiteral("mid") + kFeff + QStringLiteral("dle"));
        QCOMPARE(second.root()->child(1)->text(), kFeff + QStringLiteral("first"));

        // Typed in the program, such a text comes back from a save too.
        TaskTree typed;
        typed.addChild(typed.root(), kFeff + QStringLiteral("typed"));
        const QString file = m_dir.filePath(QStringLiteral("typed.xml"));
        QVERIFY(saveTaskFile(file, typed).ok);
        TaskTree back;
        QCOMPARE(loadTaskFile(file, back, {}).status, LoadResult::Status::Loaded);
        QCOMPARE(back.root()->child(0)->text(), kFeff + QStringLiteral("typed"));
    }

    void declaredLegacyEncodingsAreDecodedOnce()
    {
        // The parser knows Latin-1 itself; after our own recoding it must not decode again.
        const QString cafe = QStringLiteral("café naïve");
        for (const char *label : {"ISO-8859-1", "latin1", "windows-1252"}) {
            const QString text
                = QStringLiteral("<?xml version='1.0' encoding='%1'?>\n<Tasks><Task Name=\"%2\" /></Tasks>\n")
                      .arg(QString::fromLatin1(label), cafe);
            QStringEncoder encoder(label);
            QVERIFY2(encoder.isValid(), label);
            const QByteArray bytes = encoder.encode(text);
            QVERIFY2(!encoder.hasError(), label);
            TaskTree first, second;
            loadSaveLoad(QStringLiteral("legacy.xml"), bytes, first, second);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(first.root()->child(0)->text(), cafe);
        }

        QStringEncoder cyrillic("windows-1251");
        QVERIFY(cyrillic.isValid());
        const QByteArray bytes = cyrillic.encode(QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<Tasks><Task Name=\"Старая кодировка\" /></Tasks>\n"));
        TaskTree first, second;
        loadSaveLoad(QStringLiteral("cp1251.xml"), bytes, first, second);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(first.root()->child(0)->text(), QStringLiteral("Старая кодировка"));
    }

    void fuzzCorpusRoundTrips()
    {
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus not found beside the tests");
        const QStringList files = QDir(corpus).entryList(QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 12);
        int loadedCount = 0;
        for (const QString &name : files) {
            QFile f(QDir(corpus).filePath(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            const QByteArray bytes = f.readAll();
            for (const bool useBackColor : {false, true}) {
                bool loaded = false;
                const QString problem = RoundTrip::check(bytes, useBackColor, &loaded);
                QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
                loadedCount += loaded && useBackColor;
            }
        }
        // The corpus is mostly files the reader takes; a change that refuses them all is a fault.
        QVERIFY2(loadedCount >= files.size() - 3, qPrintable(QString::number(loadedCount)));
    }
};

LISTRA_TEST_MAIN(FuzzRegressionsTest)
#include "tst_fuzzregressions.moc"
