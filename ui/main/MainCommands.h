// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <Qt>

class frmMain;

// Where a command's keys act: anywhere in the window, or only while the tree has the keys.
enum class KeyScope { Window, Tree };

// A key that runs a command: this key with exactly these of Shift, Ctrl and Alt.
struct KeyBinding {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    KeyScope scope = KeyScope::Window; // Tree: this key only, where the command's other keys act everywhere

    // As a tooltip shows it: "Ctrl+Ins".
    QString text() const;
};

// The command menu's sections, in their order there.
enum class MenuGroup { Tasks, Status, History, Search, File, Program };

// One command of the main window. The toolbar, the status drop-down, the key preview and
// ExecuteCommand, the command menu and the keys window all read these rows: a new command is a
// new row.
struct MainCommand {
    const char *key = nullptr; // what ExecuteCommand takes ("AddItem"); compared exactly
    QList<KeyBinding> keys;    // the first one is the one a tooltip names
    KeyScope scope = KeyScope::Window;
    const char *picture = nullptr;  // toolbar picture in resources/; none: no button
    const char *tip = nullptr;      // tooltip without the key; also the button's accessible name
    const char *menuText = nullptr; // an entry of the status button's drop-down
    const char *label = nullptr;    // its entry in the command menu, when the tip does not fit there
    MenuGroup group = MenuGroup::File;
    bool separatorBefore = false; // a toolbar separator in front of the button
    void (*run)(frmMain &) = nullptr;
    // Whether the command can act on the window's state now; none: always. The command menu
    // greys out what cannot; the command itself still refuses with its message.
    bool (*canRun)(frmMain &) = nullptr;

    QString name() const { return QString::fromLatin1(key); }
    // The tip with the first key in brackets, when there is a key.
    QString toolTip() const;
    // The command menu's entry, without the key; empty: not in the menu.
    QString menuLabel() const;
    // What the command does, as the keys window says it.
    QString description() const;
    KeyScope scopeOf(const KeyBinding &binding) const { return scope == KeyScope::Tree ? scope : binding.scope; }
};

// Every command, buttons in toolbar order.
const QList<MainCommand> &mainCommands();
const MainCommand *findCommand(const QString &key);
// The command a key press runs; inTree: the tree is the receiver.
const MainCommand *commandForKey(int key, Qt::KeyboardModifiers modifiers, bool inTree);

// A key or mouse action the main window handles by a rule of its own rather than as a command,
// as the keys window lists it.
struct InputHelp {
    const char *input;
    const char *does;
};
const QList<InputHelp> &otherInputs();
