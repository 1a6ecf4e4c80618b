// SPDX-License-Identifier: MIT
#include "tests/support/TestMain.h"

#include "ListraVersion.h"
#include "components/AppIdentity.h"
#include "components/platform/TaskFileGuard.h"
#include "components/qt/InstanceGuard.h"
#include "components/qt/SettingsStore.h"

#include <QDirIterator>
#include <QProcess>
#include <QStringDecoder>

// The built program run as a user runs it from a terminal, with no display at all.
class CommandLineTest : public TestCase
{
    Q_OBJECT

    QString taskFile, brokenFile;
    InstanceGuard instance;
    TaskFileGuard fileGuard;

    struct Result {
        int code = -1;
        QString out, err;
    };

    static Result listra(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LISTRA_BINARY), arguments);
        if (!process.waitForFinished(30000))
            return {};
        // A byte-order mark stays in the text.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                utf8.decode(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    // Every file below the test's home with its size and time: what a run might have left.
    static QStringList everything()
    {
        QStringList files;
        QDirIterator it(TestSupport::homeDir(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            files << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size()) + QLatin1Char(' ')
                    + it.fileInfo().lastModified().toString(Qt::ISODateWithMs);
        }
        files.sort();
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own file, held by a running program: its instance lock and its claim.
        const QString folder = TestSupport::homeDir() + QStringLiteral("/data/Graywick/Listra");
        QVERIFY(QDir().mkpath(folder));
        taskFile = folder + QStringLiteral("/Tasks.XML");
        QVERIFY(writeFile(taskFile, R"(<?xml version="1.0" encoding="UTF-8"?>
<Tasks>
  <Task Name="Работа" State="Progress">
    <Task Name="Отчёт 1/2, &quot;черновик&quot;" State="Done">
      <Task Name="Таблица" State="Rejected"/>
      <RelatedDocuments>
        <Document FileName="/home/user/Отчёт.odt"/>
      </RelatedDocuments>
    </Task>
    <Task Name="Звонок" State="Progress"/>
  </Task>
  <Task Name="Дом" State="Done"/>
</Tasks>
)"));
        brokenFile = TestSupport::homeDir() + QStringLiteral("/broken.XML");
        QVERIFY(writeFile(brokenFile, "<Tasks><Task Name=\"a\""));
        QVERIFY(instance.IsFirstInstance(AppIdentity::kGuid));
        QCOMPARE(fileGuard.claim(taskFile, QStringLiteral("/nowhere")), TaskFileGuard::Claim::Taken);
        SettingsStore().WriteValue(QStringLiteral("Colors"), QStringLiteral("Done Tasks Color"),
                                   SettingValueType::Integer, 0xFF0000);
    }

    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("out"); // lines of the output, in order
        QTest::addColumn<QString>("err");     // the whole error output, or its start when it ends in "…"
        const QString csvHead = QStringLiteral("\uFEFFПуть,Статус,Текст,Документы");
        QTest::newRow("version") << QStringList {QStringLiteral("--version")} << 0
                                 << QStringList {QStringLiteral("listra " LISTRA_VERSION)} << QString();
        QTest::newRow("markdown to stdout, the user's own file")
            << QStringList {QStringLiteral("--export"), QStringLiteral("md")} << 0
            << QStringList {QStringLiteral("# Задачи"),
                            QString(),
                            QStringLiteral("- [ ] Работа"),
                            QStringLiteral("  - [x] Отчёт 1/2, \"черновик\"\\"),
                            QStringLiteral("    [/home/user/Отчёт.odt](<file:///home/user/Отчёт.odt>)"),
                            QStringLiteral("    - [~] Таблица"),
                            QStringLiteral("  - [ ] Звонок"),
                            QStringLiteral("- [x] Дом")}
            << QString();
        QTest::newRow("a sub-tree by its path")
            << QStringList {QStringLiteral("--export=csv"),
                            QStringLiteral("--subtree"),
                            QStringLiteral("Работа/Отчёт 1\\/2, \"черновик\""),
                            QStringLiteral("--file"),
                            taskFile,
                            QStringLiteral("--output"),
                            QStringLiteral("-")}
            << 0
            << QStringList {csvHead + u'\r',
                            QStringLiteral("\"Работа/Отчёт 1\\/2, \"\"черновик\"\"\",Выполнено,\"Отчёт 1/2, "
                                           "\"\"черновик\"\"\",\"/home/user/Отчёт.odt\"\r"),
                            QStringLiteral("\"Работа/Отчёт 1\\/2, \"\"черновик\"\"/Таблица\",Отклонено,\"Таблица\",\r")}
            << QString();
        QTest::newRow("no such task") << QStringList {QStringLiteral("--export"), QStringLiteral("html"),
                                                      QStringLiteral("--subtree"), QStringLiteral("Работа/Отчёт")}
                                      << 1 << QStringList() << QStringLiteral("listra: нет задачи «Работа/Отчёт»\n");
        QTest::newRow("a broken file") << QStringList {QStringLiteral("--export"), QStringLiteral("md"),
                                                       QStringLiteral("--file"), brokenFile}
                                       << 1 << QStringList()
                                       << QStringLiteral("listra: файл с задачами не читается: ") + brokenFile
                + QStringLiteral(": …");
        QTest::newRow("an unknown option") << QStringList {QStringLiteral("--frobnicate")} << 2 << QStringList()
                                           << QStringLiteral("listra: неизвестный параметр «--frobnicate» (справка: "
                                                             "listra --help)\n");
        QTest::newRow("an unknown format") << QStringList {QStringLiteral("--export"), QStringLiteral("pdf")} << 2
                                           << QStringList() << QStringLiteral("listra: неизвестный формат «pdf»…");
        QTest::newRow("an export option alone")
            << QStringList {QStringLiteral("--output"), QStringLiteral("x.md")} << 2 << QStringList()
            << QStringLiteral("listra: --output действует только вместе с --export…");
    }
    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        const QStringList before = everything();
        const Result r = listra(arguments);
        QCOMPARE(r.code, code);
        if (!out.isEmpty())
            QCOMPARE(r.out.split(u'\n').mid(0, out.size()), out);
        else
            QCOMPARE(r.out, QString());
        if (err.endsWith(QChar(0x2026))) {
            QVERIFY2(r.err.startsWith(err.chopped(1)), qPrintable(r.err));
            QCOMPARE(r.err.count(u'\n'), 1);
        } else {
            QCOMPARE(r.err, err);
        }
        // Nothing written beside the file or anywhere else: no lock, no journal, no settings.
        QCOMPARE(everything(), before);
    }

    void outputFileAndHelp()
    {
        const QString target = TestSupport::homeDir() + QStringLiteral("/out.html");
        Result r = listra({QStringLiteral("--export"), QStringLiteral("html"), QStringLiteral("--output"), target});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString());
        const QByteArray page = readFile(target);
        QVERIFY(page.contains("Таблица"));
        // In the user's colours: done tasks in blue here.
        QVERIFY2(page.contains(".done{color:#0000ff;}"), page.constData());
        // Never over the task file itself.
        r = listra({QStringLiteral("--export"), QStringLiteral("csv"), QStringLiteral("--output"), taskFile});
        QCOMPARE(r.code, 1);
        QVERIFY(QFile(taskFile).size() > 0 && !r.err.isEmpty());

        r = listra({QStringLiteral("--help")});
        QCOMPARE(r.code, 0);
        for (const char *mention : {"--export", "--subtree", "--output", "--file", "/Autorun", "--version", "\\/"})
            QVERIFY2(r.out.contains(QString::fromUtf8(mention)), mention);
    }
};

LISTRA_TEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
