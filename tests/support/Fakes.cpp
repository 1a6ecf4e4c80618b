// SPDX-License-Identifier: MIT
#include "tests/support/Fakes.h"

#include <QTest>
#include <QWidget>

using TestSupport::takeFront;

MsgAnswer FakePrompts::nextAnswer(MsgStyle style)
{
    const bool yesNo = style == MsgStyle::YesNoCritical || style == MsgStyle::YesNoQuestion
        || style == MsgStyle::YesNoCancelQuestion;
    return takeFront(answers, yesNo ? MsgAnswer::Yes : MsgAnswer::Ok);
}

MsgAnswer FakePrompts::messageBox(QWidget *, const QString &text, MsgStyle style, const QString &title)
{
    messages.append({text, style, title});
    return nextAnswer(style);
}

QString FakePrompts::styleName(MsgStyle style)
{
    switch (style) {
    case MsgStyle::OkCritical:
        return QStringLiteral("OkCritical");
    case MsgStyle::YesNoCritical:
        return QStringLiteral("YesNoCritical");
    case MsgStyle::YesNoCancelQuestion:
        return QStringLiteral("YesNoCancelQuestion");
    case MsgStyle::YesNoQuestion:
        return QStringLiteral("YesNoQuestion");
    case MsgStyle::OkExclamation:
        return QStringLiteral("OkExclamation");
    case MsgStyle::OkInformation:
        break;
    }
    return QStringLiteral("OkInformation");
}

QString FakePrompts::inputBox(QWidget *, const QString &prompt, const QString &, const QString &defaultText)
{
    inputPrompts.append(prompt);
    inputDefaults.append(defaultText);
    return takeFront(inputAnswers);
}

MsgAnswer FakePrompts::showError(QWidget *, const QString &details, MsgStyle style, const QString &prompt)
{
    messages.append({prompt, style, {}});
    errorDetails.append(details);
    return nextAnswer(style);
}

void FakeOpener::open(const QString &document, QObject *, std::function<void()> onFailure)
{
    opened.append(document);
    if (failing.contains(document))
        onFailure();
}

QStringList FakeChoosers::chooseFiles(QWidget *, const QString &filter, const QString &initialFolder)
{
    fileFilters.append(filter);
    fileInitialFolders.append(initialFolder);
    return takeFront(files);
}

QString FakeChoosers::chooseSaveFile(QWidget *, const QString &caption, const QString &suggestedPath,
                                     const QStringList &filters, int *filter)
{
    saveCaptions << caption;
    saveSuggestions << suggestedPath;
    saveFilters << filters;
    const SaveAnswer answer = takeFront(saveFiles);
    if (answer.filter >= 0)
        *filter = answer.filter;
    return answer.path;
}

std::optional<OleColor> FakeChoosers::chooseColor(QWidget *, OleColor, QString &customColors)
{
    const std::optional<OleColor> c = takeFront(colors);
    if (c)
        customColors = customColorsAfterPick;
    return c;
}

bool FakeEditor::exec()
{
    if (script)
        script(*this);
    return accepted;
}

std::unique_ptr<TaskEditor> FakeEditorFactory::create(QWidget *)
{
    const std::function<void(FakeEditor &)> unexpected
        = [](FakeEditor &) { QFAIL("an editor was opened that the test did not expect"); };
    auto editor = std::make_unique<FakeEditor>();
    editor->script = [this, script = takeFront(scripts, unexpected)](FakeEditor &e) {
        captions.append(e.caption);
        filledTexts.append(e.textValue);
        filledDocuments.append(e.docs);
        script(e);
    };
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

bool FakeStartupRegistration::Register(const QString &name, const QString &commandLine, QString *error)
{
    if (failWrites && error)
        *error = QStringLiteral("cannot write");
    if (!failWrites)
        entries.insert(name, commandLine);
    return !failWrites;
}

bool FakeStartupRegistration::Unregister(const QString &name, QString *error)
{
    const bool fails = failWrites && entries.contains(name);
    if (fails && error)
        *error = QStringLiteral("cannot write");
    if (!fails)
        entries.remove(name);
    return !fails;
}

void FakeWindowEffect::animate(QWidget *window, bool show, int style, int direction, int timeoutMs, const QPixmap &)
{
    requests.append({show, style, direction, timeoutMs});
    if (window)
        window->setVisible(show);
    Q_EMIT finished(show);
}
