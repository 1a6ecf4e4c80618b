#include "components/qt/QtPrompts.h"

#include "ListraVersion.h"
#include "components/AppIdentity.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The button set is the low nibble of the style, the icon the next bits.
enum ButtonSet {
    SetOk = 0,
    SetOkCancel = 1,
    SetAbortRetryIgnore = 2,
    SetYesNoCancel = 3,
    SetYesNo = 4,
    SetRetryCancel = 5
};

QList<QMessageBox::StandardButton> buttonsOf(int style)
{
    switch (style & 0xF) {
    case SetOkCancel:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case SetAbortRetryIgnore:
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case SetYesNoCancel:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case SetYesNo:
        return {QMessageBox::Yes, QMessageBox::No};
    case SetRetryCancel:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok};
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0x70) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int answerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Abort:
        return 3;
    case QMessageBox::Retry:
        return 4;
    case QMessageBox::Ignore:
        return 5;
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
    return title.isEmpty() ? Prompts::kAppTitle : title;
}

} // namespace

QString QtPrompts::displayText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

void QtPrompts::prepare(QMessageBox &box, int style, const QString &title)
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

int QtPrompts::run(QMessageBox &box, int style)
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

int QtPrompts::messageBox(QWidget *parent, const QString &text, int style, const QString &title)
{
    QMessageBox box(parent);
    prepare(box, style, title);
    box.setText(displayText(text));
    return run(box, style);
}

int QtPrompts::showError(QWidget *parent, const QString &errorDetails, int style, const QString &prompt)
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
    const QIcon icon(QStringLiteral(":/res/A_MAIN.svg"));
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
