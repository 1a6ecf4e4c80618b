// SPDX-License-Identifier: MIT
#pragma once

#include "components/OleColor.h"
#include "model/TaskStatus.h"

#include <utility>

// The colours a status gives a task; filled from the user's settings.
struct StatusColors {
    OleColor doneFore = 0x00B900;
    OleColor progressFore = 0x000000;
    OleColor rejectedFore = 0x0000B9;
    OleColor doneBack = 0x9BFF9B;
    OleColor progressBack = 0xFFFFFF;
    OleColor rejectedBack = 0x9696FF;
    bool useBackColor = false;

    // Text and background colour of a status.
    std::pair<OleColor, OleColor> of(TaskStatus status) const
    {
        switch (status) {
        case TaskStatus::Done:
            return {doneFore, doneBack};
        case TaskStatus::Rejected:
            return {rejectedFore, rejectedBack};
        case TaskStatus::Progress:
            break;
        }
        return {progressFore, progressBack};
    }

    bool operator==(const StatusColors &) const = default;
};
