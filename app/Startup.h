// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

class Prompts;
class TaskFileGuard;

// Start-up of the program: one running instance, the data folder, the main window.
namespace Startup {

// "Tasks.Debug.XML" in a development build, "Tasks.XML" otherwise.
QString taskFileName();
bool inIde();

// The per-user data folder of the program.
QString dataFolder();

// Creates dataFolder with every missing parent and returns the task file's full path in
// it; on failure tells the user and returns an empty text.
QString PrepareTaskFilePath(const QString &dataFolder, Prompts &prompts);

// Claims the task file for this process. When another process holds it, that one is asked
// to show itself; when it cannot be reached, or no claim can be made, the user is told.
// True when this process may go on with the file.
bool ClaimTaskFile(TaskFileGuard &guard, const QString &taskFilePath, Prompts &prompts, bool *activated);

// Names the application for the settings store and the data folder.
void setApplicationIdentity();
// Qt's own Russian texts, so standard buttons read "Да", "Нет", "Отмена".
void loadTranslations();

// The whole start: returns the process's exit code.
int run(const QStringList &arguments);

} // namespace Startup
