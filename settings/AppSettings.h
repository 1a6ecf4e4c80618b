// SPDX-License-Identifier: MIT
#pragma once

#include "components/StatusColors.h"

#include <QString>

// The user's preferences, one record for the whole process. The tree font is held by the
// tree itself.
struct AppSettings {
    bool CollapseOnESC = true;
    bool FullRowSelect = false;
    bool DontMarkSubTasks = false;
    OleColor DoneTasksColor = 0x00B900;
    OleColor ProgressTasksColor = 0x000000;
    OleColor RejectedTasksColor = 0x0000B9;
    QString CustomColors;
    OleColor DoneTasksBackColor = 0x9BFF9B;
    OleColor ProgressTasksBackColor = 0xFFFFFF;
    OleColor RejectedTasksBackColor = 0x9696FF;
    bool UseBackColor = false;
    qint32 EffectTimeout = 250;
    qint32 EffectStyle = 1;
    qint32 SlideDirection = 7;
    // The status filter box above the tree.
    bool ShowFilter = false;
    // "(done/all)" after the text of a task with sub-tasks.
    bool ShowSubTaskCounter = false;

    StatusColors statusColors() const
    {
        return {DoneTasksColor,         ProgressTasksColor,     RejectedTasksColor, DoneTasksBackColor,
                ProgressTasksBackColor, RejectedTasksBackColor, UseBackColor};
    }
};
