// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// What a message box shows: a button set plus an icon.
enum class MsgStyle { OkCritical, YesNoCritical, YesNoCancelQuestion, YesNoQuestion, OkExclamation, OkInformation };

// Which button of a message box was chosen.
enum class MsgAnswer { Ok, Cancel, Yes, No };

// Everything modal the program asks or tells: message boxes, the input box, error reports
// and the about box. Real: Qt dialogs; tests: a scripted fake.
class Prompts
{
public:
    virtual ~Prompts() = default;
    // An empty title shows the application title. Yes is the default button of a Yes/No box.
    virtual MsgAnswer messageBox(QWidget *parent, const QString &text, MsgStyle style, const QString &title = {}) = 0;
    // Returns the edited text, or an empty text on Cancel.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText)
        = 0;
    // The prompt together with the details of what went wrong; returns the answer.
    virtual MsgAnswer showError(QWidget *parent, const QString &errorDetails, MsgStyle style, const QString &prompt)
        = 0;
    virtual void showAboutBox(QWidget *parent) = 0;
};
