#pragma once

#include "settings/AppSettings.h"
#include "tests/support/Fakes.h"
#include "tests/main/OffscreenLimits.h"
#include "tests/support/TestMain.h"
#include "ui/main/TaskTreeView.h"
#include "ui/main/frmMain.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

// One main window over scripted services and a task file of its own.
struct MainHarness {
    FakeServices fakes;
    Services services = fakes.services();
    AppSettings settings;
    QTemporaryDir dir;
    QString taskFile;
    std::unique_ptr<frmMain> window;

    explicit MainHarness(const QByteArray &fileContent = {}, frmMain::Options options = {})
    {
        taskFile = options.taskFilePath.isEmpty() ? dir.filePath(QStringLiteral("Tasks.XML")) : options.taskFilePath;
        if (!fileContent.isEmpty()) {
            QFile f(taskFile);
            if (f.open(QIODevice::WriteOnly))
                f.write(fileContent);
        }
        options.taskFilePath = taskFile;
        window = std::make_unique<frmMain>(services, settings, options);
    }

    frmMain &w() { return *window; }
    TaskNode *task(int row) { return window->tree().root()->child(row); }

    QByteArray fileContent() const
    {
        QFile f(taskFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Loads the window and waits until it is shown and has the keyboard.
    void loadShown()
    {
        window->Load();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        window->tvTasks()->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
};

// The store the program's settings live in, for arranging and checking stored values.
inline std::unique_ptr<QSettings> programSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Graywick"),
                                       QStringLiteral("Listra"));
}

inline QByteArray sampleTasks()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<Tasks>"
        "<Task Name=\"alpha\" State=\"Progress\" Expanded=\"False\">"
        "<Task Name=\"alpha child\" State=\"Done\" Expanded=\"False\"/>"
        "</Task>"
        "<Task Name=\"beta\" State=\"Progress\" Expanded=\"True\" Selected=\"True\">"
        "<RelatedDocuments><Document FileName=\"/tmp/beta-notes.txt\"/>"
        "<Document FileName=\"https://example.org/beta\"/></RelatedDocuments>"
        "</Task>"
        "<Task Name=\"gamma\" State=\"Rejected\" Expanded=\"True\"/>"
        "</Tasks>");
}
