#pragma once

#include "components/Prompts.h"

class QMessageBox;

// Message boxes, the input box, error reports and the about box as Qt dialogs.
class QtPrompts : public Prompts
{
public:
    int messageBox(QWidget *parent, const QString &text, int style, const QString &title = {}) override;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title, const QString &defaultText) override;
    int showError(QWidget *parent, const QString &errorDetails, int style, const QString &prompt) override;
    void showAboutBox(QWidget *parent) override;

    // The program's texts break lines with CR LF; Qt wants plain LF.
    static QString displayText(const QString &text);

private:
    static int run(QMessageBox &box, int style);
    static void prepare(QMessageBox &box, int style, const QString &title);
};
