#pragma once

#include <QString>

class QWidget;

// Message box style values: a button set plus an icon.
namespace MsgStyle {
inline constexpr int OkCritical = 16;
inline constexpr int YesNoCritical = 20;
inline constexpr int YesNoCancelQuestion = 35;
inline constexpr int YesNoQuestion = 36;
inline constexpr int OkExclamation = 48;
inline constexpr int OkInformation = 64;
} // namespace MsgStyle

// Answers of a message box.
namespace MsgAnswer {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgAnswer

// Everything modal the program asks or tells: message boxes, the input box, error reports
// and the about box. Real: Qt dialogs; tests: a scripted fake.
class Prompts
{
public:
    static const QString kAppTitle; // "Velmora - Listra"

    virtual ~Prompts() = default;
    // An empty title shows the application title. Yes is the default button of a Yes/No box.
    virtual int messageBox(QWidget *parent, const QString &text, int style, const QString &title = {}) = 0;
    // Returns the edited text, or an empty text on Cancel.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText)
        = 0;
    // The prompt together with the details of what went wrong; returns the answer.
    virtual int showError(QWidget *parent, const QString &errorDetails, int style, const QString &prompt) = 0;
    virtual void showAboutBox(QWidget *parent) = 0;
};
