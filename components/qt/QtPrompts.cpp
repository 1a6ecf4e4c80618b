// SPDX-License-Identifier: MIT
#include "components/qt/QtPrompts.h"

#include "ListraVersion.h"
#include "components/AppIdentity.h"
#include "components/ResourceIcon.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QList<QMessageBox::StandardButton> buttonsOf(MsgStyle style)
{
    switch (style) {
    case MsgStyle::YesNoCancelQuestion:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MsgStyle::YesNoCritical:
    case MsgStyle::YesNoQuestion:
        return {QMessageBox::Yes, QMessageBox::No};
    case MsgStyle::OkCritical:
    case MsgStyle::OkExclamation:
    case MsgStyle::OkInformation:
        break;
    }
    return {QMessageBox::Ok};
}

QMessageBox::Icon iconOf(MsgStyle style)
{
    switch (style) {
    case MsgStyle::OkCritical:
    case MsgStyle::YesNoCritical:
        return QMessageBox::Critical;
    case MsgStyle::YesNoCancelQuestion:
    case MsgStyle::YesNoQuestion:
        return QMessageBox::Question;
    case MsgStyle::OkExclamation:
        return QMessageBox::Warning;
    case MsgStyle::OkInformation:
        break;
    }
    return QMessageBox::Information;
}

MsgAnswer answerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

// Screen readers read the accessible name; the mnemonic marker is not part of it.
void nameButtons(const QList<QAbstractButton *> &buttons)
{
    for (QAbstractButton *b : buttons) {
        if (b->accessibleName().isEmpty()) {
            QString name = b->text();
            name.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            name.remove(QLatin1Char('&'));
            name.replace(QLatin1Char('\x01'), QLatin1Char('&'));
            b->setAccessibleName(name);
        }
    }
}

QString titleOr(const QString &title)
{
    return title.isEmpty() ? AppIdentity::kAppTitle : title;
}

} // namespace

QString QtPrompts::displayText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

void QtPrompts::prepare(QMessageBox &box, MsgStyle style, const QString &title)
{
    box.setWindowTitle(titleOr(title));
    box.setIcon(iconOf(style));
    // Paths and addresses may look like markup; they are shown as typed.
    box.setTextFormat(Qt::PlainText);
    const QList<QMessageBox::StandardButton> buttons = buttonsOf(style);
    QMessageBox::StandardButtons set;
    for (QMessageBox::StandardButton b : buttons)
        set |= b;
    box.setStandardButtons(set);
    box.setDefaultButton(buttons.first());
    // Escape answers like the system's box: Cancel where there is one, No for Yes/No.
    if (set.testFlag(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    else if (set.testFlag(QMessageBox::No))
        box.setEscapeButton(QMessageBox::No);
    else if (buttons.size() == 1)
        box.setEscapeButton(buttons.first());
}

MsgAnswer QtPrompts::run(QMessageBox &box, MsgStyle style)
{
    nameButtons(box.buttons());
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (!clicked) // closed without an answer: the box's escape answer
        clicked = box.escapeButton();
    if (!clicked)
        return answerOf(buttonsOf(style).first());
    return answerOf(box.standardButton(clicked));
}

MsgAnswer QtPrompts::messageBox(QWidget *parent, const QString &text, MsgStyle style, const QString &title)
{
    QMessageBox box(parent);
    prepare(box, style, title);
    box.setText(displayText(text));
    return run(box, style);
}

MsgAnswer QtPrompts::showError(QWidget *parent, const QString &errorDetails, MsgStyle style, const QString &prompt)
{
    QMessageBox box(parent);
    prepare(box, style, {});
    box.setText(displayText(prompt));
    if (!errorDetails.isEmpty())
        box.setInformativeText(displayText(errorDetails));
    return run(box, style);
}

QString QtPrompts::inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(titleOr(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(displayText(prompt));
    dialog.setTextValue(defaultText);
    // The dialog builds its label and buttons when first measured.
    (void)dialog.sizeHint();
    // A long prompt wraps instead of stretching the dialog off the screen.
    if (QLabel *label = dialog.findChild<QLabel *>()) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(360);
    }
    if (QDialogButtonBox *buttons = dialog.findChild<QDialogButtonBox *>())
        nameButtons(buttons->buttons());
    // The field would be named by the whole prompt, which may run to paragraphs: it is named by
    // the prompt's first line, and the whole prompt is its description.
    if (QLineEdit *field = dialog.findChild<QLineEdit *>()) {
        const QString shown = displayText(prompt);
        field->setAccessibleName(shown.section(QLatin1Char('\n'), 0, 0).trimmed());
        field->setAccessibleDescription(shown);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

void QtPrompts::showAboutBox(QWidget *parent)
{
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("О программе"));
    const QIcon icon = resourceIcon(QStringLiteral("A_MAIN"));
    if (!icon.isNull())
        box.setIconPixmap(icon.pixmap(64, 64));
    box.setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("Listra %1").arg(QStringLiteral(LISTRA_VERSION)));
    box.setInformativeText(AppIdentity::kAppTitle + QStringLiteral("\n\nСписок задач на каждый день.\n\n")
                           + QStringLiteral("Посвящается Вере."));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    nameButtons(box.buttons());
    box.exec();
}
