// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include <QString>

class TaskNode;

// Export to a file and printing, of the selected task with its sub-tasks or, when the top node
// is selected, of the whole tree.
class TaskOutput
{
public:
    explicit TaskOutput(const MainContext &context);
    void ExportTasks();
    void PrintTasks();

    // The file types of the save dialog, in the order of ExportFormat.
    static QStringList fileFilters();

private:
    // The selected task, or null for the whole tree.
    const TaskNode *selectedTop() const;

    MainContext m_ctx;
    QString m_lastFolder; // where the last export went; the user's documents before it
    int m_lastFilter = 0;
};
