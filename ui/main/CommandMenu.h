// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QPointer>

class QMenu;
class frmMain;

// The menu of every command of the command table, opened from the keyboard at the selected
// task: each entry with its key, the ones that cannot act on the selection greyed out.
class CommandMenu
{
public:
    explicit CommandMenu(frmMain &window);
    ~CommandMenu();

    // Opens the menu and runs the chosen command once it has closed.
    void ShowCommandMenu();
    // A fresh menu with the entries and states of this moment, and where it opens: below the
    // selected task's row.
    QMenu *build();
    QPoint position() const;
    // The menu of the last opening (tests read its entries while it is shown).
    QMenu *menu() const { return m_menu; }

private:
    frmMain &m_window;
    QPointer<QMenu> m_menu; // owned; the window deletes it first if it goes first
};
