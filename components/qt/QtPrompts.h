// SPDX-License-Identifier: MIT
#pragma once

#include "components/Prompts.h"

class QMessageBox;

// Message boxes, the input box, error reports and the about box as Qt dialogs.
class QtPrompts : public Prompts
{
public:
    MsgAnswer messageBox(QWidget *parent, const QString &text, MsgStyle style, const QString &title = {}) override;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText) override;
    MsgAnswer showError(QWidget *parent, const QString &errorDetails, MsgStyle style, const QString &prompt) override;
    void showAboutBox(QWidget *parent) override;

    // The program's texts break lines with CR LF; Qt wants plain LF.
    static QString displayText(const QString &text);

private:
    static MsgAnswer run(QMessageBox &box, MsgStyle style);
    static void prepare(QMessageBox &box, MsgStyle style, const QString &title);
};
