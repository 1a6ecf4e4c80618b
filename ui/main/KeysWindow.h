// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QTreeWidget;

// F1: every key of the main window and what it does, read from the command table so that it
// cannot fall behind it, then the keys and mouse actions the window handles by rule.
class KeysWindow : public QDialog
{
    Q_OBJECT
public:
    explicit KeysWindow(QWidget *parent);

    QTreeWidget *lvKeys() const { return m_lvKeys; }

private:
    QTreeWidget *m_lvKeys = nullptr;
};
