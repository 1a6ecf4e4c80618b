#pragma once

#include <QList>
#include <QString>
#include <Qt>

class frmMain;

// A key that runs a command: this key with exactly these of Shift, Ctrl and Alt.
struct KeyBinding {
    int key = 0;
    Qt::KeyboardModifiers modifiers;

    // As a tooltip shows it: "Ctrl+Ins".
    QString text() const;
};

// Where a command's keys act: anywhere in the window, or only while the tree has the keys.
enum class KeyScope { Window, Tree };

// One command of the main window. The toolbar, the status drop-down, the key preview and
// ExecuteCommand all read these rows: a new command is a new row.
struct MainCommand {
    const char *key = nullptr; // what ExecuteCommand takes ("AddItem"); compared exactly
    QList<KeyBinding> keys;    // the first one is the one a tooltip names
    KeyScope scope = KeyScope::Window;
    const char *picture = nullptr;  // toolbar picture in resources/; none: no button
    const char *tip = nullptr;      // tooltip without the key; also the button's accessible name
    const char *menuText = nullptr; // an entry of the status button's drop-down
    bool separatorBefore = false;   // a toolbar separator in front of the button
    void (*run)(frmMain &) = nullptr;

    QString name() const { return QString::fromLatin1(key); }
    // The tip with the first key in brackets, when there is a key.
    QString toolTip() const;
};

// Every command, buttons in toolbar order.
const QList<MainCommand> &mainCommands();
const MainCommand *findCommand(const QString &key);
// The command a key press runs; inTree: the tree is the receiver.
const MainCommand *commandForKey(int key, Qt::KeyboardModifiers modifiers, bool inTree);
