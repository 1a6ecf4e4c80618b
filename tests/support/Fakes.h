// SPDX-License-Identifier: MIT
#pragma once

#include "components/Choosers.h"
#include "components/DocumentOpener.h"
#include "components/DocumentPrinter.h"
#include "components/Prompts.h"
#include "components/Services.h"
#include "components/StartupRegistration.h"
#include "components/TaskEditor.h"
#include "components/TrayIcon.h"
#include "components/WindowEffect.h"
#include "components/qt/SettingsStore.h"

#include <QMap>
#include <QSet>
#include <deque>
#include <functional>

namespace TestSupport {
// The next scripted answer, or the fallback once the script has run out.
template<typename T>
T takeFront(std::deque<T> &queue, T fallback = {})
{
    if (queue.empty())
        return fallback;
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
}
} // namespace TestSupport

// Scripted stand-ins for the modal and platform pieces. Each records what it was asked and
// answers from a queue the test fills; an unscripted question fails the test loudly.

class FakePrompts : public Prompts
{
public:
    struct Message {
        QString text;
        MsgStyle style = MsgStyle::OkInformation;
        QString title;
    };
    QList<Message> messages;          // every message box and error report, in order
    std::deque<MsgAnswer> answers;    // answers to the message boxes (default: Ok / Yes)
    QStringList inputPrompts;         // prompts of the input boxes
    QStringList inputDefaults;        // their pre-filled texts
    std::deque<QString> inputAnswers; // empty text = Cancel
    int aboutShown = 0;
    QStringList errorDetails;

    MsgAnswer messageBox(QWidget *parent, const QString &text, MsgStyle style, const QString &title = {}) override;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText) override;
    MsgAnswer showError(QWidget *parent, const QString &errorDetails, MsgStyle style, const QString &prompt) override;
    void showAboutBox(QWidget *) override { ++aboutShown; }

    // A style by its name, for readable expectations.
    static QString styleName(MsgStyle style);

    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }

private:
    MsgAnswer nextAnswer(MsgStyle style);
};

class FakeOpener : public DocumentOpener
{
public:
    QSet<QString> failing; // documents that cannot be opened
    QStringList opened;    // every document asked for, in order
    void open(const QString &document, QObject *context, std::function<void()> onFailure) override;
};

class FakeChoosers : public Choosers
{
public:
    std::deque<QStringList> files; // empty list = Cancel
    QStringList fileFilters, fileInitialFolders;
    std::deque<QString> folders; // empty = Cancel
    std::deque<std::optional<OleColor>> colors;
    QString customColorsAfterPick = QStringLiteral("fake-custom");
    std::deque<std::optional<QFont>> fonts;
    QList<QFont> fontInitials; // the font each font dialog opened on

    QStringList chooseFiles(QWidget *parent, const QString &filter, const QString &initialFolder) override;
    QString chooseFolder(QWidget *) override { return TestSupport::takeFront(folders); }
    std::optional<OleColor> chooseColor(QWidget *parent, OleColor initial, QString &customColors) override;
    std::optional<QFont> chooseFont(QWidget *, const QFont &initial) override
    {
        fontInitials << initial;
        return TestSupport::takeFront(fonts);
    }
    struct SaveAnswer {
        QString path;    // empty = Cancel
        int filter = -1; // the file type chosen; -1: the one offered
    };
    std::deque<SaveAnswer> saveFiles;
    QStringList saveCaptions, saveSuggestions; // what each save dialog said and offered
    QList<QStringList> saveFilters;
    QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &suggestedPath,
                           const QStringList &filters, int *filter) override;
};

// The editor as the main window sees it; the test scripts what the "user" does in it.
class FakeEditor : public TaskEditor
{
public:
    QString caption, textValue;
    QStringList docs;
    bool accepted = false;
    void setCaption(const QString &c) override { caption = c; }
    void setText(const QString &t) override { textValue = t; }
    void setDocuments(const QStringList &d) override { docs = d; }
    bool exec() override;
    bool Accepted() const override { return accepted; }
    QString text() const override { return textValue; }
    QStringList documents() const override { return docs; }
    std::function<void(FakeEditor &)> script;
};

class FakeEditorFactory : public TaskEditorFactory
{
public:
    // One script per editor opened, in order; each edits the filled editor and sets accepted.
    std::deque<std::function<void(FakeEditor &)>> scripts;
    QStringList captions;    // caption of every editor shown
    QStringList filledTexts; // text it was filled with
    QList<QStringList> filledDocuments;
    std::unique_ptr<TaskEditor> create(QWidget *parent) override;

    // Convenience: accept with this text and these documents.
    void acceptWith(const QString &text, const QStringList &documents = {});
    void cancel()
    {
        scripts.push_back([](FakeEditor &e) { e.accepted = false; });
    }
};

class FakeStartupRegistration : public StartupRegistration
{
public:
    QMap<QString, QString> entries;
    bool failWrites = false;
    bool IsRegistered(const QString &name) override { return entries.contains(name); }
    bool Register(const QString &name, const QString &commandLine, QString *error) override;
    bool Unregister(const QString &name, QString *error) override;
};

class FakeTrayIcon : public TrayIcon
{
public:
    QString toolTip;
    bool inTrayValue = false;
    bool available = true;
    void setToolTip(const QString &text) override { toolTip = text; }
    void setIconPicture(const QIcon &) override { }
    void setInTray(bool v) override { inTrayValue = v; }
    bool inTray() const override { return inTrayValue; }
    bool isTrayAvailable() const override { return available; }
    QStringList messages;
    void showMessage(const QString &, const QString &text) override { messages.append(text); }
    void click() { Q_EMIT activated(); }
    void chooseNewTask() { Q_EMIT newTaskRequested(); }
};

// Remembers each page it was asked to print.
class FakePrinter : public DocumentPrinter
{
public:
    QStringList captions, pages;
    bool print = true; // the user prints from the preview
    bool printPreview(QWidget *, const QString &caption, const QString &html) override
    {
        captions << caption;
        pages << html;
        return print;
    }
};

// Shows and hides at once, remembering what it was asked.
class FakeWindowEffect : public WindowEffect
{
public:
    struct Request {
        bool show;
        int style, direction, timeout;
    };
    QList<Request> requests;
    void animate(QWidget *window, bool show, int style, int direction, int timeoutMs, const QPixmap &snapshot) override;
    void finish() override { }
    bool isRunning() const override { return false; }
};

// All fakes together, ready to hand to a window.
struct FakeServices {
    FakePrompts prompts;
    FakeOpener opener;
    FakeChoosers choosers;
    FakeEditorFactory editors;
    FakeStartupRegistration startup;
    FakeTrayIcon tray;
    FakeWindowEffect effect;
    SettingsStore settings;
    FakePrinter printer;
    Services services()
    {
        return {&prompts, &opener, &choosers, &editors, &startup, &tray, &effect, &settings, &printer};
    }
};
