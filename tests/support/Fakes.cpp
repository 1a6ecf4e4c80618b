#include "tests/support/Fakes.h"

#include <QTest>
#include <QWidget>

int FakePrompts::nextAnswer(int style)
{
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    const bool yesNo = style == MsgStyle::YesNoCritical || style == MsgStyle::YesNoQuestion;
    return yesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
}

int FakePrompts::messageBox(QWidget *, const QString &text, int style, const QString &title)
{
    messages.append({text, style, title});
    return nextAnswer(style);
}

QString FakePrompts::inputBox(QWidget *, const QString &prompt, const QString &, const QString &defaultText)
{
    inputPrompts.append(prompt);
    inputDefaults.append(defaultText);
    if (inputAnswers.empty())
        return {};
    const QString a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

int FakePrompts::showError(QWidget *, const QString &details, int style, const QString &prompt)
{
    messages.append({prompt, style, {}});
    errorDetails.append(details);
    return nextAnswer(style);
}

void FakePrompts::showAboutBox(QWidget *)
{
    ++aboutShown;
}

bool FakeOpener::open(const QString &document)
{
    opened.append(document);
    return !failing.contains(document);
}

QStringList FakeChoosers::chooseFiles(QWidget *, const QString &filter, const QString &initialFolder)
{
    fileFilters.append(filter);
    fileInitialFolders.append(initialFolder);
    if (files.empty())
        return {};
    QStringList f = files.front();
    files.pop_front();
    return f;
}

QString FakeChoosers::chooseFolder(QWidget *)
{
    if (folders.empty())
        return {};
    QString f = folders.front();
    folders.pop_front();
    return f;
}

std::optional<OleColor> FakeChoosers::chooseColor(QWidget *, OleColor, QString &customColors)
{
    if (colors.empty())
        return std::nullopt;
    auto c = colors.front();
    colors.pop_front();
    if (c)
        customColors = customColorsAfterPick;
    return c;
}

std::optional<QFont> FakeChoosers::chooseFont(QWidget *, const QFont &)
{
    if (fonts.empty())
        return std::nullopt;
    auto f = fonts.front();
    fonts.pop_front();
    return f;
}

bool FakeEditor::exec()
{
    if (script)
        script(*this);
    return accepted;
}

std::unique_ptr<TaskEditor> FakeEditorFactory::create(QWidget *)
{
    auto editor = std::make_unique<FakeEditor>();
    FakeEditor *raw = editor.get();
    if (scripts.empty()) {
        raw->script = [](FakeEditor &) { QFAIL("an editor was opened that the test did not expect"); };
    } else {
        auto script = scripts.front();
        scripts.pop_front();
        raw->script = [this, script](FakeEditor &e) {
            captions.append(e.caption);
            filledTexts.append(e.textValue);
            filledDocuments.append(e.docs);
            script(e);
        };
    }
    return editor;
}

void FakeEditorFactory::acceptWith(const QString &text, const QStringList &documents)
{
    scripts.push_back([text, documents](FakeEditor &e) {
        e.textValue = text;
        e.docs = documents;
        e.accepted = true;
    });
}

void FakeEditorFactory::cancel()
{
    scripts.push_back([](FakeEditor &e) { e.accepted = false; });
}

bool FakeStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    if (failWrites) {
        if (error)
            *error = QStringLiteral("cannot write");
        return false;
    }
    entries.insert(name, commandLine);
    return true;
}

bool FakeStartupRegistration::Unregister(const QString &name, QString *error)
{
    if (failWrites && entries.contains(name)) {
        if (error)
            *error = QStringLiteral("cannot write");
        return false;
    }
    entries.remove(name);
    return true;
}

void FakeWindowEffect::animate(QWidget *window, bool show, int style, int direction, int timeoutMs, const QPixmap &)
{
    requests.append({show, style, direction, timeoutMs});
    if (window)
        window->setVisible(show);
    Q_EMIT finished(show);
}
